#pragma once
// A small in-memory spreadsheet behind the sheet interface, for testing the
// plain and summary fills without a file format. Geometry is simple: rows are
// 15 points unless set, a column-width unit is 5 points, columns 8.43 units.
// Workbooks "open" from templates registered by path whose file must exist;
// saving writes a marker file so that tests can see what reached the disk.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sheet/application.h"
#include "value/runtime_error.h"

namespace kbx::fake {

inline constexpr double kDefaultRowHeight = 15;
inline constexpr double kDefaultColumnWidth = 8.43;
inline constexpr double kPointsPerWidthUnit = 5;

struct CellData {
    Variant value;
    std::map<sheet::FontProperty, Variant> font;
    Variant horizontal = Variant(sheet::xl::HAlignGeneral);
    Variant vertical = Variant(sheet::xl::VAlignBottom);
    std::string numberFormat = "General";
};

inline Variant defaultFont(sheet::FontProperty property) {
    switch (property) {
    case sheet::FontProperty::Size: return Variant(11.0);
    case sheet::FontProperty::FontStyle: return Variant("Regular");
    case sheet::FontProperty::Color: return Variant(int32_t{0});
    case sheet::FontProperty::ColorIndex: return Variant(sheet::xl::ColorIndexAutomatic);
    case sheet::FontProperty::Background: return Variant(sheet::xl::BackgroundAutomatic);
    case sheet::FontProperty::Underline: return Variant(sheet::xl::UnderlineStyleNone);
    default: return Variant(false);
    }
}

class FakeApplication;
class FakeWorkbook;
class FakeSheet;

class FakePicture : public sheet::Picture, public std::enable_shared_from_this<FakePicture> {
public:
    FakePicture(FakeSheet& sheet, std::string file, double left, double top, double width, double height)
        : sheet_(&sheet), file(std::move(file)), left(left), top(top), width(width), height(height) {}
    double Top() const override { return top; }
    double Left() const override { return left; }
    double Width() const override { return width; }
    double Height() const override { return height; }
    void SetTop(double points) override { top = points; }
    void SetLeft(double points) override { left = points; }
    void Select() override;
    int32_t Placement() const override { return placement; }
    void Cut() override;
    void SetPlacement(int32_t value) override { placement = value; }

    FakeSheet* sheet_;
    std::string file;
    double left, top, width, height;
    int32_t placement = 2;
    bool viaShapes = false;
};

class FakeSheet : public sheet::Worksheet, public sheet::Pictures, public sheet::Shapes {
public:
    FakeSheet(FakeWorkbook& book, std::string name) : book(&book), name(std::move(name)) {}

    std::string Name() const override { return name; }
    void SetName(const std::string& newName) override;
    void Activate() override;
    void Copy(sheet::Worksheet& before) override;
    void SetAutoFilterMode(bool on) override { autoFilter = on; }
    std::shared_ptr<sheet::Range> Cells(int32_t row, int32_t column) override;
    std::shared_ptr<sheet::Range> Columns(int32_t column) override;
    std::shared_ptr<sheet::Range> UsedRange() override { return Cells(1, 1); }
    sheet::Pictures& GetPictures() override { return *this; }
    sheet::Shapes& GetShapes() override { return *this; }
    std::shared_ptr<sheet::Picture> Insert(const std::string& file) override;
    std::shared_ptr<sheet::Picture> AddPicture(const std::string& file, bool linkToFile, bool saveWithDocument,
                                               double left, double top, double width, double height) override;

    // Test access.
    CellData& cell(int32_t row, int32_t column) { return cells[{row, column}]; }
    std::string text(int32_t row, int32_t column) const {
        auto found = cells.find({row, column});
        return found == cells.end() ? "" : toText(found->second.value);
    }
    void put(int32_t row, int32_t column, const Variant& value) { cells[{row, column}].value = value; }
    double rowHeight(int32_t row) const {
        auto found = rowHeights.find(row);
        return found == rowHeights.end() ? kDefaultRowHeight : found->second;
    }
    double columnWidth(int32_t column) const {
        auto found = columnWidths.find(column);
        return found == columnWidths.end() ? kDefaultColumnWidth : found->second;
    }
    double top(int32_t row) const {
        double points = (row - 1) * kDefaultRowHeight;
        for (const auto& [r, h] : rowHeights)
            if (r < row) points += h - kDefaultRowHeight;
        return points;
    }
    double left(int32_t column) const {
        double units = (column - 1) * kDefaultColumnWidth;
        for (const auto& [c, w] : columnWidths)
            if (c < column) units += w - kDefaultColumnWidth;
        return units * kPointsPerWidthUnit;
    }

    FakeWorkbook* book;
    std::string name;
    std::map<std::pair<int32_t, int32_t>, CellData> cells;
    std::map<int32_t, double> rowHeights;
    std::map<int32_t, double> columnWidths;
    std::map<int32_t, std::string> columnFormats;
    std::vector<std::shared_ptr<FakePicture>> pictures;
    bool autoFilter = true;
    int calculations = 0;
};

class FakeFont : public sheet::Font {
public:
    FakeFont(FakeSheet& sheet, int32_t row, int32_t column) : sheet_(sheet), row_(row), column_(column) {}
    Variant Get(sheet::FontProperty property) const override {
        auto found = sheet_.cells.find({row_, column_});
        if (found == sheet_.cells.end()) return defaultFont(property);
        auto value = found->second.font.find(property);
        return value == found->second.font.end() ? defaultFont(property) : value->second;
    }
    void Set(sheet::FontProperty property, const Variant& value) override {
        sheet_.cell(row_, column_).font[property] = value;
    }
    std::string Name() const override { return "Calibri"; }

private:
    FakeSheet& sheet_;
    int32_t row_, column_;
};

// A cell, or a whole column when row is 0.
class FakeRange : public sheet::Range {
public:
    FakeRange(FakeSheet& sheet, int32_t row, int32_t column) : sheet_(sheet), row_(row), column_(column) {}
    Variant Value() const override { return Value2(); }
    void SetValue(const Variant& value) override { SetValue2(value); }
    Variant Value2() const override {
        auto found = sheet_.cells.find({row_, column_});
        return found == sheet_.cells.end() ? Variant() : found->second.value;
    }
    void SetValue2(const Variant& value) override {
        if (value.isArray()) raise(err::TypeMismatch);
        sheet_.cell(row_, column_).value = value;
    }
    std::string Text() const override { return toText(Value2()); }
    std::string NumberFormat() const override {
        if (row_ == 0) return sheet_.columnFormats.count(column_) ? sheet_.columnFormats.at(column_) : "General";
        return sheet_.cells.count({row_, column_}) ? sheet_.cells.at({row_, column_}).numberFormat : "General";
    }
    void SetNumberFormat(const std::string& format) override {
        if (row_ == 0)
            sheet_.columnFormats[column_] = format;
        else
            sheet_.cell(row_, column_).numberFormat = format;
    }
    Variant HorizontalAlignment() const override { return cellOrDefault().horizontal; }
    void SetHorizontalAlignment(const Variant& value) override { sheet_.cell(row_, column_).horizontal = value; }
    Variant VerticalAlignment() const override { return cellOrDefault().vertical; }
    void SetVerticalAlignment(const Variant& value) override { sheet_.cell(row_, column_).vertical = value; }
    std::shared_ptr<sheet::Font> GetFont() override { return std::make_shared<FakeFont>(sheet_, row_, column_); }
    void Select() override;
    double RowHeight() const override { return sheet_.rowHeight(row_); }
    void SetRowHeight(double points) override {
        if (points < 0 || points > 409) raiseSpreadsheet("Unable to set the RowHeight property of the Range class");
        sheet_.rowHeights[row_] = points;
    }
    double ColumnWidth() const override { return sheet_.columnWidth(column_); }
    void SetColumnWidth(double units) override {
        if (units < 0 || units > 255) raiseSpreadsheet("Unable to set the ColumnWidth property of the Range class");
        sheet_.columnWidths[column_] = units;
    }
    double Width() const override { return sheet_.columnWidth(column_) * kPointsPerWidthUnit; }
    double Height() const override { return sheet_.rowHeight(row_); }
    double Left() const override { return sheet_.left(column_); }
    double Top() const override { return sheet_.top(row_); }
    void Calculate() override { ++sheet_.calculations; }
    int32_t Row() const override { return row_; }
    int32_t Column() const override { return column_; }
    void Cut() override { raise(err::MemberNotSupported); }
    void SetPlacement(int32_t) override { raise(err::MemberNotSupported); }

private:
    CellData cellOrDefault() const {
        auto found = sheet_.cells.find({row_, column_});
        return found == sheet_.cells.end() ? CellData{} : found->second;
    }
    FakeSheet& sheet_;
    int32_t row_, column_;
};

class FakeWorkbook : public sheet::Workbook, public sheet::Sheets {
public:
    explicit FakeWorkbook(FakeApplication& app) : app(&app) {}
    FakeSheet& addSheet(const std::string& name) {
        sheets.push_back(std::make_shared<FakeSheet>(*this, name));
        return *sheets.back();
    }
    sheet::Sheets& GetSheets() override { return *this; }
    std::shared_ptr<sheet::Worksheet> ActiveSheet() override {
        return active < sheets.size() ? sheets[active] : nullptr;
    }
    std::string FullName() const override { return fullName; }
    void Save() override {
        if (readOnly) raiseSpreadsheet("The workbook is read-only: " + fullName);
        writeMarker(fullName);
        ++saves;
    }
    void SaveAs(const std::string& file, std::optional<int32_t>) override {
        writeMarker(file);
        fullName = file;
        readOnly = false;
        savedAs.push_back(file);
    }
    void SaveCopyAs(const std::string& file) override { writeMarker(file); }
    void Close(bool saveChanges) override {
        if (saveChanges) Save();
        closed = true;
    }
    int32_t Count() const override { return static_cast<int32_t>(sheets.size()); }
    std::shared_ptr<sheet::Worksheet> Item(int32_t index) override {
        if (index < 1 || index > Count()) raise(err::SubscriptOutOfRange);
        return sheets[static_cast<size_t>(index - 1)];
    }
    std::shared_ptr<sheet::Worksheet> Item(const std::string& wanted) override {
        for (auto& sheet : sheets)
            if (sameName(sheet->name, wanted)) return sheet;
        raise(err::SubscriptOutOfRange);
    }
    static bool sameName(const std::string& a, const std::string& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
        });
    }
    size_t indexOf(const FakeSheet& sheet) const {
        for (size_t i = 0; i < sheets.size(); ++i)
            if (sheets[i].get() == &sheet) return i;
        raise(err::SubscriptOutOfRange);
    }
    FakeSheet& sheet(const std::string& wanted) { return dynamic_cast<FakeSheet&>(*Item(wanted)); }
    std::vector<std::string> sheetNames() const {
        std::vector<std::string> names;
        for (const auto& s : sheets) names.push_back(s->name);
        return names;
    }

    FakeApplication* app;
    std::vector<std::shared_ptr<FakeSheet>> sheets;
    size_t active = 0;
    std::string fullName;
    bool readOnly = false;
    bool closed = false;
    int saves = 0;
    std::vector<std::string> savedAs;

private:
    void writeMarker(const std::string& file) {
        std::ofstream out(file);
        if (!out) raiseSpreadsheet("Cannot write " + file);
        out << "fake workbook with " << sheets.size() << " sheets\n";
    }
};

class FakeApplication : public sheet::Application, public sheet::Workbooks {
public:
    using Builder = std::function<void(FakeWorkbook&)>;

    // Registers how the workbook at `path` looks when opened.
    void addTemplate(const std::string& path, Builder build) { templates[path] = std::move(build); }
    // Registers a picture file with its natural size in points.
    void addPictureFile(const std::string& path, double width, double height) { pictureSizes[path] = {width, height}; }

    sheet::Workbooks& GetWorkbooks() override { return *this; }
    std::shared_ptr<sheet::Workbook> Open(const std::string& file, const Variant&, bool readOnly) override {
        auto found = templates.find(file);
        if (found == templates.end() || !std::filesystem::exists(file))
            raise(err::Application, "'" + file + "' could not be found.");
        auto book = std::make_shared<FakeWorkbook>(*this);
        found->second(*book);
        book->fullName = file;
        book->readOnly = readOnly;
        opened.push_back(book);
        return book;
    }
    std::shared_ptr<sheet::Workbook> Add() override {
        auto book = std::make_shared<FakeWorkbook>(*this);
        book->addSheet("Sheet1");
        opened.push_back(book);
        return book;
    }
    int32_t Count() const override { return static_cast<int32_t>(opened.size()); }

    Variant Get(sheet::AppSetting setting) const override {
        auto found = settings.find(setting);
        return found == settings.end() ? Variant(setting != sheet::AppSetting::Visible) : found->second;
    }
    void Set(sheet::AppSetting setting, const Variant& value) override { settings[setting] = value; }
    int32_t Calculation() const override { return calculation; }
    void SetCalculation(int32_t mode) override { calculation = mode; }
    void Calculate() override { ++calculations; }
    std::string Version() const override {
        if (version.empty()) raise(err::Application, "Version cannot be read");
        return version;
    }
    std::shared_ptr<sheet::Selection> GetSelection() override { return selection; }
    void Quit() override { quit = true; }

    std::map<std::string, Builder> templates;
    std::map<std::string, std::pair<double, double>> pictureSizes;
    std::map<sheet::AppSetting, Variant> settings;
    std::vector<std::shared_ptr<FakeWorkbook>> opened;
    std::shared_ptr<sheet::Selection> selection;
    std::string version = "16.0";
    int32_t calculation = sheet::xl::CalculationAutomatic;
    int calculations = 0;
    bool quit = false;
};

inline void FakePicture::Select() { sheet_->book->app->selection = shared_from_this(); }

inline void FakePicture::Cut() {
    auto& list = sheet_->pictures;
    list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& p) { return p.get() == this; }),
               list.end());
}

inline void FakeRange::Select() {
    sheet_.Activate();
    sheet_.book->app->selection = std::make_shared<FakeRange>(sheet_, row_, column_);
}

inline void FakeSheet::SetName(const std::string& newName) {
    if (newName.empty() || newName.size() > 31 || newName.find_first_of("[]:*?/\\") != std::string::npos)
        raiseSpreadsheet("You typed an invalid name for a sheet");
    for (const auto& other : book->sheets)
        if (other.get() != this && FakeWorkbook::sameName(other->name, newName))
            raiseSpreadsheet("That name is already taken. Try a different one.");
    name = newName;
}

inline void FakeSheet::Activate() { book->active = book->indexOf(*this); }

inline void FakeSheet::Copy(sheet::Worksheet& before) {
    const size_t at = book->indexOf(dynamic_cast<FakeSheet&>(before));
    auto copy = std::make_shared<FakeSheet>(*this);
    copy->pictures.clear();
    for (const auto& picture : pictures) {
        auto clone = std::make_shared<FakePicture>(*picture);
        clone->sheet_ = copy.get();
        copy->pictures.push_back(clone);
    }
    for (int n = 2;; ++n) {
        std::string candidate = name + " (" + std::to_string(n) + ")";
        bool taken = false;
        for (const auto& other : book->sheets) taken = taken || FakeWorkbook::sameName(other->name, candidate);
        if (!taken) {
            copy->name = candidate;
            break;
        }
    }
    book->sheets.insert(book->sheets.begin() + static_cast<std::ptrdiff_t>(at), copy);
    book->active = at;
}

inline std::shared_ptr<sheet::Range> FakeSheet::Cells(int32_t row, int32_t column) {
    if (row < 1 || row > 1048576 || column < 1 || column > 16384)
        raiseSpreadsheet("Application-defined or object-defined error");
    return std::make_shared<FakeRange>(*this, row, column);
}

inline std::shared_ptr<sheet::Range> FakeSheet::Columns(int32_t column) {
    if (column < 1 || column > 16384) raiseSpreadsheet("Application-defined or object-defined error");
    return std::make_shared<FakeRange>(*this, 0, column);
}

inline std::shared_ptr<sheet::Picture> FakeSheet::Insert(const std::string& file) {
    auto size = book->app->pictureSizes.find(file);
    if (size == book->app->pictureSizes.end() || !std::filesystem::exists(file))
        raiseSpreadsheet("Unable to get the Insert property of the Pictures class");
    double x = 0, y = 0;
    if (auto cell = std::dynamic_pointer_cast<FakeRange>(book->app->selection)) {
        x = cell->Left();
        y = cell->Top();
    }
    pictures.push_back(std::make_shared<FakePicture>(*this, file, x, y, size->second.first, size->second.second));
    return pictures.back();
}

inline std::shared_ptr<sheet::Picture> FakeSheet::AddPicture(const std::string& file, bool linkToFile, bool,
                                                            double left, double top, double width, double height) {
    if (linkToFile || !book->app->pictureSizes.count(file)) raiseSpreadsheet("The specified file wasn't found.");
    pictures.push_back(std::make_shared<FakePicture>(*this, file, left, top, width, height));
    pictures.back()->viaShapes = true;
    return pictures.back();
}

}  // namespace kbx::fake
