// The functions that select cells by criteria: COUNTIF(S), SUMIF(S),
// AVERAGEIF(S), MINIFS, MAXIFS. Only existing cells are visited, so whole
// columns cost what they hold.

#include <algorithm>
#include <limits>
#include <set>

#include "formula/criteria.h"
#include "formula/functions.h"
#include "value/cell_reference.h"

namespace kbx::formula {

namespace {

struct Condition {
    Area area;
    Criterion criterion;
};

// The cells that meet every condition, each visited once as its offset
// (rows, columns) from the areas' top left corner.
class Selection {
public:
    Selection(Context& context, Arguments& a, size_t first) : context_(context) {
        if ((a.size() - first) % 2) fail(ErrorCode::Value);
        for (size_t i = first; i < a.size(); i += 2) {
            const Area& area = singleArea(a[i]);
            const Value criterion = scalarOf(context, a[i + 1]);
            conditions_.push_back({area, Criterion(criterion, context.date1904())});
            if (area.rows() != conditions_[0].area.rows() || area.columns() != conditions_[0].area.columns()) {
                fail(ErrorCode::Value);
            }
        }
    }
    const Area& shape() const { return conditions_[0].area; }

    bool holds(int64_t dr, int64_t dc, size_t skip) const {
        for (size_t i = 0; i < conditions_.size(); ++i) {
            if (i == skip) continue;
            const Area& a = conditions_[i].area;
            if (!conditions_[i].criterion.matches(viewOf(context_.cell(a.sheet, int32_t(a.row1 + dr), int32_t(a.column1 + dc))))) {
                return false;
            }
        }
        return true;
    }

    // Visits the matching offsets among the existing cells of `values` (or,
    // when a condition cannot meet an empty cell, of that condition's area).
    void forEachMatch(const Area& values, const std::function<void(int64_t, int64_t)>& visit) const {
        for (size_t i = 0; i < conditions_.size(); ++i) {
            if (conditions_[i].criterion.matchesBlank()) continue;
            const Area& driver = conditions_[i].area;
            context_.forEachCell(driver, [&](int32_t row, int32_t column, const CellView& cell) {
                const int64_t dr = row - driver.row1, dc = column - driver.column1;
                if (conditions_[i].criterion.matches(cell) && holds(dr, dc, i)) visit(dr, dc);
                return true;
            });
            return;
        }
        context_.forEachCell(values, [&](int32_t row, int32_t column, const CellView&) {
            const int64_t dr = row - values.row1, dc = column - values.column1;
            if (holds(dr, dc, conditions_.size())) visit(dr, dc);
            return true;
        });
    }

    double count() const {
        const Area& s = shape();
        bool blankMatches = true;
        for (const Condition& c : conditions_) blankMatches = blankMatches && c.criterion.matchesBlank();
        if (!blankMatches) {
            double n = 0;
            forEachMatch(s, [&](int64_t, int64_t) { ++n; });
            return n;
        }
        // Every empty position matches: count the existing ones that fail.
        std::set<std::pair<int64_t, int64_t>> filled;
        for (const Condition& c : conditions_) {
            context_.forEachCell(c.area, [&](int32_t row, int32_t column, const CellView&) {
                filled.emplace(row - c.area.row1, column - c.area.column1);
                return true;
            });
        }
        double failing = 0;
        for (const auto& [dr, dc] : filled) failing += holds(dr, dc, conditions_.size()) ? 0 : 1;
        return double(s.rows() * s.columns()) - failing;
    }

private:
    Context& context_;
    std::vector<Condition> conditions_;
};

// The area of values for SUMIF / AVERAGEIF: the given one's top left corner
// stretched to the criteria range's shape.
Area valueArea(const Arguments& a, size_t index, const Area& shape) {
    if (index >= a.size() || a[index].isBlank()) return shape;
    Area area = singleArea(a[index]);
    area.row2 = int32_t(std::min<int64_t>(area.row1 + shape.rows() - 1, kMaxRows));
    area.column2 = int32_t(area.column1 + shape.columns() - 1);
    return area;
}

std::vector<double> matchingNumbers(Context& c, const Selection& selection, const Area& values) {
    std::vector<double> numbers;
    selection.forEachMatch(values, [&](int64_t dr, int64_t dc) {
        const Value v = c.cell(values.sheet, int32_t(values.row1 + dr), int32_t(values.column1 + dc));
        if (v.isError()) fail(v.error());
        if (v.isNumber()) numbers.push_back(v.number());
    });
    return numbers;
}

enum class Aggregate { Sum, Average, Min, Max };

Value aggregate(const std::vector<double>& numbers, Aggregate kind) {
    if (kind == Aggregate::Average && numbers.empty()) return ErrorCode::Div0;
    if (numbers.empty()) return 0.0;
    if (kind == Aggregate::Min) return *std::min_element(numbers.begin(), numbers.end());
    if (kind == Aggregate::Max) return *std::max_element(numbers.begin(), numbers.end());
    double total = 0;
    for (const double n : numbers) total += n;
    return kind == Aggregate::Sum ? total : total / double(numbers.size());
}

Value countIf(Context& c, Arguments& a) { return Selection(c, a, 0).count(); }

// SUMIF(range, criterion, [sum range]) and AVERAGEIF alike.
Value singleIf(Context& c, Arguments& a, Aggregate kind) {
    Arguments pair{a[0], a[1]};
    const Selection selection(c, pair, 0);
    return aggregate(matchingNumbers(c, selection, valueArea(a, 2, selection.shape())), kind);
}
Value sumIf(Context& c, Arguments& a) { return singleIf(c, a, Aggregate::Sum); }
Value averageIf(Context& c, Arguments& a) { return singleIf(c, a, Aggregate::Average); }

// SUMIFS(values, range1, criterion1, …) and its relatives.
Value multipleIf(Context& c, Arguments& a, Aggregate kind) {
    const Selection selection(c, a, 1);
    const Area& values = singleArea(a[0]);
    if (values.rows() != selection.shape().rows() || values.columns() != selection.shape().columns()) return ErrorCode::Value;
    return aggregate(matchingNumbers(c, selection, values), kind);
}
Value sumIfs(Context& c, Arguments& a) { return multipleIf(c, a, Aggregate::Sum); }
Value averageIfs(Context& c, Arguments& a) { return multipleIf(c, a, Aggregate::Average); }
Value minIfs(Context& c, Arguments& a) { return multipleIf(c, a, Aggregate::Min); }
Value maxIfs(Context& c, Arguments& a) { return multipleIf(c, a, Aggregate::Max); }

const FunctionInfo kFunctions[] = {
    {"COUNTIF", 2, 2, "R", 0, countIf},
    {"COUNTIFS", 2, 254, "R", 0, countIf},
    {"SUMIF", 2, 3, "R", 0, sumIf},
    {"SUMIFS", 3, 255, "R", 0, sumIfs},
    {"AVERAGEIF", 2, 3, "R", 0, averageIf},
    {"AVERAGEIFS", 3, 255, "R", 0, averageIfs},
    {"MINIFS", 3, 255, "R", 0, minIfs},
    {"MAXIFS", 3, 255, "R", 0, maxIfs},
};

}  // namespace

std::span<const FunctionInfo> criteriaFunctions() { return kFunctions; }

}  // namespace kbx::formula
