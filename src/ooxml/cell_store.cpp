#include "ooxml/cell_store.h"

#include <algorithm>

namespace kbx::ooxml {

namespace {

// The cell of a column in a row sorted by column, or where it would go.
std::vector<CellData>::iterator cellPosition(std::vector<CellData>& cells, int32_t column) {
    // Cells are mostly written left to right: the last one first.
    if (cells.empty() || cells.back().column < column) return cells.end();
    return std::lower_bound(cells.begin(), cells.end(), column,
                            [](const CellData& cell, int32_t c) { return cell.column < c; });
}

}  // namespace

RowData* CellStore::row(int32_t number) const {
    if (number < 1 || static_cast<size_t>(number) >= rowSlots_.size()) return nullptr;
    const uint32_t slot = rowSlots_[static_cast<size_t>(number)];
    return slot == 0 ? nullptr : &rows_[slot - 1];
}

const RowData* CellStore::findRow(int32_t number) const { return row(number); }

RowData& CellStore::rowForWrite(int32_t number) {
    if (RowData* existing = row(number)) return *existing;
    if (static_cast<size_t>(number) >= rowSlots_.size()) rowSlots_.resize(static_cast<size_t>(number) + 1, 0);
    rows_.emplace_back();
    rowSlots_[static_cast<size_t>(number)] = static_cast<uint32_t>(rows_.size());
    return rows_.back();
}

void CellStore::forEachRow(const std::function<void(int32_t, const RowData&)>& f) const {
    for (size_t number = 1; number < rowSlots_.size(); ++number)
        if (rowSlots_[number] != 0) f(static_cast<int32_t>(number), rows_[rowSlots_[number] - 1]);
}

void CellStore::setRowAttributes(RowData& row, std::string attributes) {
    rowAttributes_.push_back(std::move(attributes));
    row.extraAttributes = static_cast<uint32_t>(rowAttributes_.size());
}

void CellStore::remember(int32_t row, int32_t column, CellData* cell) const {
    recent_.cells[recent_.next] = {row, column, cell};
    recent_.next = (recent_.next + 1) % recent_.cells.size();
}

CellData* CellStore::lookup(int32_t number, int32_t column) const {
    for (const RecentCell& recent : recent_.cells)
        if (recent.cell != nullptr && recent.row == number && recent.column == column) return recent.cell;
    RowData* r = row(number);
    if (r == nullptr) return nullptr;
    const auto c = cellPosition(r->cells, column);
    if (c == r->cells.end() || c->column != column) return nullptr;
    remember(number, column, &*c);
    return &*c;
}

const CellData* CellStore::findCell(int32_t row, int32_t column) const { return lookup(row, column); }

const CellExtra* CellStore::extraOf(int32_t row, int32_t column) const {
    const CellData* cell = lookup(row, column);
    if (cell == nullptr || !cell->hasExtra) return nullptr;
    const auto it = extras_.find(extraKey(row, column));
    return it == extras_.end() ? nullptr : &it->second;
}

CellData& CellStore::createCell(int32_t number, int32_t column, int32_t columnStyle) {
    RowData& r = rowForWrite(number);
    CellData cell;
    cell.column = static_cast<uint16_t>(column);
    const int32_t style = r.style >= 0 ? r.style : columnStyle;
    cell.style = style >= 0 ? static_cast<uint32_t>(style) : 0;
    if (r.style >= 0) ++cellsTakingRowFormat_;
    CellData& created = *r.cells.insert(cellPosition(r.cells, column), cell);
    ++cellCount_;
    extendUsedBounds(number, column);
    // The row's cells may have moved: forget the cells remembered in it.
    for (RecentCell& recent : recent_.cells)
        if (recent.row == number) recent = RecentCell{};
    remember(number, column, &created);
    return created;
}

void CellStore::dropExtra(int32_t row, CellData& cell) {
    if (!cell.hasExtra) return;
    extras_.erase(extraKey(row, cell.column));
    cell.hasExtra = false;
}

int64_t CellStore::ownStyleAt(int32_t number, int32_t column) const {
    if (const CellData* cell = lookup(number, column)) return cell->style;
    const RowData* r = row(number);
    return r != nullptr ? r->style : -1;
}

bool CellStore::forEachCellInColumn(int32_t column, const std::function<void(CellData&)>& f) {
    bool any = false;
    for (RowData& r : rows_) {
        const auto c = cellPosition(r.cells, column);
        if (c != r.cells.end() && c->column == column) {
            f(*c);
            any = true;
        }
    }
    return any;
}

bool CellStore::forEachFormula(const std::function<bool(std::string&)>& edit) {
    bool changed = false;
    for (auto& [key, extra] : extras_)
        if (!extra.formula.empty() && edit(extra.formula)) changed = true;
    return changed;
}

void CellStore::forEachFormulaCell(const std::function<void(int32_t, int32_t, const CellExtra&)>& f) const {
    for (const auto& [key, extra] : extras_)
        if (!extra.formula.empty()) f(static_cast<int32_t>(key >> 16), static_cast<int32_t>(key & 0xffff), extra);
}

void CellStore::forEachCellIn(int32_t top, int32_t left, int32_t bottom, int32_t right,
                              const std::function<bool(int32_t, const CellData&)>& visit) const {
    const int32_t last = std::min<int32_t>(bottom, static_cast<int32_t>(rowSlots_.size()) - 1);
    for (int32_t number = std::max(top, 1); number <= last; ++number) {
        const RowData* r = row(number);
        if (r == nullptr) continue;
        auto cell = std::lower_bound(r->cells.begin(), r->cells.end(), left,
                                     [](const CellData& c, int32_t column) { return c.column < column; });
        for (; cell != r->cells.end() && cell->column <= right; ++cell)
            if (!visit(number, *cell)) return;
    }
}

size_t CellStore::memoryBytes() const {
    size_t bytes = rows_.capacity() * sizeof(RowData) + rowSlots_.capacity() * sizeof(uint32_t);
    for (const RowData& r : rows_) bytes += r.cells.capacity() * sizeof(CellData);
    return bytes;
}

void CellStore::addReadCell(int32_t number, const CellData& cell, bool inOrder) {
    std::vector<CellData>& cells = rowForWrite(number).cells;
    extendUsedBounds(number, cell.column);
    if (inOrder) {
        cells.push_back(cell);
        ++cellCount_;
        return;
    }
    const auto at = cellPosition(cells, cell.column);
    if (at != cells.end() && at->column == cell.column) {
        if (at->hasExtra && !cell.hasExtra) extras_.erase(extraKey(number, cell.column));
        *at = cell;
        return;
    }
    cells.insert(at, cell);
    ++cellCount_;
}

CellExtra& CellStore::extraForWrite(int32_t row, CellData& cell) {
    cell.hasExtra = true;
    return extras_[extraKey(row, cell.column)];
}

const CellExtra* CellStore::extraAt(int32_t row, const CellData& cell) const {
    if (!cell.hasExtra) return nullptr;
    const auto it = extras_.find(extraKey(row, cell.column));
    return it == extras_.end() ? nullptr : &it->second;
}

std::optional<std::set<int64_t>> CellStore::sharedFormulaMasters() const {
    std::optional<std::set<int64_t>> masters;
    for (const auto& [key, extra] : extras_) {
        if (extra.sharedFormula < 0) continue;
        if (!masters) masters.emplace();
        if (extra.sharedFormulaMaster) masters->insert(extra.sharedFormula);
    }
    return masters;
}

void CellStore::extendUsedBounds(int32_t row, int32_t column) {
    if (!usedBounds_) {
        usedBounds_ = CellBounds{row, column, row, column};
        return;
    }
    CellBounds& b = *usedBounds_;
    b[0] = std::min(b[0], row);
    b[1] = std::min(b[1], column);
    b[2] = std::max(b[2], row);
    b[3] = std::max(b[3], column);
}

}  // namespace kbx::ooxml
