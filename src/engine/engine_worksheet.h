#pragma once
// One sheet of an open workbook: its cell model, its drawing, its name and
// the cell last selected in it. The cell model is released into the package
// when the sheet is idle and read back when it is used again.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "ooxml/sheet_drawing.h"
#include "ooxml/sheet_model.h"
#include "ooxml/styles.h"

namespace kbx::engine {

class EngineWorkbook;

// A sheet's id: stable while the sheet lives, never given to another sheet
// of the same application.
using SheetId = uint32_t;

class EngineWorksheet {
public:
    // A worksheet with its model, or a sheet that holds no cells (a chart sheet) without one.
    EngineWorksheet(EngineWorkbook& book, SheetId id, std::string name, std::unique_ptr<ooxml::SheetModel> model);

    SheetId id() const { return id_; }
    EngineWorkbook& workbook() const { return book_; }
    const std::string& name() const { return name_; }
    // Renames the sheet; a name that is not allowed raises 1004 saying why.
    void rename(const std::string& name);
    // Makes the sheet its workbook's active sheet and the workbook the active one.
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

    // The drawing that pictures are added to; writing its changes into the package.
    ooxml::SheetDrawing& drawing() { return drawing_; }
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
    ooxml::SheetDrawing drawing_;
    std::pair<int32_t, int32_t> selected_{1, 1};
    // Columns whose cells all have one number format since it was set on the
    // whole column, with the model's count of cells that took a row format then.
    std::map<int32_t, std::pair<std::string, uint64_t>> uniformColumnFormat_;
};

}  // namespace kbx::engine
