#pragma once
// The engine's implementation of the automation interface (src/sheet): the
// application, its workbooks, sheets, ranges and fonts.

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ooxml/package.h"
#include "ooxml/shared_strings.h"
#include "ooxml/sheet_model.h"
#include "ooxml/styles.h"
#include "sheet/application.h"

namespace kbx::ooxml {

class EngineApplication;
class EngineWorkbook;
class EngineWorksheet;

class EngineWorkbooks : public sheet::Workbooks {
public:
    explicit EngineWorkbooks(EngineApplication& app) : app_(app) {}
    std::shared_ptr<sheet::Workbook> Open(const std::string& file, const Variant& updateLinks, bool readOnly) override;
    std::shared_ptr<sheet::Workbook> Add() override;
    int32_t Count() const override;

private:
    EngineApplication& app_;
};

class EngineApplication : public sheet::Application, public std::enable_shared_from_this<EngineApplication> {
public:
    EngineApplication();
    sheet::Workbooks& GetWorkbooks() override { return workbooksCollection_; }
    Variant Get(sheet::AppSetting setting) const override;
    void Set(sheet::AppSetting setting, const Variant& value) override;
    int32_t Calculation() const override { return calculation_; }
    void SetCalculation(int32_t mode) override;
    void Calculate() override;
    std::string Version() const override { return "16.0"; }
    std::shared_ptr<sheet::Selection> GetSelection() override;
    void Quit() override;

    // Whether anything but its own open workbooks and `callerHolds`
    // references of the caller holds this application or one of its open
    // workbooks (directly or through their sheets, cells or the selection).
    bool heldFromOutside(long callerHolds) const;

    // The selection: a range (set by Range::Select) or a picture.
    void setSelection(std::shared_ptr<sheet::Selection> selection, EngineWorkbook* book);
    std::vector<std::shared_ptr<EngineWorkbook>>& workbooks() { return workbooks_; }
    EngineWorkbook* activeWorkbook() const;
    void activate(EngineWorkbook* book);
    void removeWorkbook(EngineWorkbook* book);

private:
    EngineWorkbooks workbooksCollection_;
    std::array<bool, 7> settings_;
    int32_t calculation_ = sheet::xl::CalculationAutomatic;
    std::vector<std::shared_ptr<EngineWorkbook>> workbooks_;
    EngineWorkbook* active_ = nullptr;
    std::shared_ptr<sheet::Selection> selection_;
    EngineWorkbook* selectionBook_ = nullptr;
};

class EngineWorkbook : public sheet::Workbook,
                       public sheet::Sheets,
                       public std::enable_shared_from_this<EngineWorkbook> {
public:
    // Reads a workbook package; `fullName` is what FullName reports.
    static std::shared_ptr<EngineWorkbook> open(EngineApplication& app, const std::string& path,
                                                const std::string& fullName, bool readOnly, int32_t fileFormat);
    static std::shared_ptr<EngineWorkbook> create(EngineApplication& app);

    // sheet::Workbook
    sheet::Sheets& GetSheets() override { return *this; }
    std::shared_ptr<sheet::Worksheet> ActiveSheet() override;
    std::string FullName() const override { return fullName_; }
    void Save() override;
    void SaveAs(const std::string& file, std::optional<int32_t> fileFormat) override;
    void SaveCopyAs(const std::string& file) override;
    void Close(bool saveChanges) override;

    // sheet::Sheets
    int32_t Count() const override;
    std::shared_ptr<sheet::Worksheet> Item(int32_t index) override;
    std::shared_ptr<sheet::Worksheet> Item(const std::string& name) override;

    // For the engine's own parts (pictures, sheet copies).
    EngineApplication& application() const { return *app_; }
    // A pointer to a sheet that keeps this workbook alive while it is held.
    std::shared_ptr<EngineWorksheet> sheetPointer(size_t index);
    Package& package() { return *package_; }
    StyleSheet& styles() { return styles_; }
    SharedStrings& strings() { return strings_; }
    const std::vector<std::shared_ptr<EngineWorksheet>>& sheetList() const { return sheets_; }
    pugi::xml_document& workbookXml() { return workbookXml_; }
    const std::string& workbookPart() const { return workbookPart_; }
    void markWorkbookDirty() { workbookDirty_ = true; }
    // Adds a worksheet at a tab position (0-based) with the given model; the
    // model's part name is chosen here. Returns the new sheet.
    std::shared_ptr<EngineWorksheet> insertSheet(size_t position, const std::string& name,
                                                 std::unique_ptr<SheetModel> model);
    size_t indexOf(const EngineWorksheet& sheet) const;
    // Whether a sheet has this name, compared without regard to case.
    bool hasSheetNamed(const std::string& name) const;
    void setActiveSheetIndex(size_t index);
    // Sheet models live expanded while they are in use: this serialises and
    // frees all but the few used last, never `keep` or `keepToo`. Called
    // where no model reference is held (before a sheet copy).
    void releaseIdleModels(const EngineWorksheet& keep, const EngineWorksheet& keepToo);
    // For EngineWorksheet::model(): a use stamp, and a model read back in.
    uint64_t nextUse() { return ++useClock_; }
    void noteModelLoaded(EngineWorksheet& sheet) { loadedModels_.push_back(&sheet); }
    size_t activeSheetIndex() const { return activeIndex_; }
    bool date1904() const { return date1904_; }
    bool isOpen() const { return open_; }
    void checkOpen() const;
    void requestFullCalculation() { fullCalculation_ = true; }
    // Renames a sheet in workbook.xml, defined names, cell formulas, chart
    // series and pivot cache sources.
    void renameSheet(EngineWorksheet& sheet, const std::string& newName);
    // Removes the sheet's AutoFilter range name (_xlnm._FilterDatabase).
    void removeFilterDatabaseName(size_t sheetIndex);

    explicit EngineWorkbook(std::shared_ptr<EngineApplication> app) : app_(std::move(app)) {}

private:
    void load();
    void loadSheets();
    void writePackageParts();
    void writeText(const std::string& path);
    bool holdsMacros() const;
    void setMainPartMacros(bool keep);
    void saveTo(const std::string& path, int32_t format);
    pugi::xml_node sheetsNode();
    void noteSheet(EngineWorksheet& sheet, pugi::xml_node node, size_t position);
    static bool tabSelected(SheetModel& model);

    std::shared_ptr<EngineApplication> app_;
    std::unique_ptr<Package> package_;
    std::string fullName_;
    bool readOnly_ = false;
    int32_t fileFormat_ = 51;
    bool open_ = true;
    std::string workbookPart_;
    pugi::xml_document workbookXml_;
    bool workbookDirty_ = false;
    bool fullCalculation_ = false;
    StyleSheet styles_;
    bool stylesPartExists_ = true;
    SharedStrings strings_;
    std::vector<std::shared_ptr<EngineWorksheet>> sheets_;
    size_t activeIndex_ = 0;
    bool date1904_ = false;
    // Kept in step with sheets_, so that adding a sheet costs the same
    // however many there are: the <sheet> elements, the highest sheetId,
    // the sheets by lower-case name, the sheets whose view is selected, the
    // sheets whose model is expanded.
    std::vector<pugi::xml_node> sheetNodes_;
    unsigned maxSheetId_ = 0;
    std::unordered_map<std::string, EngineWorksheet*> sheetsByName_;
    std::vector<EngineWorksheet*> selectedSheets_;
    std::vector<EngineWorksheet*> loadedModels_;
    uint64_t useClock_ = 0;
};

class EngineWorksheet : public sheet::Worksheet, public std::enable_shared_from_this<EngineWorksheet> {
public:
    EngineWorksheet(EngineWorkbook& book, std::string name, std::unique_ptr<SheetModel> model);

    std::string Name() const override { return name_; }
    void SetName(const std::string& name) override;
    void Activate() override;
    void Copy(sheet::Worksheet& before) override;
    void SetAutoFilterMode(bool on) override;
    std::shared_ptr<sheet::Range> Cells(int32_t row, int32_t column) override;
    std::shared_ptr<sheet::Range> Columns(int32_t column) override;
    std::shared_ptr<sheet::Range> UsedRange() override;
    sheet::Pictures& GetPictures() override;
    // The Pictures collection if it was made, else nullptr.
    sheet::Pictures* existingPictures() const { return pictures_.get(); }
    sheet::Shapes& GetShapes() override;

    EngineWorkbook& workbook() const { return book_; }
    // A pointer to this sheet that keeps its workbook alive while it is held.
    std::shared_ptr<EngineWorksheet> selfPointer();
    // The cell model, read back from the package when it was released;
    // raises 1004 for a sheet that holds no cells (a chart sheet).
    SheetModel& model() {
        if (!model_ || !book_.isOpen()) return loadModel();
        lastUse_ = book_.nextUse();
        return *model_;
    }
    bool isWorksheet() const { return isWorksheet_; }
    bool modelLoaded() const { return model_ != nullptr; }
    uint64_t lastUse() const { return lastUse_; }
    // Writes the model's changes into the package and frees it.
    void releaseModel();
    // Whether a model with changes was released (its cells changed).
    bool changedSinceOpen() const { return releasedChanges_; }
    void setNameField(std::string name) { name_ = std::move(name); }
    // Whether formulas, charts or pivot caches may name this sheet: not for a
    // sheet added in this session, whose name nothing in the package uses.
    bool nameMayBeUsed() const { return nameMayBeUsed_; }
    void setNameUnused() { nameMayBeUsed_ = false; }
    // The top-left cell of the last range selected in this sheet (row, column).
    std::pair<int32_t, int32_t> selectedCell() const { return selected_; }
    void setSelectedCell(int32_t row, int32_t column) { selected_ = {row, column}; }

    // The text a cell shows with its number format applied.
    std::string cellText(int32_t row, int32_t column);
    // Formats: row 0 means the whole column.
    const XfSpec& formatAt(int32_t row, int32_t column);
    void changeFormat(int32_t row, int32_t column, const std::function<void(XfSpec&)>& change);
    void changeFont(int32_t row, int32_t column, const std::function<void(FontSpec&)>& change);

private:
    SheetModel& loadModel();

    EngineWorkbook& book_;
    std::string name_;
    std::unique_ptr<SheetModel> model_;
    bool isWorksheet_ = false;
    std::string partName_;  // of a released model
    uint64_t lastUse_ = 0;
    bool releasedChanges_ = false;
    bool nameMayBeUsed_ = true;
    double maxDigitWidth_ = 7;
    std::unique_ptr<sheet::Pictures> pictures_;
    std::unique_ptr<sheet::Shapes> shapes_;
    std::pair<int32_t, int32_t> selected_{1, 1};
    // Columns whose cells all have one number format since it was set on the
    // whole column, with the model's count of cells that took a row format then.
    std::map<int32_t, std::pair<std::string, uint64_t>> uniformColumnFormat_;
    friend class EngineRange;
};

}  // namespace kbx::ooxml
