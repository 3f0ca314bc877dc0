// Worksheet::Copy: a new sheet with the source's cells, formats and XML,
// its own copies of drawings, comments and tables, and its own print area
// and print titles, placed before another sheet and made active.

#include <memory>

#include "engine/engine_hooks.h"
#include "engine/engine_objects.h"
#include "engine/engine_pictures.h"
#include "ooxml/sheet_copy_parts.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::ooxml {

void copySheetBefore(EngineWorksheet& source, EngineWorksheet& before) {
    EngineWorkbook& book = source.workbook();
    book.checkOpen();
    if (&before.workbook() != &book)
        raiseSpreadsheet("The sheet \"" + source.Name() + "\" can only be copied before a sheet of its own workbook.");
    book.releaseIdleModels(source, before);
    SheetModel& sourceModel = source.model();
    prepareSheetCopy(source);
    const std::string sourceName = source.Name();
    const std::string copyName =
        sheetCopyName(sourceName, [&](const std::string& name) { return book.hasSheetNamed(name); });

    std::unique_ptr<SheetModel> model = sourceModel.clone();
    const size_t position = book.indexOf(before);
    std::shared_ptr<EngineWorksheet> copy = book.insertSheet(position, copyName, std::move(model));

    copySheetRelatedParts(book.package(), sourceModel.partName(), copy->model().partName(),
                          definedNamesOf(book.workbookXml()));
    addLocalNamesForSheetCopy(book.workbookXml(), static_cast<int32_t>(book.indexOf(source)),
                              static_cast<int32_t>(position), sourceName, copyName);
    const auto [row, column] = source.selectedCell();
    copy->setSelectedCell(row, column);
    book.markWorkbookDirty();
    copy->Activate();
}

}  // namespace kbx::ooxml
