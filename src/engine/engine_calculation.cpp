#include "engine/engine_calculation.h"

#include <algorithm>

#include "engine/engine_document.h"
#include "log/write_log.h"
#include "ooxml/stored_formula.h"
#include "value/cell_reference.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::engine {

namespace {

using formula::CellAddress;
using formula::CellView;
using Stored = ooxml::StoredFormula;

CellView viewOfCell(const ooxml::CellData& cell, const ooxml::CellExtra* extra, const ooxml::SharedStrings& strings) {
    CellView view;
    view.formula = extra != nullptr && !extra->formula.empty();
    switch (cell.kind) {
        case ooxml::CellKind::Empty: break;
        case ooxml::CellKind::Number:
            view.kind = CellView::Kind::Number;
            view.number = cell.number;
            break;
        case ooxml::CellKind::Boolean:
            view.kind = CellView::Kind::Boolean;
            view.number = cell.number;
            break;
        case ooxml::CellKind::Shared:
            view.kind = CellView::Kind::Text;
            view.text = strings.text(cell.shared);
            break;
        case ooxml::CellKind::Inline:
        case ooxml::CellKind::FormulaText:
            view.kind = CellView::Kind::Text;
            if (extra != nullptr) view.text = extra->text;
            break;
        case ooxml::CellKind::Error:
            if (const auto code = formula::errorFromText(extra != nullptr ? extra->text : "")) {
                view.kind = CellView::Kind::Error;
                view.error = *code;
            } else {
                view.kind = CellView::Kind::Text;
                view.text = extra->text;
            }
            break;
    }
    return view;
}

}  // namespace

WorkbookCalculation::WorkbookCalculation(EngineWorkbook& book) : book_(book), calculator_(*this) {}

WorkbookCalculation::~WorkbookCalculation() = default;

// Models are not released while a calculation runs, so the last one found is kept.
ooxml::SheetModel* WorkbookCalculation::modelOf(int32_t sheet) const {
    if (sheet == lastSheet_) return lastModel_;
    EngineWorksheet* found = book_.sheetWithId(static_cast<SheetId>(sheet));
    lastSheet_ = sheet;
    lastModel_ = found != nullptr ? &found->model() : nullptr;
    return lastModel_;
}

void WorkbookCalculation::cellChanged(const EngineWorksheet& sheet, int32_t row, int32_t column) {
    if (started_) changedCells_.push_back({static_cast<int32_t>(sheet.id()), row, column});
}

void WorkbookCalculation::sheetAdded(const EngineWorksheet& sheet) {
    if (started_) addedSheets_.push_back(sheet.id());
}

void WorkbookCalculation::sheetRenamed() { started_ = false; }

void WorkbookCalculation::calculate(std::optional<uint32_t> volatileSheet) {
    if (!started_) {
        start();
    } else {
        applyChanges();
    }
    lastSheet_ = -1;
    std::optional<int32_t> sheet;
    if (volatileSheet) sheet = static_cast<int32_t>(*volatileSheet);
    calculator_.recalculate(*this, sheet);
    lastSheet_ = -1;
}

// Registers every formula of the workbook anew.
void WorkbookCalculation::start() {
    calculator_.clear();
    changedCells_.clear();
    addedSheets_.clear();
    sharedMasters_.clear();
    notComputed_.clear();
    readDefinedNames();
    const ooxml::WorkbookPart::Iteration iteration = book_.workbookPart().iteration();
    calculator_.setIteration({iteration.enabled, iteration.maxCount, iteration.maxChange});
    for (size_t position = 0; position < book_.sheetCount(); ++position) registerSheet(book_.sheetAt(position));
    started_ = true;
}

void WorkbookCalculation::applyChanges() {
    if (!addedSheets_.empty()) readDefinedNames();
    for (const uint32_t id : addedSheets_)
        if (EngineWorksheet* sheet = book_.sheetWithId(id)) registerSheet(*sheet);
    addedSheets_.clear();
    for (const CellAddress& cell : changedCells_) {
        const uint64_t key = formula::cellKey(cell);
        if (sharedMasters_.count(key)) {
            // The block's formula moved on to its next cell: the formulas are read again.
            start();
            return;
        }
        calculator_.removeFormula(cell);
        notComputed_.erase(key);
        calculator_.cellChanged(cell);
    }
    changedCells_.clear();
}

void WorkbookCalculation::registerSheet(EngineWorksheet& sheet) {
    if (!sheet.isWorksheet()) return;
    const int32_t id = static_cast<int32_t>(sheet.id());
    const ooxml::SheetModel& model = sheet.model();
    // Shared formulas by index: their master cell and text.
    std::unordered_map<int64_t, std::pair<CellAddress, std::string>> shared;
    std::vector<std::pair<CellAddress, Stored>> others;
    model.forEachFormulaCell([&](int32_t row, int32_t column, const ooxml::CellExtra& extra) {
        Stored stored = ooxml::readStoredFormula(extra.formula);
        const CellAddress at{id, row, column};
        if (stored.kind == Stored::Kind::Shared && extra.sharedFormulaMaster) {
            sharedMasters_.insert(formula::cellKey(at));
            shared[stored.sharedIndex] = {at, stored.text};
            calculator_.setFormula(at, stored.text);
        } else {
            others.emplace_back(at, std::move(stored));
        }
    });
    for (const auto& [at, stored] : others) {
        switch (stored.kind) {
            case Stored::Kind::Normal:
                if (stored.text.empty()) notComputed_[formula::cellKey(at)] = "the formula is empty";
                else calculator_.setFormula(at, stored.text);
                break;
            case Stored::Kind::Shared:
                // A block whose master was overwritten is saved without its formulas.
                if (const auto master = shared.find(stored.sharedIndex); master != shared.end())
                    calculator_.setFormula(at, master->second.second, master->second.first);
                break;
            case Stored::Kind::Array:
                calculator_.setArrayFormula(at, stored.bottom - stored.top + 1, stored.right - stored.left + 1,
                                            stored.text);
                break;
            case Stored::Kind::DataTable: notComputed_[formula::cellKey(at)] = "data tables are not computed"; break;
            case Stored::Kind::Unknown: notComputed_[formula::cellKey(at)] = "the stored formula cannot be read"; break;
        }
    }
}

void WorkbookCalculation::readDefinedNames() {
    names_.clear();
    for (const auto& entry : book_.workbookPart().definedNameEntries()) {
        int64_t scope = -1;
        if (entry.localSheet) {
            if (*entry.localSheet >= book_.sheetCount()) continue;
            scope = book_.sheetAt(*entry.localSheet).id();
        }
        names_[lowerCase(entry.name)][scope] = entry.text;
    }
}

// A chart sheet holds no cells: a reference to it is #REF!, like one to a sheet that is not there.
std::optional<int32_t> WorkbookCalculation::sheetIndex(std::string_view name) const {
    const EngineWorksheet* sheet = book_.sheetNamed(std::string(name));
    if (sheet == nullptr || !sheet->isWorksheet()) return std::nullopt;
    return static_cast<int32_t>(sheet->id());
}

CellView WorkbookCalculation::cell(int32_t sheet, int32_t row, int32_t column) const {
    const ooxml::SheetModel* model = modelOf(sheet);
    if (model == nullptr) return {};
    const ooxml::CellData* data = model->findCell(row, column);
    if (data == nullptr) return {};
    return viewOfCell(*data, model->extraAt(row, *data), book_.strings());
}

void WorkbookCalculation::forEachCell(const formula::Area& area, const formula::CellVisitor& visit) const {
    const ooxml::SheetModel* model = modelOf(area.sheet);
    if (model == nullptr) return;
    model->forEachCellIn(area.row1, area.column1, area.row2, area.column2,
                         [&](int32_t row, const ooxml::CellData& data) {
                             return visit(row, data.column, viewOfCell(data, model->extraAt(row, data), book_.strings()));
                         });
}

std::optional<std::string> WorkbookCalculation::definedName(std::string_view name, int32_t sheet) const {
    const auto found = names_.find(lowerCase(std::string(name)));
    if (found == names_.end()) return std::nullopt;
    for (const int64_t scope : {int64_t{sheet}, int64_t{-1}}) {
        const auto text = found->second.find(scope);
        if (text != found->second.end()) return text->second;
    }
    return std::nullopt;
}

bool WorkbookCalculation::rowHidden(int32_t sheet, int32_t row) const {
    const ooxml::SheetModel* model = modelOf(sheet);
    return model != nullptr && model->rowHidden(row);
}

bool WorkbookCalculation::date1904() const { return book_.date1904(); }

void WorkbookCalculation::computed(const CellAddress& cell, const formula::Value& value) {
    notComputed_.erase(formula::cellKey(cell));
    ooxml::SheetModel* model = modelOf(cell.sheet);
    if (model == nullptr) return;
    ooxml::CellKind kind = ooxml::CellKind::Empty;
    double number = 0;
    std::string_view text;
    if (value.isNumber()) {
        kind = ooxml::CellKind::Number;
        number = value.number();
    } else if (value.isText()) {
        kind = ooxml::CellKind::FormulaText;
        text = value.text();
    } else if (value.isBoolean()) {
        kind = ooxml::CellKind::Boolean;
        number = value.boolean() ? 1 : 0;
    } else if (value.isError()) {
        kind = ooxml::CellKind::Error;
        text = formula::errorText(value.error());
    }
    model->setComputedValue(cell.row, cell.column, kind, number, text);
}

void WorkbookCalculation::notComputed(const CellAddress& cell, const std::string& reason) {
    notComputed_[formula::cellKey(cell)] = reason;
}

void WorkbookCalculation::logNotComputed() const {
    if (allComputed()) return;
    // The first cell by sheet, row and column, so that the line is the same every time.
    const auto first = std::min_element(notComputed_.begin(), notComputed_.end(),
                                        [](const auto& a, const auto& b) { return a.first < b.first; });
    const CellAddress cell = formula::cellOfKey(first->first);
    const EngineWorksheet* sheet = book_.sheetWithId(static_cast<SheetId>(cell.sheet));
    const size_t count = notComputed_.size();
    try {
        WriteLog("In '" + book_.fullName() + "', " + std::to_string(count) +
                 (count == 1 ? " formula cell was not computed and kept its stored value"
                             : " formula cells were not computed and kept their stored values") +
                 " (first: '" + (sheet != nullptr ? sheet->name() : std::string()) + "'!" + columnName(cell.column) +
                 std::to_string(cell.row) + ", " + first->second + "); the workbook asks its readers to recalculate");
    } catch (const RuntimeError&) {
        // A log that cannot be written does not keep the workbook from being saved.
    }
}

}  // namespace kbx::engine
