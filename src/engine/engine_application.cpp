#include <algorithm>
#include <filesystem>

#include "engine/engine.h"
#include "engine/engine_formats.h"
#include "engine/engine_objects.h"
#include "engine/engine_range.h"
#include "files/input_file.h"
#include "value/runtime_error.h"

namespace kbx {

namespace {

// Every application the engine has made and that still exists.
std::vector<std::weak_ptr<ooxml::EngineApplication>>& madeApplications() {
    static std::vector<std::weak_ptr<ooxml::EngineApplication>> made;
    return made;
}

void forgetEndedApplications() {
    std::erase_if(madeApplications(), [](const auto& made) { return made.expired(); });
}

}  // namespace

std::shared_ptr<sheet::Application> createEngineApplication() {
    auto app = std::make_shared<ooxml::EngineApplication>();
    forgetEndedApplications();
    madeApplications().push_back(app);
    return app;
}

void closeUnreachableEngineApplications() {
    std::vector<std::shared_ptr<ooxml::EngineApplication>> unreachable;
    for (const auto& made : madeApplications()) {
        const std::shared_ptr<ooxml::EngineApplication> app = made.lock();
        if (app && !app->heldFromOutside(1)) unreachable.push_back(app);
    }
    for (const auto& app : unreachable) app->Quit();
    unreachable.clear();
    forgetEndedApplications();
}

}  // namespace kbx

namespace kbx::ooxml {

std::shared_ptr<sheet::Workbook> EngineWorkbooks::Open(const std::string& file, const Variant& updateLinks,
                                                       bool readOnly) {
    (void)updateLinks;  // external links are never refreshed: the engine has no link sources
    const std::string fullName = files::absoluteFileName(file);
    std::shared_ptr<EngineWorkbook> book;
    if (const std::optional<int32_t> format = foreignFileFormat(file)) {
        const xlsbridge::TemporaryXlsx converted = importForeignWorkbook(file);
        book = EngineWorkbook::open(app_, converted.path(), fullName, readOnly, *format);
    } else {
        book = EngineWorkbook::open(app_, file, fullName, readOnly, sheet::xl::FormatOpenXmlWorkbook);
    }
    app_.workbooks().push_back(book);
    app_.activate(book.get());
    return book;
}

std::shared_ptr<sheet::Workbook> EngineWorkbooks::Add() {
    std::shared_ptr<EngineWorkbook> book = EngineWorkbook::create(app_);
    app_.workbooks().push_back(book);
    app_.activate(book.get());
    return book;
}

int32_t EngineWorkbooks::Count() const { return static_cast<int32_t>(app_.workbooks().size()); }

EngineApplication::EngineApplication() : workbooksCollection_(*this) {
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

void EngineApplication::Calculate() {
    for (const auto& book : workbooks_) book->requestFullCalculation();
}

std::shared_ptr<sheet::Selection> EngineApplication::GetSelection() {
    if (selection_ && selectionBook_ == active_ && active_ != nullptr) return selection_;
    if (active_ == nullptr) raise(err::ObjectNotSet);
    std::shared_ptr<sheet::Worksheet> sheet = active_->ActiveSheet();
    auto* engineSheet = static_cast<EngineWorksheet*>(sheet.get());
    const auto [row, column] = engineSheet->selectedCell();
    return sheet->Cells(row, column);
}

void EngineApplication::Quit() {
    while (!workbooks_.empty()) workbooks_.back()->Close(false);
    selection_.reset();
}

bool EngineApplication::heldFromOutside(long callerHolds) const {
    // Each open workbook holds the application once; anything more is a hold
    // from outside (a closed workbook still held by someone counts as one).
    const long appHolds = weak_from_this().use_count();
    if (appHolds != callerHolds + static_cast<long>(workbooks_.size())) return true;
    // The selection is held by this application only unless someone took it;
    // a selected range holds its workbook once.
    if (selection_ && selection_.use_count() > 1) return true;
    const bool rangeSelected = dynamic_cast<const EngineRange*>(selection_.get()) != nullptr;
    for (const auto& book : workbooks_) {
        const long ownHolds = 1 + ((rangeSelected && selectionBook_ == book.get()) ? 1 : 0);
        if (book.use_count() != ownHolds) return true;
    }
    return false;
}

void EngineApplication::setSelection(std::shared_ptr<sheet::Selection> selection, EngineWorkbook* book) {
    selection_ = std::move(selection);
    selectionBook_ = book;
}

EngineWorkbook* EngineApplication::activeWorkbook() const { return active_; }

void EngineApplication::activate(EngineWorkbook* book) { active_ = book; }

void EngineApplication::removeWorkbook(EngineWorkbook* book) {
    if (selectionBook_ == book) {
        selection_.reset();
        selectionBook_ = nullptr;
    }
    std::shared_ptr<EngineWorkbook> keep;
    const auto it = std::find_if(workbooks_.begin(), workbooks_.end(), [&](const auto& b) { return b.get() == book; });
    if (it != workbooks_.end()) {
        keep = *it;
        workbooks_.erase(it);
    }
    if (active_ == book) active_ = workbooks_.empty() ? nullptr : workbooks_.back().get();
}

}  // namespace kbx::ooxml
