#include "formula/functions.h"

#include <cmath>
#include <unordered_map>

#include "value/cell_reference.h"

namespace kbx::formula {

namespace {

struct Registry {
    std::vector<const FunctionInfo*> all;
    std::unordered_map<std::string_view, int32_t> byName;

    Registry() {
        for (auto family : {mathFunctions(), statisticsFunctions(), textFunctions(), dateFunctions(),
                            lookupFunctions(), referenceFunctions(), logicFunctions(), criteriaFunctions()}) {
            for (const FunctionInfo& info : family) {
                byName.emplace(info.name, static_cast<int32_t>(all.size()));
                all.push_back(&info);
            }
        }
    }
};

const Registry& registry() {
    static const Registry instance;
    return instance;
}

CellView itemOf(const Value& value) { return viewOf(value); }

}  // namespace

const FunctionInfo* findFunction(std::string_view name) {
    const Registry& r = registry();
    const auto found = r.byName.find(name);
    return found == r.byName.end() ? nullptr : r.all[size_t(found->second)];
}

const FunctionInfo& functionAt(int32_t index) { return *registry().all.at(size_t(index)); }

int32_t functionIndex(const FunctionInfo& info) { return registry().byName.at(info.name); }

void fail(ErrorCode code) { throw ErrorResult{code}; }

double asNumber(const Value& value) {
    const auto n = toNumber(value);
    if (const ErrorCode* e = std::get_if<ErrorCode>(&n)) fail(*e);
    return std::get<double>(n);
}

std::string asText(const Value& value) {
    auto t = toText(value);
    if (const ErrorCode* e = std::get_if<ErrorCode>(&t)) fail(*e);
    return std::move(std::get<std::string>(t));
}

bool asBoolean(const Value& value) {
    const auto b = toBoolean(value);
    if (const ErrorCode* e = std::get_if<ErrorCode>(&b)) fail(*e);
    return std::get<bool>(b);
}

int64_t asInteger(const Value& value) {
    const double n = std::trunc(asNumber(value));
    if (n < -2147483648.0 || n > 9007199254740992.0) fail(ErrorCode::Num);
    return static_cast<int64_t>(n);
}

const Area& singleArea(const Value& value) {
    if (!value.isReference() || value.reference().size() != 1) fail(ErrorCode::Value);
    return value.reference().front();
}

Value scalarOf(Context& context, const Value& value) {
    if (value.isArray()) {
        const Array& array = value.array();
        return array.cells.empty() ? Value(ErrorCode::Value) : array.cells.front();
    }
    if (!value.isReference()) return value;
    const Reference& reference = value.reference();
    if (reference.size() != 1) return ErrorCode::Value;
    const Area& a = reference.front();
    if (a.row1 == a.row2 && a.column1 == a.column2) return context.cell(a.sheet, a.row1, a.column1);
    // Implicit intersection: the cell of a one-column area in the formula's
    // row, or of a one-row area in its column.
    if (a.column1 == a.column2 && context.row >= a.row1 && context.row <= a.row2) {
        return context.cell(a.sheet, context.row, a.column1);
    }
    if (a.row1 == a.row2 && context.column >= a.column1 && context.column <= a.column2) {
        return context.cell(a.sheet, a.row1, context.column);
    }
    return ErrorCode::Value;
}

std::shared_ptr<const Array> arrayOf(Context& context, const Value& value) {
    if (value.isArray()) return value.arrayPointer();
    if (!value.isReference()) return makeArray(1, 1, {value});
    const Area& a = singleArea(value);
    if (a.rows() * a.columns() > kMaxRows) throw NotComputed{"an array larger than one whole column"};
    std::vector<Value> cells(size_t(a.rows() * a.columns()));
    const auto columns = a.columns();
    context.forEachCell(a, [&](int32_t row, int32_t column, const CellView& cell) {
        cells[size_t((row - a.row1) * columns + (column - a.column1))] = toValue(cell);
        return true;
    });
    return makeArray(int32_t(a.rows()), int32_t(a.columns()), std::move(cells));
}


void forEachItem(Context& context, const Value& argument, const ItemVisitor& visit) {
    if (argument.isReference()) {
        for (const Area& area : argument.reference()) {
            context.forEachCell(area, [&](int32_t, int32_t, const CellView& cell) {
                visit(cell, false);
                return true;
            });
        }
    } else if (argument.isArray()) {
        for (const Value& v : argument.array().cells) visit(itemOf(v), false);
    } else {
        visit(itemOf(argument), true);
    }
}

std::vector<double> collectNumbers(Context& context, std::span<const Value> arguments) {
    std::vector<double> numbers;
    for (const Value& argument : arguments) {
        forEachItem(context, argument, [&](const CellView& item, bool direct) {
            switch (item.kind) {
                case CellView::Kind::Number: numbers.push_back(item.number); break;
                case CellView::Kind::Error: fail(item.error);
                case CellView::Kind::Boolean:
                    if (direct) numbers.push_back(item.number);
                    break;
                case CellView::Kind::Text:
                    if (direct) numbers.push_back(asNumber(Value(std::string(item.text))));
                    break;
                case CellView::Kind::Blank: break;
            }
        });
    }
    return numbers;
}

}  // namespace kbx::formula
