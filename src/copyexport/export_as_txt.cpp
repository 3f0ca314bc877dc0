#include "copyexport/export_as_txt.h"

#include "value/runtime_error.h"

namespace kbx::copyexport {

int16_t ExportAsTxt(const std::string&, const std::string&) {
    raise(err::ActionNotSupported, "Object doesn't support this action: ExportAsTxt is not available yet");
}

int16_t ExportAsTxt2(const std::string&, const std::string&, const std::string&) {
    raise(err::ActionNotSupported, "Object doesn't support this action: ExportAsTxt2 is not available yet");
}

}  // namespace kbx::copyexport
