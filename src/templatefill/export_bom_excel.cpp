#include "templatefill/export_bom_excel.h"

#include "value/runtime_error.h"

namespace kbx::templatefill {

int32_t ExportBomExcel(const Variant&, const Variant&, int32_t, const Variant&, const Variant&, std::string&, int32_t,
                       const std::string&, int32_t, const std::string&, int32_t, const std::string&, int32_t,
                       const std::string&) {
    raise(err::ActionNotSupported, "Object doesn't support this action: ExportBomExcel is not available yet");
}

}  // namespace kbx::templatefill
