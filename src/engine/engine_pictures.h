#pragma once
// What the sheet copy needs of the picture code beyond engine_hooks.h.

namespace kbx::ooxml {

class EngineWorksheet;

// Writes the sheet's drawing into the package before the sheet is copied;
// the copy shares the drawing's media from then on.
void prepareSheetCopy(EngineWorksheet& source);

}  // namespace kbx::ooxml
