#include "plainbom/export_plain.h"

#include "value/runtime_error.h"

namespace kbx::plainbom {

Variant ExportPlain2(const Variant&, const Variant&, int32_t, const Variant&, const Variant&, const std::string&,
                     const std::string&, int32_t, int32_t, int32_t, int32_t, const std::string&) {
    raise(err::ActionNotSupported, "Object doesn't support this action: ExportPlain2 is not available yet");
}

}  // namespace kbx::plainbom
