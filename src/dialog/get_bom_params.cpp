#include "dialog/get_bom_params.h"

#include "value/runtime_error.h"

namespace kbx::dialog {

int32_t GetBomParams(const std::string&, Variant&, int32_t&, int32_t&, std::string&, std::string&) {
    raise(err::ActionNotSupported, "Object doesn't support this action: GetBomParams is not available yet");
}

}  // namespace kbx::dialog
