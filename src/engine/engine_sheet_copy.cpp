#include "engine/engine_sheet_copy.h"

#include <memory>

#include "engine/engine_document.h"
#include "ooxml/sheet_copy_parts.h"
#include "value/runtime_error.h"

namespace kbx::engine {

EngineWorksheet& copySheetBefore(EngineWorksheet& source, EngineWorksheet& before) {
    EngineWorkbook& book = source.workbook();
    if (&before.workbook() != &book)
        raiseSpreadsheet("The sheet \"" + source.name() + "\" can only be copied before a sheet of its own workbook.");
    book.releaseIdleModels(source, before);
    ooxml::SheetModel& sourceModel = source.model();
    // The copy shares the drawing's media from here on.
    source.drawing().shareMedia(book.package());
    const std::string sourceName = source.name();
    const std::string copyName =
        ooxml::sheetCopyName(sourceName, [&](const std::string& name) { return book.sheetNamed(name) != nullptr; });

    const size_t position = book.positionOf(before);
    EngineWorksheet& copy = book.insertSheet(position, copyName, sourceModel.clone());
    ooxml::copySheetRelatedParts(book.package(), sourceModel.partName(), copy.model().partName(),
                                 book.workbookPart().definedNames());
    book.workbookPart().addLocalNamesForSheetCopy(book.positionOf(source), position, sourceName, copyName);
    const auto [row, column] = source.selectedCell();
    copy.setSelectedCell(row, column);
    copy.activate();
    return copy;
}

}  // namespace kbx::engine
