#include "engine/engine_handles.h"

#include "engine/engine_sheet_copy.h"
#include "value/cell_reference.h"
#include "value/runtime_error.h"

namespace kbx::engine {

std::shared_ptr<sheet::Workbook> workbookHandle(std::shared_ptr<EngineRoot> root, BookId id) {
    return std::make_shared<WorkbookHandle>(std::move(root), id);
}

std::shared_ptr<sheet::Worksheet> worksheetHandle(std::shared_ptr<EngineRoot> root, SheetId id) {
    return std::make_shared<WorksheetHandle>(std::move(root), id);
}

std::shared_ptr<sheet::Worksheet> WorkbookHandle::ActiveSheet() {
    EngineWorkbook& workbook = book();
    return worksheetHandle(root_, workbook.sheetAt(workbook.activeSheetPosition()).id());
}

std::shared_ptr<sheet::Worksheet> WorkbookHandle::Item(int32_t index) {
    EngineWorkbook& workbook = book();
    if (index < 1 || static_cast<size_t>(index) > workbook.sheetCount()) raise(err::SubscriptOutOfRange);
    return worksheetHandle(root_, workbook.sheetAt(static_cast<size_t>(index - 1)).id());
}

std::shared_ptr<sheet::Worksheet> WorkbookHandle::Item(const std::string& name) {
    const EngineWorksheet* sheet = book().sheetNamed(name);
    if (sheet == nullptr) raise(err::SubscriptOutOfRange);
    return worksheetHandle(root_, sheet->id());
}

void WorksheetHandle::Copy(sheet::Worksheet& before) {
    EngineWorksheet& source = sheet();
    auto* target = dynamic_cast<WorksheetHandle*>(&before);
    if (target == nullptr) raise(err::TypeMismatch);
    sheet_.root().activate(copySheetBefore(source, target->sheet()));
}

std::shared_ptr<sheet::Range> WorksheetHandle::Cells(int32_t row, int32_t column) {
    sheet().model();
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
        raiseSpreadsheet("Cells(" + std::to_string(row) + ", " + std::to_string(column) + ") lies outside the sheet.");
    }
    return rangeHandle(sheet_, row, column);
}

std::shared_ptr<sheet::Range> WorksheetHandle::Columns(int32_t column) {
    sheet().model();
    if (column < 1 || column > kMaxColumns) raiseSpreadsheet("Columns(" + std::to_string(column) + ") lies outside the sheet.");
    return rangeHandle(sheet_, 0, column);
}

std::shared_ptr<sheet::Range> WorksheetHandle::UsedRange() {
    const auto bounds = sheet().model().usedBounds();
    return rangeHandle(sheet_, bounds ? (*bounds)[0] : 1, bounds ? (*bounds)[1] : 1);
}

sheet::Pictures& WorksheetHandle::GetPictures() {
    sheet().model();  // a sheet without cells has no pictures either
    return pictures_;
}

sheet::Shapes& WorksheetHandle::GetShapes() {
    sheet().model();
    return shapes_;
}

}  // namespace kbx::engine
