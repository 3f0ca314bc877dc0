#include "formula/criteria.h"

#include "formula/text_support.h"

namespace kbx::formula {

Criterion::Criterion(const Value& criterion, bool date1904) {
    if (!criterion.isText()) {
        operand_ = criterion.isBlank() ? Value(0.0) : criterion;
        matchesBlank_ = false;
        return;
    }
    std::string_view text = criterion.text();
    bareEmpty_ = text.empty();
    static constexpr std::pair<std::string_view, Compare> kOperators[] = {
        {"<=", Compare::LessEqual}, {">=", Compare::GreaterEqual}, {"<>", Compare::NotEqual},
        {"<", Compare::Less},       {">", Compare::Greater},       {"=", Compare::Equal}};
    for (const auto& [prefix, compare] : kOperators) {
        if (text.starts_with(prefix)) {
            compare_ = compare;
            text.remove_prefix(prefix.size());
            break;
        }
    }
    emptyOperand_ = text.empty();
    if (const auto n = parseNumberText(text, date1904)) operand_ = *n;
    else if (const auto e = errorFromText(text)) operand_ = *e;
    else if (compareTextIgnoringCase(text, "TRUE") == 0) operand_ = true;
    else if (compareTextIgnoringCase(text, "FALSE") == 0) operand_ = false;
    else operand_ = std::string(text);
    wildcards_ = operand_.isText() && hasWildcards(operand_.text()) &&
                 (compare_ == Compare::Equal || compare_ == Compare::NotEqual);
    // "" and "=" find empty cells, "<>" and "<>x" everything else.
    matchesBlank_ = compare_ == Compare::NotEqual ? !emptyOperand_ : (emptyOperand_ && compare_ == Compare::Equal);
}

bool Criterion::orderResult(int c) const {
    switch (compare_) {
        case Compare::Equal: return c == 0;
        case Compare::NotEqual: return c != 0;
        case Compare::Less: return c < 0;
        case Compare::LessEqual: return c <= 0;
        case Compare::Greater: return c > 0;
        case Compare::GreaterEqual: return c >= 0;
    }
    return false;
}

bool Criterion::matches(const CellView& cell) const {
    if (cell.kind == CellView::Kind::Blank) return matchesBlank_;
    if (emptyOperand_) {
        // "=" finds only empty cells (and empty texts for ""), "<>" every non-empty one.
        const bool empty = cell.kind == CellView::Kind::Text && cell.text.empty();
        return compare_ == Compare::NotEqual ? !empty : empty && bareEmpty_;
    }
    const bool equality = compare_ == Compare::Equal || compare_ == Compare::NotEqual;
    bool sameType = false;
    int c = 0;
    if (operand_.isNumber() && cell.kind == CellView::Kind::Number) {
        sameType = true;
        c = cell.number < operand_.number() ? -1 : cell.number > operand_.number() ? 1 : 0;
    } else if (operand_.isText() && cell.kind == CellView::Kind::Text) {
        sameType = true;
        if (wildcards_) c = wildcardMatch(operand_.text(), cell.text) ? 0 : 1;
        else c = compareTextIgnoringCase(cell.text, operand_.text());
    } else if (operand_.isBoolean() && cell.kind == CellView::Kind::Boolean) {
        sameType = true;
        c = int(cell.number != 0) - int(operand_.boolean());
    } else if (operand_.isError() && cell.kind == CellView::Kind::Error) {
        sameType = true;
        c = cell.error == operand_.error() ? 0 : 1;
    }
    if (!sameType) return compare_ == Compare::NotEqual;
    if (!equality && wildcards_) return false;
    return orderResult(c);
}

}  // namespace kbx::formula
