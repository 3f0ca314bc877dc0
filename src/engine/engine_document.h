#pragma once
// What the engine's root owns (engine_root.h): open workbooks, each with its
// package, the parts the engine keeps parsed (workbook part, styles, shared
// strings) and its sheets in tab order; and the directory that finds a sheet
// by its id.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ooxml/package.h"
#include "ooxml/shared_strings.h"
#include "ooxml/sheet_drawing.h"
#include "ooxml/sheet_model.h"
#include "ooxml/styles.h"
#include "ooxml/workbook_part.h"

namespace kbx::engine {

class EngineWorkbook;
class EngineWorksheet;
class WorkbookCalculation;

// Ids of workbooks and sheets: stable while they are open, never given to
// another one of the same application.
using BookId = uint32_t;
using SheetId = uint32_t;

// The open sheets by id.
class SheetDirectory {
public:
    // An id for a sheet about to be made.
    SheetId reserve() {
        sheets_.push_back(nullptr);
        return static_cast<SheetId>(sheets_.size() - 1);
    }
    // Makes a sheet reachable by its id, and unreachable again.
    void enter(EngineWorksheet& sheet);
    void remove(SheetId id) { sheets_.at(id) = nullptr; }
    // The sheet of an id, or nullptr once it is gone.
    EngineWorksheet* find(SheetId id) const { return id < sheets_.size() ? sheets_[id] : nullptr; }

private:
    std::vector<EngineWorksheet*> sheets_;
};

// One sheet of an open workbook: its cell model, its drawing, its name and
// the cell last selected in it. The cell model is released into the package
// when the sheet is idle and read back when it is used again.
class EngineWorksheet {
public:
    // A worksheet with its model, or a sheet that holds no cells (a chart sheet) without one.
    EngineWorksheet(EngineWorkbook& book, SheetId id, std::string name, std::unique_ptr<ooxml::SheetModel> model);

    SheetId id() const { return id_; }
    EngineWorkbook& workbook() const { return book_; }
    const std::string& name() const { return name_; }
    // Renames the sheet; a name that is not allowed raises 1004 saying why.
    void rename(const std::string& name);
    // Makes the sheet its workbook's active sheet.
    void activate();
    // Switches the sheet's AutoFilter off (on is refused).
    void setAutoFilterMode(bool on);

    bool isWorksheet() const { return isWorksheet_; }
    // The cell model, read back from the package when it was released;
    // raises 1004 for a sheet that holds no cells.
    ooxml::SheetModel& model() {
        if (!model_) return loadModel();
        lastUse_ = ++*useClock_;
        return *model_;
    }
    bool modelLoaded() const { return model_ != nullptr; }
    uint64_t lastUse() const { return lastUse_; }
    // Writes the model's changes and the drawing's into the package and frees the model.
    void releaseModel();
    // Whether a model with changes was released (its cells changed).
    bool changedSinceOpen() const { return releasedChanges_; }

    // The drawing that pictures are added to (made on first use); writing its
    // changes into the package.
    ooxml::SheetDrawing& drawing();
    void flushDrawing();

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
    const ooxml::XfSpec& formatAt(int32_t row, int32_t column);
    void changeFormat(int32_t row, int32_t column, const std::function<void(ooxml::XfSpec&)>& change);
    void changeFont(int32_t row, int32_t column, const std::function<void(ooxml::FontSpec&)>& change);
    void setNumberFormat(int32_t row, int32_t column, const std::string& format);

private:
    ooxml::SheetModel& loadModel();

    EngineWorkbook& book_;
    // The workbook's clock of model uses, for releasing the least used.
    uint64_t* useClock_;
    SheetId id_;
    std::string name_;
    std::unique_ptr<ooxml::SheetModel> model_;
    bool isWorksheet_ = false;
    std::string partName_;  // of a released model
    uint64_t lastUse_ = 0;
    bool releasedChanges_ = false;
    bool nameMayBeUsed_ = true;
    double maxDigitWidth_ = 7;
    std::unique_ptr<ooxml::SheetDrawing> drawing_;
    std::pair<int32_t, int32_t> selected_{1, 1};
    // Columns whose cells all have one number format since it was set on the
    // whole column, with the model's count of cells that took a row format then.
    std::map<int32_t, std::pair<std::string, uint64_t>> uniformColumnFormat_;
};

// One open workbook.
class EngineWorkbook {
public:
    // Reads a workbook package; `fullName` is what FullName reports. Its
    // sheets get ids from `sheets`, where they are entered once it is read.
    EngineWorkbook(SheetDirectory& sheets, BookId id, const std::string& path, const std::string& fullName,
                   bool readOnly, int32_t fileFormat);
    // A new workbook with one empty sheet.
    EngineWorkbook(SheetDirectory& sheets, BookId id);
    ~EngineWorkbook();
    EngineWorkbook(const EngineWorkbook&) = delete;
    EngineWorkbook& operator=(const EngineWorkbook&) = delete;

    BookId id() const { return id_; }
    const std::string& fullName() const { return fullName_; }

    // Saving (engine_workbook_save.cpp).
    void save();
    void saveAs(const std::string& file, std::optional<int32_t> fileFormat);
    void saveCopyAs(const std::string& file);

    // Sheets in tab order, from 0.
    size_t sheetCount() const { return sheets_.size(); }
    EngineWorksheet& sheetAt(size_t position) const { return *sheets_.at(position); }
    size_t positionOf(const EngineWorksheet& sheet) const;
    // The sheet of that name, compared without regard to case, or nullptr.
    EngineWorksheet* sheetNamed(const std::string& name) const;
    // The sheet of this workbook with that id, or nullptr.
    EngineWorksheet* sheetWithId(SheetId id) const;
    size_t activeSheetPosition() const { return activePosition_; }
    void setActiveSheet(size_t position);
    // Adds a worksheet at a tab position with the given model; the model's
    // part name is chosen here. Returns the new sheet.
    EngineWorksheet& insertSheet(size_t position, const std::string& name, std::unique_ptr<ooxml::SheetModel> model);
    // Renames a sheet in the workbook part, defined names, cell formulas,
    // chart series and pivot cache sources.
    void renameSheet(EngineWorksheet& sheet, const std::string& newName);

    ooxml::Package& package() { return *package_; }
    ooxml::WorkbookPart& workbookPart() { return workbookPart_; }
    ooxml::StyleSheet& styles() { return styles_; }
    ooxml::SharedStrings& strings() { return strings_; }
    bool date1904() const { return date1904_; }
    // The workbook's formulas (engine_calculation.h); computing what changed.
    WorkbookCalculation& calculation();
    // Computes what changed, and the volatile formulas (of one sheet when given).
    void calculate(std::optional<SheetId> volatileSheet = std::nullopt);

    // Sheet models live expanded while they are in use: this serialises and
    // frees all but the few used last, never `keep` or `keepToo`. Called
    // where no model reference is held (before a sheet copy).
    void releaseIdleModels(const EngineWorksheet& keep, const EngineWorksheet& keepToo);
    // For EngineWorksheet: its use stamp, and a model read back in.
    uint64_t& useClock() { return useClock_; }
    void noteModelLoaded(EngineWorksheet& sheet) { loadedModels_.push_back(&sheet); }

private:
    void load();
    void loadParts();
    void loadSheets();
    void repairLinks();
    void addSheet(size_t position, const std::string& name, std::unique_ptr<ooxml::SheetModel> model);
    std::string partOfKind(const ooxml::Relationships& rels, std::string_view kind) const;
    void writePackageParts();
    void writeText(const std::string& path);
    bool holdsMacros() const;
    void setMainPartMacros(bool keep);
    void saveTo(const std::string& path, int32_t format);
    void saveMacroFreeCopy(const std::string& target);

    SheetDirectory& directory_;
    BookId id_;
    std::unique_ptr<ooxml::Package> package_;
    std::string fullName_;
    bool readOnly_ = false;
    int32_t fileFormat_ = 51;
    ooxml::WorkbookPart workbookPart_;
    std::unique_ptr<WorkbookCalculation> calculation_;
    ooxml::StyleSheet styles_;
    ooxml::SharedStrings strings_;
    std::vector<std::unique_ptr<EngineWorksheet>> sheets_;
    size_t activePosition_ = 0;
    bool date1904_ = false;
    double maxDigitWidth_ = 7;
    // Kept in step with sheets_, so that adding a sheet costs the same
    // however many there are: the sheets by lower-case name, the sheets whose
    // view is selected, the sheets whose model is expanded.
    std::unordered_map<std::string, EngineWorksheet*> sheetsByName_;
    std::vector<EngineWorksheet*> selectedSheets_;
    std::vector<EngineWorksheet*> loadedModels_;
    uint64_t useClock_ = 0;
};


inline void SheetDirectory::enter(EngineWorksheet& sheet) { sheets_.at(sheet.id()) = &sheet; }

}  // namespace kbx::engine
