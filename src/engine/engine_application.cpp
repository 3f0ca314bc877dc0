#include "engine/engine_application.h"

#include <algorithm>

#include "engine/engine.h"
#include "engine/engine_formats.h"
#include "engine/engine_handles.h"
#include "files/input_file.h"
#include "value/runtime_error.h"

namespace kbx::engine {

std::shared_ptr<sheet::Application> createApplication() { return std::make_shared<EngineApplication>(); }

EngineApplication::EngineApplication() {
    settings_.fill(true);
    settings_[static_cast<size_t>(sheet::AppSetting::Visible)] = false;
}

EngineApplication::~EngineApplication() { Quit(); }

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

void EngineApplication::Calculate() {
    for (const auto& book : open_) book->requestFullCalculation();
}

std::shared_ptr<sheet::Selection> EngineApplication::GetSelection() {
    if (!active_) raise(err::ObjectNotSet);
    if (selection_ && selection_->book == *active_) {
        const SheetRef sheet(shared_from_this(), selection_->sheet);
        if (selection_->picture) return pictureHandle(sheet, *selection_->picture);
        return rangeHandle(sheet, selection_->row, selection_->column);
    }
    EngineWorkbook& book = workbook(*active_);
    const EngineWorksheet& sheet = book.sheetAt(book.activeSheetPosition());
    const auto [row, column] = sheet.selectedCell();
    return worksheetHandle(shared_from_this(), sheet.id())->Cells(row, column);
}

void EngineApplication::Quit() {
    while (!open_.empty()) discard(std::prev(open_.end()));
    selection_.reset();
}

template <typename Make>
std::shared_ptr<sheet::Workbook> EngineApplication::openWorkbook(Make&& make) {
    const auto id = static_cast<BookId>(books_.size());
    std::unique_ptr<EngineWorkbook> book = make(id);
    books_.push_back(book.get());
    for (size_t i = 0; i < book->sheetCount(); ++i) registerSheet(book->sheetAt(i));
    open_.push_back(std::move(book));
    active_ = id;
    return workbookHandle(shared_from_this(), id);
}

std::shared_ptr<sheet::Workbook> EngineApplication::Open(const std::string& file, const Variant& updateLinks,
                                                         bool readOnly) {
    (void)updateLinks;  // external links are never refreshed: the engine has no link sources
    const std::string fullName = files::absoluteFileName(file);
    return openWorkbook([&](BookId id) {
        if (const std::optional<int32_t> format = foreignFileFormat(file)) {
            const xlsbridge::TemporaryXlsx converted = importForeignWorkbook(file);
            return std::make_unique<EngineWorkbook>(*this, id, converted.path(), fullName, readOnly, *format);
        }
        return std::make_unique<EngineWorkbook>(*this, id, file, fullName, readOnly,
                                                sheet::xl::FormatOpenXmlWorkbook);
    });
}

std::shared_ptr<sheet::Workbook> EngineApplication::Add() {
    return openWorkbook([&](BookId id) { return std::make_unique<EngineWorkbook>(*this, id); });
}

void EngineApplication::raiseClosed() { raise(err::ObjectRequired, "The workbook has been closed"); }

SheetId EngineApplication::newSheetId() {
    sheets_.push_back(nullptr);
    return static_cast<SheetId>(sheets_.size() - 1);
}

void EngineApplication::registerSheet(EngineWorksheet& sheet) { sheets_.at(sheet.id()) = &sheet; }

void EngineApplication::close(BookId id, bool saveChanges) {
    EngineWorkbook& book = workbook(id);
    if (saveChanges) book.save();
    discard(std::find_if(open_.begin(), open_.end(), [&](const auto& open) { return open.get() == &book; }));
}

// Forgets a workbook and its sheets, so that no handle reaches them, then frees them.
void EngineApplication::discard(std::vector<std::unique_ptr<EngineWorkbook>>::iterator at) {
    std::unique_ptr<EngineWorkbook> book = std::move(*at);
    open_.erase(at);
    books_[book->id()] = nullptr;
    for (size_t i = 0; i < book->sheetCount(); ++i) sheets_[book->sheetAt(i).id()] = nullptr;
    if (selection_ && selection_->book == book->id()) selection_.reset();
    if (active_ == book->id()) active_ = open_.empty() ? std::nullopt : std::optional(open_.back()->id());
}

}  // namespace kbx::engine
