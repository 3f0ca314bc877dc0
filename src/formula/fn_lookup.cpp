// Lookup functions: VLOOKUP, HLOOKUP, LOOKUP, MATCH, XLOOKUP, XMATCH, INDEX.

#include <cmath>

#include "formula/functions.h"
#include "formula/text_support.h"
#include "value/text_case.h"

namespace kbx::formula {

namespace {

// A row or column of a reference or array, read by position.
class Line {
public:
    Line(Context& context, const Value& source, bool vertical, int64_t offset) : context_(context), vertical_(vertical) {
        if (source.isReference()) {
            area_ = singleArea(source);
            size_ = vertical ? area_.rows() : area_.columns();
            if (offset >= (vertical ? area_.columns() : area_.rows())) fail(ErrorCode::Ref);
            if (vertical) area_.column1 = area_.column2 = int32_t(area_.column1 + offset);
            else area_.row1 = area_.row2 = int32_t(area_.row1 + offset);
        } else {
            array_ = arrayOf(context, source);
            size_ = vertical ? array_->rows : array_->columns;
            if (offset >= (vertical ? array_->columns : array_->rows)) fail(ErrorCode::Ref);
            offset_ = int32_t(offset);
        }
    }
    int64_t size() const { return size_; }
    // The index of a line of cells for exact lookups, if the context has one.
    const LookupIndex* index() const { return array_ ? nullptr : context_.lookupIndex(area_); }
    Value at(int64_t i) const {
        if (array_) return vertical_ ? array_->at(int32_t(i), offset_) : array_->at(offset_, int32_t(i));
        return vertical_ ? context_.cell(area_.sheet, int32_t(area_.row1 + i), area_.column1)
                         : context_.cell(area_.sheet, area_.row1, int32_t(area_.column1 + i));
    }
    // Positions of the existing cells in order (all positions for arrays).
    void forEach(const std::function<bool(int64_t, const Value&)>& visit) const {
        if (array_) {
            for (int64_t i = 0; i < size_; ++i) {
                if (!visit(i, at(i))) return;
            }
            return;
        }
        context_.forEachCell(area_, [&](int32_t row, int32_t column, const CellView& cell) {
            return visit(vertical_ ? row - area_.row1 : column - area_.column1, toValue(cell));
        });
    }

private:
    Context& context_;
    bool vertical_;
    Area area_;
    std::shared_ptr<const Array> array_;
    int32_t offset_ = 0;
    int64_t size_ = 0;
};

bool sameValue(const Value& want, const Value& have, bool wildcards) {
    if (want.isText() && have.isText()) {
        if (wildcards && hasWildcards(want.text())) return wildcardMatch(want.text(), have.text());
        return compareTextIgnoringCase(want.text(), have.text()) == 0;
    }
    if (want.isNumber() && have.isNumber()) return want.number() == have.number();
    if (want.isBoolean() && have.isBoolean()) return want.boolean() == have.boolean();
    return false;
}

bool comparable(const Value& a, const Value& b) {
    return (a.isNumber() && b.isNumber()) || (a.isText() && b.isText()) || (a.isBoolean() && b.isBoolean());
}

int64_t indexedMatch(const LookupIndex& index, const Value& want) {
    if (want.isNumber()) {
        const auto found = index.numbers.find(want.number());
        return found == index.numbers.end() ? -1 : found->second;
    }
    if (want.isText()) {
        const auto found = index.texts.find(lowerCase(want.text()));
        return found == index.texts.end() ? -1 : found->second;
    }
    if (want.isBoolean()) return want.boolean() ? index.positionOfTrue : index.positionOfFalse;
    return -1;
}

// The first (or last) position holding the value; -1 when none does.
int64_t exactMatch(const Line& line, const Value& want, bool wildcards, bool last = false) {
    if (!last && !(wildcards && want.isText() && hasWildcards(want.text()))) {
        if (const LookupIndex* index = line.index()) return indexedMatch(*index, want);
    }
    int64_t found = -1;
    line.forEach([&](int64_t i, const Value& v) {
        if (!sameValue(want, v, wildcards)) return true;
        found = i;
        return last;
    });
    return found;
}

// Binary search of sorted data for the last position whose value is ≤ want
// (descending: ≥ want); values of another type are stepped over.
int64_t approximateMatch(const Line& line, const Value& want, bool descending) {
    int64_t low = 0, high = line.size() - 1, found = -1;
    while (low <= high) {
        int64_t mid = low + (high - low) / 2;
        Value v = line.at(mid);
        int64_t probe = mid;
        while (!comparable(want, v) && probe < high) v = line.at(++probe);
        if (!comparable(want, v)) {
            high = mid - 1;
            continue;
        }
        const int c = compareValues(v, want);
        if (descending ? c >= 0 : c <= 0) {
            found = probe;
            low = probe + 1;
        } else {
            high = mid - 1;
        }
    }
    return found;
}

Value tableLookup(Context& c, Arguments& a, bool vertical) {
    const Value& want = a[0];
    if (want.isError()) return want;
    const int64_t index = asInteger(a[2]);
    if (index < 1) return ErrorCode::Value;
    const bool approximate = a.size() < 4 || (!a[3].isBlank() && asBoolean(a[3]));
    const Line keys(c, a[1], vertical, 0);
    const int64_t found = approximate ? approximateMatch(keys, want, false) : exactMatch(keys, want, true);
    const Line values(c, a[1], vertical, index - 1);
    if (found < 0) return ErrorCode::NA;
    return values.at(found);
}
Value vlookup(Context& c, Arguments& a) { return tableLookup(c, a, true); }
Value hlookup(Context& c, Arguments& a) { return tableLookup(c, a, false); }

bool isVertical(Context& c, const Value& v) {
    if (v.isReference()) return singleArea(v).columns() == 1 || singleArea(v).rows() >= singleArea(v).columns();
    const auto array = arrayOf(c, v);
    return array->columns == 1 || array->rows >= array->columns;
}

Value lookup(Context& c, Arguments& a) {
    if (a[0].isError()) return a[0];
    const bool vertical = isVertical(c, a[1]);
    const Line keys(c, a[1], vertical, 0);
    const int64_t found = approximateMatch(keys, a[0], false);
    if (found < 0) return ErrorCode::NA;
    if (a.size() > 2) return Line(c, a[2], isVertical(c, a[2]), 0).at(found);
    int64_t across = 0;
    if (a[1].isReference()) {
        across = vertical ? singleArea(a[1]).columns() : singleArea(a[1]).rows();
    } else {
        const auto array = arrayOf(c, a[1]);
        across = vertical ? array->columns : array->rows;
    }
    return Line(c, a[1], vertical, across - 1).at(found);
}

Value match(Context& c, Arguments& a) {
    if (a[0].isError()) return a[0];
    const double type = a.size() > 2 && !a[2].isBlank() ? asNumber(a[2]) : 1;
    const bool vertical = isVertical(c, a[1]);
    const Line line(c, a[1], vertical, 0);
    const int64_t found = type == 0 ? exactMatch(line, a[0], true) : approximateMatch(line, a[0], type < 0);
    return found < 0 ? Value(ErrorCode::NA) : Value(double(found + 1));
}

// XMATCH's modes: 0 exact, -1 exact or next smaller, 1 exact or next larger,
// 2 wildcards; search 1 first to last, -1 last to first, ±2 binary.
int64_t extendedMatch(const Line& line, const Value& want, int64_t mode, int64_t search) {
    if (mode < -1 || mode > 2 || search == 0 || search < -2 || search > 2) fail(ErrorCode::Value);
    if (std::abs(search) == 2 && mode != 2) {
        const int64_t found = approximateMatch(line, want, search < 0);
        if (found >= 0 && sameValue(want, line.at(found), false)) return found;
        if (mode == 0) return -1;
    }
    const int64_t exact = exactMatch(line, want, mode == 2, search == -1);
    if (exact >= 0 || mode == 0 || mode == 2) return exact;
    int64_t best = -1;
    Value bestValue;
    line.forEach([&](int64_t i, const Value& v) {
        if (!comparable(want, v)) return true;
        const int c = compareValues(v, want);
        const bool side = mode < 0 ? c < 0 : c > 0;
        const bool better = best < 0 || (mode < 0 ? compareValues(v, bestValue) > 0 : compareValues(v, bestValue) < 0);
        if (side && better) {
            best = i;
            bestValue = v;
        }
        return true;
    });
    return best;
}

Value xmatch(Context& c, Arguments& a) {
    if (a[0].isError()) return a[0];
    const int64_t mode = a.size() > 2 && !a[2].isBlank() ? asInteger(a[2]) : 0;
    const int64_t search = a.size() > 3 && !a[3].isBlank() ? asInteger(a[3]) : 1;
    const int64_t found = extendedMatch(Line(c, a[1], isVertical(c, a[1]), 0), a[0], mode, search);
    return found < 0 ? Value(ErrorCode::NA) : Value(double(found + 1));
}

Value xlookup(Context& c, Arguments& a) {
    if (a[0].isError()) return a[0];
    const int64_t mode = a.size() > 4 && !a[4].isBlank() ? asInteger(a[4]) : 0;
    const int64_t search = a.size() > 5 && !a[5].isBlank() ? asInteger(a[5]) : 1;
    const bool vertical = isVertical(c, a[1]);
    const int64_t found = extendedMatch(Line(c, a[1], vertical, 0), a[0], mode, search);
    if (found < 0) return a.size() > 3 && !a[3].isBlank() ? scalarOf(c, a[3]) : Value(ErrorCode::NA);
    if (!a[2].isReference()) return Line(c, a[2], vertical, 0).at(found);
    Area area = singleArea(a[2]);
    if ((vertical ? area.rows() : area.columns()) != Line(c, a[1], vertical, 0).size()) return ErrorCode::Value;
    if (vertical) area.row1 = area.row2 = int32_t(area.row1 + found);
    else area.column1 = area.column2 = int32_t(area.column1 + found);
    return Reference{area};
}

Value index(Context& c, Arguments& a) {
    if (a[0].isError()) return a[0];
    int64_t row = a.size() > 1 && !a[1].isBlank() ? asInteger(a[1]) : 0;
    int64_t column = a.size() > 2 && !a[2].isBlank() ? asInteger(a[2]) : 0;
    const int64_t areaNumber = a.size() > 3 ? asInteger(a[3]) : 1;
    if (row < 0 || column < 0 || areaNumber < 1) return ErrorCode::Value;
    if (!a[0].isReference()) {
        const auto array = arrayOf(c, a[0]);
        if (array->rows == 1 && a.size() == 2) std::swap(row, column);
        if (row > array->rows || column > array->columns) return ErrorCode::Ref;
        if (row == 0 || column == 0) return ErrorCode::Value;
        return array->at(int32_t(row - 1), int32_t(column - 1));
    }
    if (size_t(areaNumber) > a[0].reference().size()) return ErrorCode::Ref;
    Area area = a[0].reference()[size_t(areaNumber - 1)];
    if (area.rows() == 1 && a.size() == 2) std::swap(row, column);
    if (row > area.rows() || column > area.columns()) return ErrorCode::Ref;
    if (row > 0) area.row1 = area.row2 = int32_t(area.row1 + row - 1);
    if (column > 0) area.column1 = area.column2 = int32_t(area.column1 + column - 1);
    return Reference{area};
}

const FunctionInfo kFunctions[] = {
    {"VLOOKUP", 3, 4, "VRV", 0, vlookup},
    {"HLOOKUP", 3, 4, "VRV", 0, hlookup},
    {"LOOKUP", 2, 3, "VR", 0, lookup},
    {"MATCH", 2, 3, "VRV", 0, match},
    {"XMATCH", 2, 4, "VRV", 0, xmatch},
    {"XLOOKUP", 3, 6, "VRRRV", 0, xlookup},
    {"INDEX", 2, 4, "RV", 0, index},
};

}  // namespace

std::span<const FunctionInfo> lookupFunctions() { return kFunctions; }

}  // namespace kbx::formula
