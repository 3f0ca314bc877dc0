#pragma once
// The engine's root: the application with everything it holds. It owns its
// open workbooks (which own their sheets) and the selection as a value; the
// objects it hands out through the automation interface are handles (see
// engine_handles.h) that name what they stand for by id and look it up here
// on every use. Destroying the application closes its workbooks unsaved.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_workbook.h"
#include "sheet/application.h"

namespace kbx::engine {

// What the application's Selection is: a range (row 0 for a whole column) or
// a picture, of a sheet of the workbook that was active when it was selected.
struct Selected {
    BookId book = 0;
    SheetId sheet = 0;
    int32_t row = 0;
    int32_t column = 0;
    std::optional<uint32_t> picture;
};

class EngineApplication final : public sheet::Application,
                                public sheet::Workbooks,
                                public std::enable_shared_from_this<EngineApplication> {
public:
    EngineApplication();
    ~EngineApplication() override;

    // sheet::Application
    sheet::Workbooks& GetWorkbooks() override { return *this; }
    Variant Get(sheet::AppSetting setting) const override;
    void Set(sheet::AppSetting setting, const Variant& value) override;
    int32_t Calculation() const override { return calculation_; }
    void SetCalculation(int32_t mode) override;
    void Calculate() override;
    std::string Version() const override { return "16.0"; }
    std::shared_ptr<sheet::Selection> GetSelection() override;
    void Quit() override;

    // sheet::Workbooks
    std::shared_ptr<sheet::Workbook> Open(const std::string& file, const Variant& updateLinks, bool readOnly) override;
    std::shared_ptr<sheet::Workbook> Add() override;
    int32_t Count() const override { return static_cast<int32_t>(open_.size()); }

    // What a handle names, while it is open; a closed workbook (or a sheet of
    // one) raises error 424 "The workbook has been closed".
    EngineWorkbook& workbook(BookId id) const {
        EngineWorkbook* book = id < books_.size() ? books_[id] : nullptr;
        if (book == nullptr) raiseClosed();
        return *book;
    }
    EngineWorksheet& worksheet(SheetId id) const {
        EngineWorksheet* sheet = id < sheets_.size() ? sheets_[id] : nullptr;
        if (sheet == nullptr) raiseClosed();
        return *sheet;
    }
    // Closes a workbook, saving it first when asked.
    void close(BookId id, bool saveChanges);

    // Ids for the sheets of a workbook; a sheet can be reached by its id once
    // it is registered.
    SheetId newSheetId();
    void registerSheet(EngineWorksheet& sheet);

    void activate(BookId id) { active_ = id; }
    void select(const Selected& selected) { selection_ = selected; }
    void clearSelection() { selection_.reset(); }

private:
    [[noreturn]] static void raiseClosed();
    template <typename Make>
    std::shared_ptr<sheet::Workbook> openWorkbook(Make&& make);
    void discard(std::vector<std::unique_ptr<EngineWorkbook>>::iterator at);

    std::array<bool, 7> settings_;
    int32_t calculation_ = sheet::xl::CalculationAutomatic;
    // Open workbooks in the order they were opened; by id, null once closed.
    std::vector<std::unique_ptr<EngineWorkbook>> open_;
    std::vector<EngineWorkbook*> books_;
    std::vector<EngineWorksheet*> sheets_;
    std::optional<BookId> active_;
    std::optional<Selected> selection_;
};

}  // namespace kbx::engine
