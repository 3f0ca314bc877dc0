#include "formula/calculation_pass.h"

#include <algorithm>
#include <deque>
#include <exception>

#include "formula/evaluator.h"
#include "formula/functions.h"
#include "formula/parser.h"
#include "value/cell_reference.h"
#include "value/text_case.h"

namespace kbx::formula {

namespace {

using State = Calculator::Vertex::State;


}  // namespace

Calculator::Pass::Pass(Calculator& calculator, double now)
    : calc_(calculator), now_(now), passNumber_(++calculator.passes_) {}

std::optional<uint32_t> Calculator::Pass::vertexAt(int32_t sheet, int32_t row, int32_t column) const {
    const uint64_t key = cellKey(sheet, row, column);
    if (const auto found = calc_.byCell_.find(key); found != calc_.byCell_.end()) return found->second;
    if (!calc_.arrayCells_.empty()) {
        if (const auto found = calc_.arrayCells_.find(key); found != calc_.arrayCells_.end()) return found->second;
    }
    return std::nullopt;
}

Value Calculator::Pass::vertexValue(uint32_t id, int32_t row, int32_t column) {
    Vertex& v = calc_.vertices_[id];
    if (v.state == State::Dirty && !allowStale) throw NeedFirst{id};
    if (v.state == State::NotComputed) throw NotComputed{"it depends on a cell that is not computed"};
    if (!v.value.isArray()) return row == v.cell.row && column == v.cell.column ? v.value : Value();
    const Array& array = v.value.array();
    const int32_t r = row - v.cell.row, c = column - v.cell.column;
    if (r >= array.rows && array.rows != 1) return ErrorCode::NA;
    if (c >= array.columns && array.columns != 1) return ErrorCode::NA;
    return array.at(array.rows == 1 ? 0 : r, array.columns == 1 ? 0 : c);
}

Value Calculator::Pass::cell(int32_t sheet, int32_t row, int32_t column) {
    if (!calc_.arrayCells_.empty()) {
        if (const auto found = calc_.arrayCells_.find(cellKey(sheet, row, column)); found != calc_.arrayCells_.end()) {
            return vertexValue(found->second, row, column);
        }
    }
    const CellView view = calc_.model_.cell(sheet, row, column);
    if (view.formula) {
        if (const auto found = calc_.byCell_.find(cellKey(sheet, row, column)); found != calc_.byCell_.end()) {
            return vertexValue(found->second, row, column);
        }
    }
    return toValue(view);
}

void Calculator::Pass::forEachCell(const Area& area, const CellVisitor& visit) {
    const bool arrays = !calc_.arrayCells_.empty();
    calc_.model_.forEachCell(area, [&](int32_t row, int32_t column, const CellView& view) {
        if (view.formula || (arrays && calc_.arrayCells_.contains(cellKey(area.sheet, row, column)))) {
            const Value v = cell(area.sheet, row, column);
            return visit(row, column, viewOf(v));
        }
        return visit(row, column, view);
    });
}

std::optional<int32_t> Calculator::Pass::sheetIndex(std::string_view name) { return calc_.model_.sheetIndex(name); }

std::shared_ptr<const Formula> Calculator::Pass::definedName(std::string_view name, int32_t sheet) {
    const std::string key = lowerCase(name) + '\x01' + std::to_string(sheet);
    if (const auto found = names_.find(key); found != names_.end()) return found->second;
    std::shared_ptr<const Formula> parsed;
    if (const auto text = calc_.model_.definedName(name, sheet)) {
        auto result = parseFormula(*text, 1, 1);
        if (auto* formula = std::get_if<std::shared_ptr<const Formula>>(&result)) parsed = *formula;
        else throw NotComputed{"the defined name " + std::string(name) + " is not computed"};
    }
    names_.emplace(key, parsed);
    return parsed;
}

bool Calculator::Pass::isFormula(int32_t sheet, int32_t row, int32_t column) {
    return vertexAt(sheet, row, column).has_value() || calc_.model_.cell(sheet, row, column).formula;
}

bool Calculator::Pass::holdsSubtotal(int32_t sheet, int32_t row, int32_t column) {
    const auto id = vertexAt(sheet, row, column);
    return id && calc_.vertices_[*id].formula && calc_.vertices_[*id].formula->usesSubtotal;
}

bool Calculator::Pass::rowHidden(int32_t sheet, int32_t row) { return calc_.model_.rowHidden(sheet, row); }
bool Calculator::Pass::date1904() { return calc_.model_.date1904(); }
double Calculator::Pass::random() { return std::uniform_real_distribution<double>(0.0, 1.0)(calc_.random_); }

const LookupIndex* Calculator::Pass::lookupIndex(const Area& line) {
    // Short lines are searched faster than indexed.
    if ((line.rows() != 1 && line.columns() != 1) || line.rows() * line.columns() < 64) return nullptr;
    auto [slot, fresh] = lookups_.try_emplace({line.sheet, line.row1, line.column1, line.row2, line.column2});
    if (!fresh) return slot->second.get();
    auto index = std::make_unique<LookupIndex>();
    bool usable = true;
    calc_.model_.forEachCell(line, [&](int32_t r, int32_t c, const CellView& cell) {
        if (cell.formula || (!calc_.arrayCells_.empty() && calc_.arrayCells_.contains(cellKey(line.sheet, r, c)))) {
            usable = false;
            return false;
        }
        const int64_t at = line.columns() == 1 ? r - line.row1 : c - line.column1;
        if (cell.kind == CellView::Kind::Number) index->numbers.try_emplace(cell.number, at);
        else if (cell.kind == CellView::Kind::Text) index->texts.try_emplace(lowerCase(cell.text), at);
        else if (cell.kind == CellView::Kind::Boolean) {
            int64_t& slotOf = cell.number != 0 ? index->positionOfTrue : index->positionOfFalse;
            if (slotOf < 0) slotOf = at;
        }
        return true;
    });
    if (usable) slot->second = std::move(index);
    return slot->second.get();
}

void Calculator::Pass::compute(uint32_t id, Sink* sink) {
    Vertex& v = calc_.vertices_[id];
    sheet = v.cell.sheet;
    row = v.cell.row;
    column = v.cell.column;
    nameDepth = 0;
    // Only a value the sink has can be left unreported when it comes out the same.
    const bool wasReported = v.reported && sink != nullptr;
    v.reported = false;
    v.unchanged = false;
    if (!v.formula) {
        v.state = State::NotComputed;
    } else {
        try {
            Value result = evaluate(*v.formula, *this);
            if (v.formula->arrayFormula) {
                result = arrayOf(*this, result.isReference() && result.reference().size() != 1 ? Value(ErrorCode::Value) : result);
            }
            if (result.isText() && result.text().size() > 32767 * 4) result = ErrorCode::Value;
            v.unchanged = wasReported && result == v.value;
            v.value = std::move(result);
            v.state = State::Done;
        } catch (const ErrorResult& error) {
            v.unchanged = wasReported && Value(error.code) == v.value;
            v.value = error.code;
            v.state = State::Done;
        } catch (const NotComputed& failure) {
            v.state = State::NotComputed;
            v.reason = failure.reason;
        } catch (const std::exception& failure) {
            // Out of memory or a fault of ours: the cell keeps its stored value.
            v.state = State::NotComputed;
            v.reason = std::string("the formula could not be computed: ") + failure.what();
        }
    }
    v.waiting = false;
    if (sink) report(id, *sink);
}

void Calculator::Pass::report(uint32_t id, Sink& sink) {
    Vertex& v = calc_.vertices_[id];
    // The sink keeps what it was told: a value that came out the same is not
    // written again (a sheet kept out of memory stays so).
    v.reported = v.state == State::Done;
    if (v.reported && v.unchanged) return;
    for (int32_t r = 0; r < v.rows; ++r) {
        for (int32_t c = 0; c < v.columns; ++c) {
            const CellAddress at{v.cell.sheet, v.cell.row + r, v.cell.column + c};
            if (v.state != State::Done) sink.notComputed(at, v.reason);
            else sink.computed(at, v.value.isArray() ? vertexValue(id, at.row, at.column) : v.value);
        }
    }
}

}  // namespace kbx::formula
