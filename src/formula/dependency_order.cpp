// Which formula cells a recalculation computes, and in which order: the
// static references of each formula (defined names followed) give the edges;
// ranges are nodes of their own. Both walks use explicit work lists.

#include <algorithm>
#include <deque>

#include "formula/calculation_pass.h"
#include "formula/evaluator.h"
#include "value/cell_reference.h"

namespace kbx::formula {

namespace {

using State = Calculator::Vertex::State;

bool isSingleCell(const Area& a) { return a.row1 == a.row2 && a.column1 == a.column2; }

// Work allowed for finding dependants of single changes before computing everything instead.
constexpr size_t kPropagationBudget = 4'000'000;


}  // namespace

void Calculator::Pass::collectReferences(const Formula& formula, const CellAddress& at, std::vector<Area>& out, int depth) {
    sheet = at.sheet;
    row = at.row;
    column = at.column;
    for (const ReferenceOperand& operand : formula.references) {
        const Value resolved = resolveReference(formula, operand, *this);
        if (resolved.isReference()) out.push_back(resolved.reference().front());
    }
    if (!formula.usesNames || depth > 16) return;
    for (const Instruction& in : formula.code) {
        if (in.op != Op::Name) continue;
        try {
            if (const auto name = definedName(formula.texts[size_t(in.index)], at.sheet)) collectReferences(*name, at, out, depth + 1);
        } catch (const NotComputed&) {
        }
    }
}

std::span<const Area> Calculator::Pass::references(uint32_t id) {
    auto& slots = calc_.referenceSlots_;
    if (slots.size() < calc_.vertices_.size()) slots.resize(calc_.vertices_.size());
    ReferenceSlot& slot = slots[id];
    if (slot.pass != passNumber_) {
        const Vertex& v = calc_.vertices_[id];
        slot = {passNumber_, uint32_t(referenceAreas_.size()), 0};
        if (v.formula) collectReferences(*v.formula, v.cell, referenceAreas_, 0);
        slot.count = uint32_t(referenceAreas_.size() - slot.first);
    }
    return {referenceAreas_.data() + slot.first, slot.count};
}

std::vector<uint32_t> Calculator::Pass::dirtyVertices(bool all, std::optional<int32_t> volatileSheet) {
    auto& vertices = calc_.vertices_;
    std::vector<uint32_t> dirty;
    std::vector<char> listed(vertices.size(), 0);
    std::vector<uint64_t> queue = calc_.changed_;
    const auto list = [&](uint32_t id) {
        vertices[id].state = State::Dirty;
        dirty.push_back(id);
        listed[id] = 1;
    };
    if (all) {
        for (uint32_t id = 0; id < vertices.size(); ++id)
            if (vertices[id].state != State::Free) list(id);
        return dirty;
    }
    // New and changed formulas come with the changed cells; volatile ones are computed every time.
    std::vector<char> seen(calc_.volatile_.empty() ? 0 : vertices.size(), 0);
    std::erase_if(calc_.volatile_, [&](uint32_t id) {
        const Vertex& v = vertices[id];
        if (v.state == State::Free || !v.formula || !v.formula->isVolatile || seen[id]) return true;
        seen[id] = 1;
        if (!listed[id] && (!volatileSheet || v.cell.sheet == *volatileSheet)) list(id);
        return false;
    });
    if (queue.empty() && dirty.empty()) return dirty;
    for (const uint32_t id : dirty) queue.push_back(cellKey(vertices[id].cell.sheet, vertices[id].cell.row, vertices[id].cell.column));
    // Who reads which cell and which area: kept until sheets or names change.
    const auto index = [&](uint32_t id) {
        if (vertices[id].state == State::Free) return;
        for (const Area& a : references(id)) {
            if (isSingleCell(a)) calc_.listeners_->cells[cellKey(a.sheet, a.row1, a.column1)].push_back(id);
            else calc_.listeners_->areas.add(a, id);
        }
    };
    if (!calc_.listeners_) {
        calc_.listeners_ = std::make_unique<Listeners>();
        for (uint32_t id = 0; id < vertices.size(); ++id) index(id);
    } else {
        for (const uint32_t id : calc_.unindexed_) index(id);
    }
    calc_.unindexed_.clear();
    const auto& readers = calc_.listeners_->cells;
    const AreaReaders& areaReaders = calc_.listeners_->areas;
    size_t work = 0;
    auto markDirty = [&](uint32_t id) {
        Vertex& v = vertices[id];
        if (listed[id] || v.state == State::Free) return;
        listed[id] = 1;
        v.state = State::Dirty;
        dirty.push_back(id);
        for (int32_t r = 0; r < v.rows; ++r) {
            for (int32_t c = 0; c < v.columns; ++c) queue.push_back(cellKey(v.cell.sheet, v.cell.row + r, v.cell.column + c));
        }
    };
    for (size_t next = 0; next < queue.size(); ++next) {
        const uint64_t key = queue[next];
        if (const auto found = calc_.byCell_.find(key); found != calc_.byCell_.end()) markDirty(found->second);
        if (const auto found = readers.find(key); found != readers.end()) {
            for (const uint32_t id : found->second) markDirty(id);
        }
        const CellAddress at = cellOfKey(key);
        work += areaReaders.forEachContaining(at.sheet, at.row, at.column, markDirty) + 1;
        if (work > kPropagationBudget) return dirtyVertices(true, volatileSheet);
    }
    return dirty;
}

void Calculator::Pass::indexColumns(const std::vector<uint32_t>& dirty) {
    const auto& vertices = calc_.vertices_;
    for (const uint32_t id : dirty) {
        const Vertex& v = vertices[id];
        for (int32_t r = 0; r < v.rows; ++r) {
            for (int32_t c = 0; c < v.columns; ++c) columns_[{v.cell.sheet, v.cell.column + c}].emplace_back(v.cell.row + r, id);
        }
    }
    for (auto& [key, rows] : columns_) std::sort(rows.begin(), rows.end());
}

// The dirty formula cells inside an area; when the same area one row shorter
// is a node too, that node and the last row (so nested running ranges stay linear).
void Calculator::Pass::areaPrecedents(const Area& area, const std::unordered_set<uint64_t>& areas, std::vector<uint32_t>& out) {
    Area shorter = area;
    --shorter.row2;
    const bool chained = shorter.row2 >= shorter.row1 && areas.contains(areaKey(shorter));
    const int32_t firstRow = chained ? area.row2 : area.row1;
    auto it = columns_.lower_bound({area.sheet, area.column1});
    for (; it != columns_.end() && it->first.first == area.sheet && it->first.second <= area.column2; ++it) {
        const auto& rows = it->second;
        auto r = std::lower_bound(rows.begin(), rows.end(), std::make_pair(firstRow, uint32_t(0)));
        for (; r != rows.end() && r->first <= area.row2; ++r) out.push_back(r->second);
    }
}

std::vector<uint32_t> Calculator::Pass::order(const std::vector<uint32_t>& dirty, std::vector<uint32_t>& cyclic) {
    indexColumns(dirty);
    // Nodes: the dirty vertices in their order, then one per distinct
    // multi-cell area they read. A vertex's node is kept in the calculator's
    // scratch table, so that a pass costs what it computes, not what the graph holds.
    const auto vertexNodes = uint32_t(dirty.size());
    std::vector<uint32_t>& nodeOf = calc_.nodeOfVertex_;
    if (nodeOf.size() < calc_.vertices_.size()) nodeOf.resize(calc_.vertices_.size());
    for (uint32_t node = 0; node < vertexNodes; ++node) nodeOf[dirty[node]] = node;
    std::unordered_map<uint64_t, uint32_t> areaNodes;
    std::vector<Area> areaList;
    for (const uint32_t id : dirty) {
        for (const Area& a : references(id)) {
            if (!isSingleCell(a) && areaNodes.try_emplace(areaKey(a), vertexNodes + uint32_t(areaList.size())).second) areaList.push_back(a);
        }
    }
    std::unordered_set<uint64_t> areaSet;
    for (const auto& [key, node] : areaNodes) areaSet.insert(key);
    // Edges collected first, then laid out by their source (one allocation, not one per node).
    const size_t nodeCount = vertexNodes + areaList.size();
    std::vector<std::pair<uint32_t, uint32_t>> edges;
    std::vector<uint32_t> waiting(nodeCount, 0);
    auto edge = [&](uint32_t from, uint32_t to) {
        edges.emplace_back(from, to);
        ++waiting[to];
    };
    std::vector<uint32_t> precedents;
    for (size_t i = 0; i < areaList.size(); ++i) {
        precedents.clear();
        areaPrecedents(areaList[i], areaSet, precedents);
        Area shorter = areaList[i];
        --shorter.row2;
        if (shorter.row2 >= shorter.row1 && areaSet.contains(areaKey(shorter))) edge(areaNodes[areaKey(shorter)], vertexNodes + uint32_t(i));
        for (const uint32_t p : precedents) edge(nodeOf[p], vertexNodes + uint32_t(i));
    }
    for (uint32_t node = 0; node < vertexNodes; ++node) {
        for (const Area& a : references(dirty[node])) {
            if (!isSingleCell(a)) {
                edge(areaNodes[areaKey(a)], node);
            } else if (const auto p = vertexAt(a.sheet, a.row1, a.column1); p && calc_.vertices_[*p].state == State::Dirty) {
                edge(nodeOf[*p], node);
            }
        }
    }
    std::vector<uint32_t> firstSuccessor(nodeCount + 1, 0), successors(edges.size());
    for (const auto& [from, to] : edges) ++firstSuccessor[from + 1];
    for (size_t n = 0; n < nodeCount; ++n) firstSuccessor[n + 1] += firstSuccessor[n];
    {
        std::vector<uint32_t> fill(firstSuccessor.begin(), firstSuccessor.end() - 1);
        for (const auto& [from, to] : edges) successors[fill[from]++] = to;
    }
    std::vector<uint32_t> ready, result;
    for (uint32_t node = 0; node < nodeCount; ++node) {
        if (waiting[node] == 0) ready.push_back(node);
    }
    while (!ready.empty()) {
        const uint32_t node = ready.back();
        ready.pop_back();
        if (node < vertexNodes) result.push_back(dirty[node]);
        for (uint32_t e = firstSuccessor[node]; e < firstSuccessor[node + 1]; ++e) {
            if (--waiting[successors[e]] == 0) ready.push_back(successors[e]);
        }
    }
    for (uint32_t node = 0; node < vertexNodes; ++node) {
        if (waiting[node] != 0) cyclic.push_back(dirty[node]);
    }
    return result;
}

}  // namespace kbx::formula
