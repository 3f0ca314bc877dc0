#include "ooxml/engine_hooks.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

// Sheet copies are not built yet.
void copySheetBefore(EngineWorksheet&, EngineWorksheet&) { raise(err::ActionNotSupported); }

}  // namespace kbx::ooxml
