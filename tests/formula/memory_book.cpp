#include "formula/memory_book.h"

#include <algorithm>
#include <stdexcept>

#include "value/cell_reference.h"
#include "value/text_case.h"

namespace kbx::test {

using namespace formula;

MemoryBook::Key MemoryBook::key(int32_t sheet, const std::string& a1) {
    int32_t row = 0, column = 0;
    if (!parseCellReference(a1, row, column)) throw std::invalid_argument("bad cell " + a1);
    return {sheet, row, column};
}

void MemoryBook::set(int32_t sheet, const std::string& a1, Value value) {
    const Key k = key(sheet, a1);
    calculator.removeFormula({sheet, std::get<1>(k), std::get<2>(k)});
    cells_[k] = Cell{std::move(value), false, {}};
    calculator.cellChanged({sheet, std::get<1>(k), std::get<2>(k)});
}

void MemoryBook::setFormula(int32_t sheet, const std::string& a1, const std::string& text, const std::string& writtenAt) {
    const Key k = key(sheet, a1);
    cells_[k].formula = true;
    std::optional<CellAddress> origin;
    if (!writtenAt.empty()) {
        const Key o = key(sheet, writtenAt);
        origin = CellAddress{sheet, std::get<1>(o), std::get<2>(o)};
    }
    calculator.setFormula({sheet, std::get<1>(k), std::get<2>(k)}, text, origin);
}

Value MemoryBook::value(int32_t sheet, const std::string& a1) const {
    const auto found = cells_.find(key(sheet, a1));
    return found == cells_.end() ? Value() : found->second.value;
}

std::string MemoryBook::notComputedReason(int32_t sheet, const std::string& a1) const {
    const auto found = cells_.find(key(sheet, a1));
    return found == cells_.end() ? "" : found->second.reason;
}

std::optional<int32_t> MemoryBook::sheetIndex(std::string_view name) const {
    for (size_t i = 0; i < sheets_.size(); ++i) {
        if (equalIgnoringCase(sheets_[i], name)) return int32_t(i);
    }
    return std::nullopt;
}

CellView MemoryBook::cell(int32_t sheet, int32_t row, int32_t column) const {
    const auto found = cells_.find({sheet, row, column});
    if (found == cells_.end()) return {};
    CellView view = viewOf(found->second.value);
    view.formula = found->second.formula;
    return view;
}

void MemoryBook::forEachCell(const Area& area, const CellVisitor& visit) const {
    auto it = cells_.lower_bound({area.sheet, area.row1, area.column1});
    while (it != cells_.end()) {
        const auto [sheet, row, column] = it->first;
        if (sheet != area.sheet || row > area.row2) return;
        if (column < area.column1) {
            it = cells_.lower_bound({sheet, row, area.column1});
        } else if (column > area.column2) {
            it = cells_.lower_bound({sheet, row + 1, area.column1});
        } else {
            CellView view = viewOf(it->second.value);
            view.formula = it->second.formula;
            if (!visit(row, column, view)) return;
            ++it;
        }
    }
}

bool MemoryBook::rowHidden(int32_t sheet, int32_t row) const {
    return std::find(hiddenRows.begin(), hiddenRows.end(), std::make_pair(sheet, row)) != hiddenRows.end();
}

void MemoryBook::computed(const CellAddress& at, const Value& value) {
    Cell& c = cells_[{at.sheet, at.row, at.column}];
    c.value = value;
    c.reason.clear();
    ++computedCount;
}

void MemoryBook::notComputed(const CellAddress& at, const std::string& reason) {
    cells_[{at.sheet, at.row, at.column}].reason = reason.empty() ? "not computed" : reason;
}

}  // namespace kbx::test
