#include "engine/engine_root.h"

#include <algorithm>

#include "engine/engine_formats.h"
#include "files/input_file.h"
#include "sheet/workbook.h"
#include "value/runtime_error.h"

namespace kbx::engine {

void EngineRoot::raiseClosed() { raise(err::ObjectRequired, "The workbook has been closed"); }

template <typename Make>
BookId EngineRoot::opened(Make&& make) {
    const auto id = static_cast<BookId>(books_.size());
    std::unique_ptr<EngineWorkbook> book = make(id);
    books_.push_back(book.get());
    for (size_t i = 0; i < book->sheetCount(); ++i) sheets_.enter(book->sheetAt(i));
    open_.push_back(std::move(book));
    active_ = id;
    return id;
}

BookId EngineRoot::open(const std::string& file, bool readOnly) {
    const std::string fullName = files::absoluteFileName(file);
    return opened([&](BookId id) {
        if (const std::optional<int32_t> format = foreignFileFormat(file)) {
            const xlsbridge::TemporaryXlsx converted = importForeignWorkbook(file);
            return std::make_unique<EngineWorkbook>(sheets_, id, converted.path(), fullName, readOnly, *format);
        }
        return std::make_unique<EngineWorkbook>(sheets_, id, file, fullName, readOnly,
                                                sheet::xl::FormatOpenXmlWorkbook);
    });
}

BookId EngineRoot::add() {
    return opened([&](BookId id) { return std::make_unique<EngineWorkbook>(sheets_, id); });
}

void EngineRoot::close(BookId id, bool saveChanges) {
    EngineWorkbook& book = workbook(id);
    if (saveChanges) book.save();
    discard(std::find_if(open_.begin(), open_.end(), [&](const auto& open) { return open.get() == &book; }));
}

void EngineRoot::closeAll() {
    while (!open_.empty()) discard(std::prev(open_.end()));
    selection_.reset();
}

void EngineRoot::calculateAll() {
    for (const auto& book : open_) book->calculate();
}

void EngineRoot::activate(EngineWorksheet& sheet) {
    sheet.activate();
    active_ = sheet.workbook().id();
}

// Forgets a workbook and its sheets, so that no handle reaches them, then frees them.
void EngineRoot::discard(std::vector<std::unique_ptr<EngineWorkbook>>::iterator at) {
    std::unique_ptr<EngineWorkbook> book = std::move(*at);
    open_.erase(at);
    books_[book->id()] = nullptr;
    for (size_t i = 0; i < book->sheetCount(); ++i) sheets_.remove(book->sheetAt(i).id());
    if (selection_ && selection_->book == book->id()) selection_.reset();
    if (active_ == book->id()) active_ = open_.empty() ? std::nullopt : std::optional(open_.back()->id());
}

}  // namespace kbx::engine
