#pragma once
// A small in-memory spreadsheet behind the sheet interface, for testing the
// template engine's logic without a workbook file. Cells hold a value, a
// number format, an alignment and the copied font properties.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sheet/application.h"

namespace kbx::fake {

struct Cell {
    Variant value;
    std::string numberFormat = "General";
    Variant horizontal{int32_t{sheet::xl::HAlignGeneral}};
    Variant vertical{int32_t{sheet::xl::VAlignBottom}};
    std::map<sheet::FontProperty, Variant> font;  // unset: the default font
    std::string fontName = "Calibri";
};

class Sheet;
class Workbook;

class Sheet : public sheet::Worksheet, public std::enable_shared_from_this<Sheet> {
public:
    Sheet(Workbook& book, std::string name) : book_(book), name_(std::move(name)) {}

    std::string Name() const override { return name_; }
    void SetName(const std::string& name) override { name_ = name; }
    void Activate() override;
    void Copy(sheet::Worksheet&) override;
    void SetAutoFilterMode(bool) override {}
    std::shared_ptr<sheet::Range> Cells(int32_t row, int32_t column) override;
    std::shared_ptr<sheet::Range> Columns(int32_t column) override;
    std::shared_ptr<sheet::Range> UsedRange() override;
    sheet::Pictures& GetPictures() override;
    sheet::Shapes& GetShapes() override;

    // Test access.
    Cell& at(int32_t row, int32_t column) { return cells[{row, column}]; }
    bool has(int32_t row, int32_t column) const { return cells.count({row, column}) != 0; }
    void put(int32_t row, int32_t column, Variant value) { at(row, column).value = std::move(value); }
    // The cell's value as text ("" when empty).
    std::string text(int32_t row, int32_t column);

    std::map<std::pair<int32_t, int32_t>, Cell> cells;
    std::map<int32_t, std::string> columnFormats;
    bool protectedSheet = false;  // every write raises 1004
    // A font property the sheet refuses to write (1004), to stop a copy midway.
    std::optional<sheet::FontProperty> refusedFontProperty;

private:
    Workbook& book_;
    std::string name_;
};

class Workbook : public sheet::Workbook, public sheet::Sheets {
public:
    explicit Workbook(std::string fullName) : fullName_(std::move(fullName)) {}

    // sheet::Workbook
    sheet::Sheets& GetSheets() override { return *this; }
    std::shared_ptr<sheet::Worksheet> ActiveSheet() override { return activeSheet; }
    std::string FullName() const override { return fullName_; }
    void Save() override;
    void SaveAs(const std::string& file, std::optional<int32_t>) override {
        fullName_ = file;
        Save();
    }
    void SaveCopyAs(const std::string&) override { ++saves; }
    void Close(bool saveChanges) override;
    // sheet::Sheets
    int32_t Count() const override { return static_cast<int32_t>(sheets.size()); }
    std::shared_ptr<sheet::Worksheet> Item(int32_t index) override;
    std::shared_ptr<sheet::Worksheet> Item(const std::string& name) override;

    std::shared_ptr<Sheet> addSheet(const std::string& name);

    std::vector<std::shared_ptr<Sheet>> sheets;
    std::shared_ptr<sheet::Worksheet> activeSheet;  // may be set to null by a test
    bool readOnly = false;                          // Save raises 1004
    bool closed = false;
    int saves = 0;
    // Name of the active sheet at the last save.
    std::string activeAtSave;

private:
    std::string fullName_;
};

class Application : public sheet::Application, public sheet::Workbooks {
public:
    Application();

    // sheet::Application
    sheet::Workbooks& GetWorkbooks() override { return *this; }
    Variant Get(sheet::AppSetting setting) const override { return settings.at(setting); }
    void Set(sheet::AppSetting setting, const Variant& value) override;
    int32_t Calculation() const override { return calculation; }
    void SetCalculation(int32_t mode) override { calculation = mode; }
    void Calculate() override {}
    std::string Version() const override { return "16.0"; }
    std::shared_ptr<sheet::Selection> GetSelection() override { return nullptr; }
    void Quit() override { quit = true; }
    // sheet::Workbooks: opens files registered with addFile; others raise 1004.
    std::shared_ptr<sheet::Workbook> Open(const std::string& file, const Variant&, bool) override;
    std::shared_ptr<sheet::Workbook> Add() override;
    int32_t Count() const override { return static_cast<int32_t>(files.size()); }

    std::shared_ptr<Workbook> addFile(const std::string& file);

    std::map<sheet::AppSetting, Variant> settings;
    std::vector<std::pair<sheet::AppSetting, Variant>> settingWrites;  // in order, without ScreenUpdating
    int screenUpdatingOff = 0;
    int screenUpdatingOn = 0;
    int32_t calculation = sheet::xl::CalculationAutomatic;
    bool quit = false;
    int opens = 0;
    std::map<std::string, std::shared_ptr<Workbook>> files;
};

}  // namespace kbx::fake
