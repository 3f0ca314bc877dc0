#include "formula/evaluator.h"

#include <algorithm>
#include <cmath>

#include "formula/functions.h"
#include "value/cell_reference.h"

namespace kbx::formula {

namespace {

using Stack = std::vector<Value>;

Value numberResult(double n) { return std::isfinite(n) ? Value(n) : Value(ErrorCode::Num); }

Value arithmetic(Op op, const Value& lhs, const Value& rhs) {
    const auto a = toNumber(lhs);
    if (const ErrorCode* e = std::get_if<ErrorCode>(&a)) return *e;
    const auto b = toNumber(rhs);
    if (const ErrorCode* e = std::get_if<ErrorCode>(&b)) return *e;
    const double x = std::get<double>(a), y = std::get<double>(b);
    switch (op) {
        // A sum that cancels but for rounding noise is 0 (0.5 - 0.4 - 0.1).
        case Op::Add: return numberResult(nearlyEqual(x, -y) ? 0.0 : x + y);
        case Op::Subtract: return numberResult(nearlyEqual(x, y) ? 0.0 : x - y);
        case Op::Multiply: return numberResult(x * y);
        case Op::Divide: return y == 0 ? Value(ErrorCode::Div0) : numberResult(x / y);
        default: break;
    }
    if (x == 0 && y == 0) return ErrorCode::Num;
    if (x == 0 && y < 0) return ErrorCode::Div0;
    return numberResult(std::pow(x, y));
}

Value comparison(Op op, const Value& lhs, const Value& rhs) {
    if (lhs.isError()) return lhs;
    if (rhs.isError()) return rhs;
    const int c = compareValues(lhs, rhs);
    switch (op) {
        case Op::Equal: return c == 0;
        case Op::NotEqual: return c != 0;
        case Op::Less: return c < 0;
        case Op::LessEqual: return c <= 0;
        case Op::Greater: return c > 0;
        default: return c >= 0;
    }
}

Value concatenation(const Value& lhs, const Value& rhs) {
    auto a = toText(lhs);
    if (const ErrorCode* e = std::get_if<ErrorCode>(&a)) return *e;
    const auto b = toText(rhs);
    if (const ErrorCode* e = std::get_if<ErrorCode>(&b)) return *e;
    std::string& text = std::get<std::string>(a);
    if (text.size() + std::get<std::string>(b).size() > 32767) return ErrorCode::Value;
    return text + std::get<std::string>(b);
}

Value scalarBinary(Op op, const Value& a, const Value& b) {
    if (op == Op::Concat) return concatenation(a, b);
    if (op >= Op::Equal && op <= Op::GreaterEqual) return comparison(op, a, b);
    return arithmetic(op, a, b);
}

Value scalarUnary(Op op, const Value& a) {
    if (op == Op::Plus) return a;
    const auto n = toNumber(a);
    if (const ErrorCode* e = std::get_if<ErrorCode>(&n)) return *e;
    return op == Op::Negate ? -std::get<double>(n) : std::get<double>(n) / 100;
}

// An element of an array broadcast to a larger shape: a single row or column
// repeats, anything else past the array's edge is #N/A.
const Value& broadcastAt(const Array& array, int32_t row, int32_t column) {
    static const Value kNA(ErrorCode::NA);
    const int32_t r = array.rows == 1 ? 0 : row;
    const int32_t c = array.columns == 1 ? 0 : column;
    if (r >= array.rows || c >= array.columns) return kNA;
    return array.at(r, c);
}

template <typename Each>
Value elementwise(const std::vector<std::shared_ptr<const Array>>& arrays, Each each) {
    int32_t rows = 1, columns = 1;
    for (const auto& a : arrays) {
        rows = std::max(rows, a->rows);
        columns = std::max(columns, a->columns);
    }
    if (int64_t(rows) * columns > kMaxRows) throw NotComputed{"an array larger than one whole column"};
    std::vector<Value> cells;
    cells.reserve(size_t(rows) * size_t(columns));
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < columns; ++c) cells.push_back(each(r, c));
    }
    return makeArray(rows, columns, std::move(cells));
}

Value referenceOperator(Op op, const Value& lhs, const Value& rhs) {
    if (lhs.isError()) return lhs;
    if (rhs.isError()) return rhs;
    if (!lhs.isReference() || !rhs.isReference()) return ErrorCode::Value;
    Reference result;
    if (op == Op::Union) {
        result = lhs.reference();
        result.insert(result.end(), rhs.reference().begin(), rhs.reference().end());
        return result;
    }
    for (const Area& a : lhs.reference()) {
        for (const Area& b : rhs.reference()) {
            if (a.sheet != b.sheet) return op == Op::Range ? Value(ErrorCode::Value) : Value(ErrorCode::Null);
            Area r{a.sheet, 0, 0, 0, 0};
            if (op == Op::Range) {
                r = {a.sheet, std::min(a.row1, b.row1), std::min(a.column1, b.column1), std::max(a.row2, b.row2),
                     std::max(a.column2, b.column2)};
            } else {
                r = {a.sheet, std::max(a.row1, b.row1), std::max(a.column1, b.column1), std::min(a.row2, b.row2),
                     std::min(a.column2, b.column2)};
                if (r.row1 > r.row2 || r.column1 > r.column2) continue;
            }
            result.push_back(r);
        }
    }
    if (result.empty()) return ErrorCode::Null;
    return result;
}

Value binary(Context& context, Op op, const Value& lhs, const Value& rhs, bool arrayMode) {
    if (op == Op::Range || op == Op::Union || op == Op::Intersect) return referenceOperator(op, lhs, rhs);
    const bool lifted = arrayMode && (lhs.isReference() || lhs.isArray() || rhs.isReference() || rhs.isArray());
    if (!lifted) return scalarBinary(op, scalarOf(context, lhs), scalarOf(context, rhs));
    const auto a = arrayOf(context, lhs);
    const auto b = arrayOf(context, rhs);
    return elementwise({a, b}, [&](int32_t r, int32_t c) { return scalarBinary(op, broadcastAt(*a, r, c), broadcastAt(*b, r, c)); });
}

Value unary(Context& context, Op op, const Value& operand, bool arrayMode) {
    if (!(arrayMode && (operand.isReference() || operand.isArray()))) return scalarUnary(op, scalarOf(context, operand));
    const auto a = arrayOf(context, operand);
    return elementwise({a}, [&](int32_t r, int32_t c) { return scalarUnary(op, a->at(r, c)); });
}

Value invoke(Context& context, const FunctionInfo& info, Arguments& args) {
    try {
        return info.impl(context, args);
    } catch (const ErrorResult& error) {
        return error.code;
    }
}

char paramKind(const FunctionInfo& info, size_t index) {
    const std::string_view params = info.params;
    return params[std::min(index, params.size() - 1)];
}

// A function call: single-value parameters meet ranges at the formula's cell,
// or, evaluated as arrays, run once per element.
Value call(Context& context, const FunctionInfo& info, Arguments& args, bool arrayMode) {
    std::vector<size_t> lifted;
    for (size_t i = 0; i < args.size(); ++i) {
        if (paramKind(info, i) != 'V') continue;
        if (arrayMode && (args[i].isReference() || args[i].isArray())) lifted.push_back(i);
        else args[i] = scalarOf(context, args[i]);
    }
    if (lifted.empty()) return invoke(context, info, args);
    std::vector<std::shared_ptr<const Array>> arrays;
    for (size_t i : lifted) arrays.push_back(arrayOf(context, args[i]));
    return elementwise(arrays, [&](int32_t r, int32_t c) {
        Arguments each = args;
        for (size_t k = 0; k < lifted.size(); ++k) each[lifted[k]] = broadcastAt(*arrays[k], r, c);
        return scalarOf(context, invoke(context, info, each));
    });
}

int32_t boundPosition(const Bound& bound, int32_t origin) {
    return bound.relative ? origin + bound.position : bound.position;
}

Value definedName(const Formula& formula, int32_t index, Context& context) {
    const std::shared_ptr<const Formula> name = context.definedName(formula.texts[size_t(index)], context.sheet);
    if (!name) return ErrorCode::Name;
    if (context.nameDepth >= 16) throw NotComputed{"defined names nested too deeply"};
    ++context.nameDepth;
    Value result;
    try {
        result = evaluateRaw(*name, context);
    } catch (...) {
        --context.nameDepth;
        throw;
    }
    --context.nameDepth;
    return result;
}

}  // namespace

Value resolveReference(const Formula& formula, const ReferenceOperand& operand, Context& context) {
    if (operand.invalid) return ErrorCode::Ref;
    int32_t sheet = context.sheet;
    if (operand.sheet >= 0) {
        const auto found = context.sheetIndex(formula.sheetNames[size_t(operand.sheet)]);
        if (!found) return ErrorCode::Ref;
        sheet = *found;
    }
    Area area{sheet, boundPosition(operand.row1, context.row), boundPosition(operand.column1, context.column),
              boundPosition(operand.row2, context.row), boundPosition(operand.column2, context.column)};
    if (area.row1 > area.row2) std::swap(area.row1, area.row2);
    if (area.column1 > area.column2) std::swap(area.column1, area.column2);
    if (area.row1 < 1 || area.row2 > kMaxRows || area.column1 < 1 || area.column2 > kMaxColumns) return ErrorCode::Ref;
    return Reference{area};
}

Value evaluateRaw(const Formula& formula, Context& context) {
    Stack stack;
    Arguments args;
    const auto& code = formula.code;
    for (size_t pc = 0; pc < code.size(); ++pc) {
        const Instruction& in = code[pc];
        switch (in.op) {
            case Op::Number: stack.emplace_back(in.number); break;
            case Op::Text: stack.emplace_back(formula.texts[size_t(in.index)]); break;
            case Op::Boolean: stack.emplace_back(in.number != 0); break;
            case Op::Error: stack.emplace_back(static_cast<ErrorCode>(in.index)); break;
            case Op::Missing: stack.emplace_back(); break;
            case Op::Reference: stack.push_back(resolveReference(formula, formula.references[size_t(in.index)], context)); break;
            case Op::ArrayConstant: stack.emplace_back(formula.arrays[size_t(in.index)]); break;
            case Op::Name: stack.push_back(definedName(formula, in.index, context)); break;
            case Op::Negate:
            case Op::Plus:
            case Op::Percent: stack.back() = unary(context, in.op, stack.back(), in.arrayMode); break;
            case Op::Call: {
                args.assign(std::make_move_iterator(stack.end() - in.count), std::make_move_iterator(stack.end()));
                stack.resize(stack.size() - in.count);
                stack.push_back(call(context, functionAt(in.index), args, in.arrayMode));
                break;
            }
            case Op::JumpIfFalse: {
                const Value condition = scalarOf(context, stack.back());
                stack.pop_back();
                const auto b = toBoolean(condition);
                if (const ErrorCode* e = std::get_if<ErrorCode>(&b)) {
                    stack.emplace_back(*e);
                    pc = size_t(in.number) - 1;
                } else if (!std::get<bool>(b)) {
                    pc = size_t(in.index) - 1;
                }
                break;
            }
            case Op::Jump: pc = size_t(in.index) - 1; break;
            case Op::JumpUnlessError:
            case Op::JumpUnlessNA: {
                stack.back() = scalarOf(context, stack.back());
                const Value& v = stack.back();
                const bool caught = v.isError() && (in.op == Op::JumpUnlessError || v.error() == ErrorCode::NA);
                if (caught) stack.pop_back();
                else pc = size_t(in.index) - 1;
                break;
            }
            default: {
                Value rhs = std::move(stack.back());
                stack.pop_back();
                stack.back() = binary(context, in.op, stack.back(), rhs, in.arrayMode);
            }
        }
    }
    if (stack.size() != 1) throw NotComputed{"malformed formula"};
    return std::move(stack.back());
}

Value evaluate(const Formula& formula, Context& context) {
    Value result = evaluateRaw(formula, context);
    if (formula.arrayFormula) return result;
    result = scalarOf(context, result);
    if (result.isBlank()) return 0.0;
    return result;
}

}  // namespace kbx::formula
