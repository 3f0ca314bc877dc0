#include "fake_sheet.h"

#include <string>

#include "value/runtime_error.h"

namespace kbx::fake {

namespace {

Variant defaultFontValue(sheet::FontProperty property) {
    using P = sheet::FontProperty;
    switch (property) {
        case P::Background:
            return Variant(int32_t{sheet::xl::BackgroundAutomatic});
        case P::Color:
            return Variant(int32_t{0});
        case P::ColorIndex:
            return Variant(int32_t{sheet::xl::ColorIndexAutomatic});
        case P::FontStyle:
            return Variant("Regular");
        case P::Size:
            return Variant(11.0);
        case P::Underline:
            return Variant(int32_t{sheet::xl::UnderlineStyleNone});
        default:
            return Variant(false);
    }
}

[[noreturn]] void notInFake() { raise(err::ActionNotSupported); }

std::string LowerCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

class Font : public sheet::Font {
public:
    Font(Sheet& sheet, Cell& cell) : sheet_(sheet), cell_(cell) {}
    Variant Get(sheet::FontProperty property) const override {
        auto found = cell_.font.find(property);
        return found == cell_.font.end() ? defaultFontValue(property) : found->second;
    }
    void Set(sheet::FontProperty property, const Variant& value) override {
        if (sheet_.protectedSheet || sheet_.refusedFontProperty == property) raiseSpreadsheet("Unable to set the font");
        cell_.font[property] = value;
    }
    std::string Name() const override { return cell_.fontName; }

private:
    Sheet& sheet_;
    Cell& cell_;
};

// One cell (row > 0) or a whole column (row == 0).
class Range : public sheet::Range {
public:
    Range(std::shared_ptr<Sheet> sheet, int32_t row, int32_t column)
        : sheet_(std::move(sheet)), row_(row), column_(column) {}

    Variant Value() const override { return cell().value; }
    void SetValue(const Variant& value) override { writable().value = value; }
    Variant Value2() const override {
        const Variant& v = cell().value;
        return v.type() == VarType::Date ? Variant(v.asDate().serial) : v;
    }
    void SetValue2(const Variant& value) override { writable().value = value; }
    std::string Text() const override { return toText(cell().value); }
    std::string NumberFormat() const override { return cell().numberFormat; }
    void SetNumberFormat(const std::string& format) override {
        if (sheet_->protectedSheet) raiseSpreadsheet("The sheet is protected");
        if (row_ != 0) {
            writable().numberFormat = format;
            return;
        }
        sheet_->columnFormats[column_] = format;
        for (auto& [key, c] : sheet_->cells)
            if (key.second == column_) c.numberFormat = format;
    }
    Variant HorizontalAlignment() const override { return cell().horizontal; }
    void SetHorizontalAlignment(const Variant& a) override { writable().horizontal = a; }
    Variant VerticalAlignment() const override { return cell().vertical; }
    void SetVerticalAlignment(const Variant& a) override { writable().vertical = a; }
    std::shared_ptr<sheet::Font> GetFont() override {
        return std::make_shared<Font>(*sheet_, sheet_->at(row_, column_));
    }
    void Select() override { sheet_->Activate(); }
    double RowHeight() const override { return 15; }
    void SetRowHeight(double) override {}
    double ColumnWidth() const override { return 8.43; }
    void SetColumnWidth(double) override {}
    double Width() const override { return 48; }
    double Height() const override { return 15; }
    double Left() const override { return 48.0 * (column_ - 1); }
    double Top() const override { return 15.0 * (row_ - 1); }
    void Calculate() override {}
    int32_t Row() const override { return row_; }
    int32_t Column() const override { return column_; }
    void Cut() override { notInFake(); }
    void SetPlacement(int32_t) override { notInFake(); }

private:
    const Cell& cell() const {
        if (row_ == 0) notInFake();
        static const Cell empty;
        auto found = sheet_->cells.find({row_, column_});
        return found == sheet_->cells.end() ? empty : found->second;
    }
    Cell& writable() {
        if (row_ == 0) notInFake();
        if (sheet_->protectedSheet) raiseSpreadsheet("The sheet is protected");
        const bool fresh = !sheet_->has(row_, column_);
        Cell& c = sheet_->at(row_, column_);
        if (fresh && sheet_->columnFormats.count(column_)) c.numberFormat = sheet_->columnFormats[column_];
        return c;
    }

    std::shared_ptr<Sheet> sheet_;
    int32_t row_;
    int32_t column_;
};

}  // namespace

void Sheet::Activate() { book_.activeSheet = shared_from_this(); }
void Sheet::Copy(sheet::Worksheet&) { notInFake(); }

std::shared_ptr<sheet::Range> Sheet::Cells(int32_t row, int32_t column) {
    if (row < 1 || column < 1 || row > 1048576 || column > 16384) raiseSpreadsheet("Application-defined error");
    return std::make_shared<Range>(shared_from_this(), row, column);
}

std::shared_ptr<sheet::Range> Sheet::Columns(int32_t column) {
    if (column < 1 || column > 16384) raiseSpreadsheet("Application-defined error");
    return std::make_shared<Range>(shared_from_this(), 0, column);
}

std::shared_ptr<sheet::Range> Sheet::UsedRange() { notInFake(); }
sheet::Pictures& Sheet::GetPictures() { notInFake(); }
sheet::Shapes& Sheet::GetShapes() { notInFake(); }

std::string Sheet::text(int32_t row, int32_t column) {
    auto found = cells.find({row, column});
    return found == cells.end() ? std::string() : toText(found->second.value);
}

void Workbook::Save() {
    if (readOnly) raiseSpreadsheet("Cannot save: the file is read-only");
    ++saves;
    activeAtSave = activeSheet ? activeSheet->Name() : std::string();
}

void Workbook::Close(bool saveChanges) {
    if (saveChanges) Save();
    closed = true;
}

std::shared_ptr<sheet::Worksheet> Workbook::Item(int32_t index) {
    if (index < 1 || index > Count()) raise(err::SubscriptOutOfRange);
    return sheets[static_cast<size_t>(index - 1)];
}

std::shared_ptr<sheet::Worksheet> Workbook::Item(const std::string& name) {
    for (auto& s : sheets)
        if (LowerCaseAscii(s->Name()) == LowerCaseAscii(name)) return s;
    raise(err::SubscriptOutOfRange);
}

std::shared_ptr<Sheet> Workbook::addSheet(const std::string& name) {
    sheets.push_back(std::make_shared<Sheet>(*this, name));
    if (!activeSheet) activeSheet = sheets.back();
    return sheets.back();
}

Application::Application() {
    using S = sheet::AppSetting;
    for (S s : {S::ScreenUpdating, S::EnableAnimations, S::EnableAutoComplete, S::EnableEvents, S::DisplayAlerts,
                S::DisplayStatusBar})
        settings[s] = Variant(true);
    settings[S::Visible] = Variant(false);
}

void Application::Set(sheet::AppSetting setting, const Variant& value) {
    settings[setting] = value;
    if (setting != sheet::AppSetting::ScreenUpdating) {
        settingWrites.emplace_back(setting, value);
    } else {
        ++(toBoolean(value) ? screenUpdatingOn : screenUpdatingOff);
    }
}

std::shared_ptr<sheet::Workbook> Application::Open(const std::string& file, const Variant&, bool) {
    ++opens;
    auto found = files.find(file);
    if (found == files.end()) raiseSpreadsheet("'" + file + "' could not be found");
    found->second->closed = false;
    return found->second;
}

std::shared_ptr<sheet::Workbook> Application::Add() { notInFake(); }

std::shared_ptr<Workbook> Application::addFile(const std::string& file) {
    auto book = std::make_shared<Workbook>(file);
    files[file] = book;
    return book;
}

}  // namespace kbx::fake
