#include "engine/engine_application.h"

#include "engine/engine.h"
#include "engine/engine_handles.h"
#include "value/runtime_error.h"

namespace kbx::engine {

std::shared_ptr<sheet::Application> createApplication() { return std::make_shared<EngineApplication>(); }

EngineApplication::EngineApplication() {
    settings_.fill(true);
    settings_[static_cast<size_t>(sheet::AppSetting::Visible)] = false;
}

Variant EngineApplication::Get(sheet::AppSetting setting) const {
    const auto index = static_cast<size_t>(setting);
    if (index >= settings_.size()) raise(err::InvalidCall);
    return Variant(settings_[index]);
}

void EngineApplication::Set(sheet::AppSetting setting, const Variant& value) {
    const auto index = static_cast<size_t>(setting);
    if (index >= settings_.size()) raise(err::InvalidCall);
    settings_[index] = toBoolean(value);
}

void EngineApplication::SetCalculation(int32_t mode) {
    if (mode != sheet::xl::CalculationManual && mode != sheet::xl::CalculationAutomatic && mode != 2) {
        raiseSpreadsheet("Unable to set the Calculation property of the Application class");
    }
    calculation_ = mode;
}

std::shared_ptr<sheet::Selection> EngineApplication::GetSelection() {
    const std::optional<BookId> active = root_.activeWorkbook();
    if (!active) raise(err::ObjectNotSet);
    const std::optional<Selected>& selection = root_.selection();
    if (selection && selection->book == *active) {
        const SheetRef sheet(rootForHandle(), selection->sheet);
        if (selection->picture) return pictureHandle(sheet, *selection->picture);
        return rangeHandle(sheet, selection->row, selection->column);
    }
    EngineWorkbook& book = root_.workbook(*active);
    const EngineWorksheet& sheet = book.sheetAt(book.activeSheetPosition());
    const auto [row, column] = sheet.selectedCell();
    return worksheetHandle(rootForHandle(), sheet.id())->Cells(row, column);
}

std::shared_ptr<sheet::Workbook> EngineApplication::Open(const std::string& file, const Variant& updateLinks,
                                                         bool readOnly) {
    (void)updateLinks;  // external links are never refreshed: the engine has no link sources
    return workbookHandle(rootForHandle(), root_.open(file, readOnly));
}

std::shared_ptr<sheet::Workbook> EngineApplication::Add() { return workbookHandle(rootForHandle(), root_.add()); }

}  // namespace kbx::engine
