#include "formula/calculator.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "formula/calculation_pass.h"
#include "formula/dates.h"
#include "formula/parser.h"

namespace kbx::formula {

namespace {

// The local time now as a serial of the date system.
double serialNow(bool date1904) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    const auto day = serialFromDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date1904);
    return day.value_or(0) + (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

}  // namespace

Calculator::Calculator(const Model& model) : model_(model), random_(std::random_device{}()) {}
Calculator::~Calculator() = default;

uint32_t Calculator::vertexFor(const CellAddress& cell) {
    const uint64_t key = cellKey(cell.sheet, cell.row, cell.column);
    const auto found = byCell_.find(key);
    if (found != byCell_.end()) {
        removeFormula(cell);
    }
    uint32_t id = 0;
    if (!freeVertices_.empty()) {
        id = freeVertices_.back();
        freeVertices_.pop_back();
        vertices_[id] = Vertex{};
    } else {
        id = uint32_t(vertices_.size());
        vertices_.emplace_back();
    }
    vertices_[id].cell = cell;
    byCell_[key] = id;
    changed_.push_back(key);
    if (listeners_) unindexed_.push_back(id);
    return id;
}

std::shared_ptr<const Formula> Calculator::intern(std::shared_ptr<const Formula> formula) {
    const std::string key = formulaKey(*formula);
    auto& slot = shapes_[key];
    if (auto shared = slot.lock()) return shared;
    slot = formula;
    return formula;
}

std::variant<std::shared_ptr<const Formula>, std::string> Calculator::parsed(std::string_view text, const CellAddress& origin,
                                                                             bool array, bool shared) {
    const auto parse = [&]() -> std::variant<std::shared_ptr<const Formula>, std::string> {
        auto result = parseFormula(text, origin.row, origin.column, array);
        if (auto* failure = std::get_if<ParseFailure>(&result)) return failure->reason;
        return intern(std::move(std::get<std::shared_ptr<const Formula>>(result)));
    };
    // Only the cells of a shared formula name a text written for another cell.
    if (!shared) return parse();
    std::string key = std::to_string(origin.row) + ',' + std::to_string(origin.column) + ',';
    key += text;
    if (const auto found = recentTexts_.find(key); found != recentTexts_.end()) return found->second;
    auto result = parse();
    if (auto* failure = std::get_if<std::string>(&result)) return *failure;
    auto formula = std::get<std::shared_ptr<const Formula>>(result);
    if (recentTexts_.size() >= 4096) recentTexts_.clear();
    recentTexts_.emplace(std::move(key), formula);
    return formula;
}

void Calculator::setFormula(const CellAddress& cell, std::string_view text, std::optional<CellAddress> writtenAt) {
    const uint32_t id = vertexFor(cell);
    auto result = parsed(text, writtenAt.value_or(cell), false, writtenAt.has_value());
    if (auto* formula = std::get_if<std::shared_ptr<const Formula>>(&result)) vertices_[id].formula = std::move(*formula);
    else vertices_[id].reason = std::get<std::string>(result);
    if (vertices_[id].formula && vertices_[id].formula->isVolatile) volatile_.push_back(id);
}

void Calculator::setArrayFormula(const CellAddress& topLeft, int32_t rows, int32_t columns, std::string_view text) {
    const uint32_t id = vertexFor(topLeft);
    Vertex& v = vertices_[id];
    v.rows = std::max(rows, 1);
    v.columns = std::max(columns, 1);
    auto result = parsed(text, topLeft, true, false);
    if (auto* formula = std::get_if<std::shared_ptr<const Formula>>(&result)) v.formula = std::move(*formula);
    else v.reason = std::get<std::string>(result);
    if (v.formula && v.formula->isVolatile) volatile_.push_back(id);
    if (int64_t(v.rows) * v.columns > 1'000'000) {
        v.formula.reset();
        v.reason = "array formula over more than 1,000,000 cells";
        v.rows = v.columns = 1;
    }
    for (int32_t r = 0; r < v.rows; ++r) {
        for (int32_t c = 0; c < v.columns; ++c) {
            if (r || c) arrayCells_[cellKey(topLeft.sheet, topLeft.row + r, topLeft.column + c)] = id;
        }
    }
}

void Calculator::removeFormula(const CellAddress& cell) {
    const uint64_t key = cellKey(cell.sheet, cell.row, cell.column);
    const auto found = byCell_.find(key);
    if (found == byCell_.end()) return;
    const uint32_t id = found->second;
    Vertex& v = vertices_[id];
    for (int32_t r = 0; r < v.rows; ++r) {
        for (int32_t c = 0; c < v.columns; ++c) {
            if (r || c) arrayCells_.erase(cellKey(cell.sheet, cell.row + r, cell.column + c));
        }
    }
    v = Vertex{};
    v.state = Vertex::State::Free;
    byCell_.erase(found);
    freeVertices_.push_back(id);
    changed_.push_back(key);
}

void Calculator::clear() {
    vertices_.clear();
    freeVertices_.clear();
    byCell_.clear();
    arrayCells_.clear();
    recentTexts_.clear();
    changed_.clear();
    allDirty_ = true;
    listeners_.reset();
    unindexed_.clear();
    volatile_.clear();
}

void Calculator::cellChanged(const CellAddress& cell) { changed_.push_back(cellKey(cell.sheet, cell.row, cell.column)); }

void Calculator::markAllDirty() {
    allDirty_ = true;
    listeners_.reset();
    unindexed_.clear();
}

void Calculator::recalculate(Sink& sink, std::optional<int32_t> volatileSheet) {
    Pass pass(*this, serialNow(model_.date1904()));
    const std::vector<uint32_t> dirty = pass.dirtyVertices(allDirty_, volatileSheet);
    for (const uint32_t id : dirty) vertices_[id].waiting = false;
    allDirty_ = false;
    changed_.clear();
    std::vector<uint32_t> cyclic;
    const std::vector<uint32_t> order = pass.order(dirty, cyclic);
    std::vector<uint32_t> work(order.rbegin(), order.rend());
    size_t deferrals = 0;
    while (!work.empty()) {
        const uint32_t id = work.back();
        if (vertices_[id].state != Vertex::State::Dirty) {
            work.pop_back();
            continue;
        }
        try {
            pass.compute(id, &sink);
            work.pop_back();
        } catch (const NeedFirst& need) {
            // A reference found only while computing (INDIRECT, OFFSET): that
            // cell first, unless it waits for this one.
            if (vertices_[need.vertex].waiting || ++deferrals > 4 * vertices_.size() + 16) {
                vertices_[id].state = Vertex::State::NotComputed;
                vertices_[id].reason = "the formula is part of a reference cycle";
                pass.report(id, sink);
                work.pop_back();
            } else {
                vertices_[id].waiting = true;
                work.push_back(need.vertex);
            }
        }
    }
    if (cyclic.empty()) return;
    std::sort(cyclic.begin(), cyclic.end(), [&](uint32_t a, uint32_t b) {
        const CellAddress &x = vertices_[a].cell, &y = vertices_[b].cell;
        return std::tie(x.sheet, x.row, x.column) < std::tie(y.sheet, y.row, y.column);
    });
    if (!iteration_.enabled) {
        for (const uint32_t id : cyclic) {
            vertices_[id].state = Vertex::State::NotComputed;
            vertices_[id].reason = "the formula is part of a reference cycle";
            pass.report(id, sink);
        }
        return;
    }
    iterate(pass, cyclic, sink);
}

// Iterative calculation: the cells of cycles are computed again and again,
// each reading the others' latest values, until no value changes by more than
// the maximum change or the maximum count is reached.
void Calculator::iterate(Pass& pass, const std::vector<uint32_t>& cyclic, Sink& sink) {
    pass.allowStale = true;
    for (const uint32_t id : cyclic) {
        const CellView stored = model_.cell(vertices_[id].cell.sheet, vertices_[id].cell.row, vertices_[id].cell.column);
        vertices_[id].value = stored.kind == CellView::Kind::Blank ? Value(0.0) : toValue(stored);
    }
    for (int round = 0; round < std::max(iteration_.maxCount, 1); ++round) {
        double change = 0;
        for (const uint32_t id : cyclic) {
            const Value before = vertices_[id].value;
            vertices_[id].state = Vertex::State::Dirty;
            pass.compute(id, nullptr);
            const Value& after = vertices_[id].value;
            if (before.isNumber() && after.isNumber()) change = std::max(change, std::fabs(after.number() - before.number()));
            else if (!(before == after)) change = std::max(change, iteration_.maxChange + 1);
        }
        if (change <= iteration_.maxChange) break;
    }
    pass.allowStale = false;
    for (const uint32_t id : cyclic) pass.report(id, sink);
}

}  // namespace kbx::formula
