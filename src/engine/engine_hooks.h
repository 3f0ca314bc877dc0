#pragma once
// Entry points the engine's worksheet calls into the picture / drawing code and
// the sheet copy. Each is implemented in its own file (engine_pictures.cpp,
// engine_sheet_copy.cpp) so that those features can grow independently.

#include <memory>

#include "sheet/worksheet.h"

namespace kbx::ooxml {

class EngineWorksheet;

// The sheet's Pictures and Shapes collections; called once per sheet, on first use.
std::unique_ptr<sheet::Pictures> createPictures(EngineWorksheet& sheet);
std::unique_ptr<sheet::Shapes> createShapes(EngineWorksheet& sheet);

// Writes the sheet's pending drawing changes into the package; called before
// the workbook's parts are saved.
void flushPictures(EngineWorksheet& sheet);

// Refuses (error 1004 naming the file) a worksheet whose drawing is missing
// or shows an object whose relationship or part is missing: such a drawing
// would be saved into a file that spreadsheet programs cannot read.
void checkDrawingLinks(EngineWorksheet& sheet);

// Copies `source` into a new sheet placed before `before` (same workbook);
// the copy becomes the active sheet.
void copySheetBefore(EngineWorksheet& source, EngineWorksheet& before);

}  // namespace kbx::ooxml
