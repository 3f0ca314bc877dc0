#include "ooxml/engine_hooks.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

// Pictures and drawings are not built yet: both collections refuse.
std::unique_ptr<sheet::Pictures> createPictures(EngineWorksheet&) { raise(err::ActionNotSupported); }

std::unique_ptr<sheet::Shapes> createShapes(EngineWorksheet&) { raise(err::ActionNotSupported); }

}  // namespace kbx::ooxml
