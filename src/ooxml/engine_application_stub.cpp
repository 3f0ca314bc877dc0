#include <memory>

#include "sheet/application.h"
#include "value/runtime_error.h"

namespace kbx {

// Replaced by the embedded engine's application.
std::shared_ptr<sheet::Application> createEngineApplication() {
    raise(err::CannotCreateObject);
}

}  // namespace kbx
