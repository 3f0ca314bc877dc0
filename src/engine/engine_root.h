#pragma once
// The engine's root: everything an application holds. It owns the open
// workbooks (which own their sheets) and the selection as a value, and finds
// a workbook or sheet by its id for the handles (engine_handles.h). Nothing
// it owns points back up, and destroying it closes every workbook unsaved.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_document.h"

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

class EngineRoot {
public:
    EngineRoot() = default;
    ~EngineRoot() { closeAll(); }
    EngineRoot(const EngineRoot&) = delete;
    EngineRoot& operator=(const EngineRoot&) = delete;

    // Opens a workbook file (.xls and .ods through the converter) or a new
    // workbook; it becomes the active one.
    BookId open(const std::string& file, bool readOnly);
    BookId add();
    size_t openCount() const { return open_.size(); }
    // Closes a workbook, saving it first when asked; closing every one does not save.
    void close(BookId id, bool saveChanges);
    void closeAll();
    // Computes the formulas of every open workbook.
    void calculateAll();

    // A workbook or sheet while it is open; a closed one (or a sheet of one)
    // raises error 424 "The workbook has been closed".
    EngineWorkbook& workbook(BookId id) const {
        EngineWorkbook* book = id < books_.size() ? books_[id] : nullptr;
        if (book == nullptr) raiseClosed();
        return *book;
    }
    EngineWorksheet& worksheet(SheetId id) const {
        EngineWorksheet* sheet = sheets_.find(id);
        if (sheet == nullptr) raiseClosed();
        return *sheet;
    }

    std::optional<BookId> activeWorkbook() const { return active_; }
    // Makes a sheet the active sheet of its workbook and that workbook the active one.
    void activate(EngineWorksheet& sheet);
    const std::optional<Selected>& selection() const { return selection_; }
    void select(const Selected& selected) { selection_ = selected; }
    void clearSelection() { selection_.reset(); }

private:
    [[noreturn]] static void raiseClosed();
    template <typename Make>
    BookId opened(Make&& make);
    void discard(std::vector<std::unique_ptr<EngineWorkbook>>::iterator at);

    SheetDirectory sheets_;
    // Open workbooks in the order they were opened; by id, null once closed.
    std::vector<std::unique_ptr<EngineWorkbook>> open_;
    std::vector<EngineWorkbook*> books_;
    std::optional<BookId> active_;
    std::optional<Selected> selection_;
};

}  // namespace kbx::engine
