// Logical and information functions: IF and its relatives, AND, OR, the IS…
// tests, TYPE, ERROR.TYPE, N, T.

#include <cmath>

#include "formula/functions.h"

namespace kbx::formula {

namespace {

// IF as a function, for arrays (elsewhere IF is compiled into jumps).
Value ifFunction(Context&, Arguments& a) {
    if (asBoolean(a[0])) return a[1];
    return a.size() > 2 ? a[2] : Value(false);
}

Value ifError(Context&, Arguments& a) { return a[0].isError() ? a[1] : a[0]; }
Value ifNA(Context&, Arguments& a) { return a[0].isError() && a[0].error() == ErrorCode::NA ? a[1] : a[0]; }

Value ifs(Context&, Arguments& a) {
    if (a.size() % 2) return ErrorCode::NA;
    for (size_t i = 0; i < a.size(); i += 2) {
        if (asBoolean(a[i])) return a[i + 1];
    }
    return ErrorCode::NA;
}

// AND, OR, XOR: typed values must be logical or numbers; in ranges only
// numbers and booleans count; nothing to test is #VALUE!.
Value logical(Context& c, Arguments& a, int kind) {
    bool any = false, all = true, odd = false, seen = false;
    for (const Value& argument : a) {
        forEachItem(c, argument, [&](const CellView& item, bool direct) {
            bool b = false;
            if (item.kind == CellView::Kind::Error) fail(item.error);
            if (item.kind == CellView::Kind::Number || item.kind == CellView::Kind::Boolean) b = item.number != 0;
            else if (direct && item.kind == CellView::Kind::Text) b = asBoolean(Value(std::string(item.text)));
            else if (!(direct && item.kind == CellView::Kind::Blank)) return;
            seen = true;
            any = any || b;
            all = all && b;
            odd = odd != b;
        });
    }
    if (!seen) return ErrorCode::Value;
    return kind == 0 ? all : kind == 1 ? any : odd;
}
Value andFn(Context& c, Arguments& a) { return logical(c, a, 0); }
Value orFn(Context& c, Arguments& a) { return logical(c, a, 1); }
Value xorFn(Context& c, Arguments& a) { return logical(c, a, 2); }
Value notFn(Context&, Arguments& a) { return !asBoolean(a[0]); }
Value trueFn(Context&, Arguments&) { return true; }
Value falseFn(Context&, Arguments&) { return false; }

Value switchFn(Context&, Arguments& a) {
    if (a[0].isError()) return a[0];
    size_t i = 1;
    for (; i + 1 < a.size(); i += 2) {
        if (a[i].isError()) return a[i];
        if (!a[0].isBlank() && compareValues(a[0], a[i]) == 0 && (a[0].isText() == a[i].isText())) return a[i + 1];
    }
    return i < a.size() ? a[i] : Value(ErrorCode::NA);
}

Value choose(Context&, Arguments& a) {
    const double index = std::trunc(asNumber(a[0]));
    if (index < 1 || index >= double(a.size())) return ErrorCode::Value;
    return a[size_t(index)];
}

Value isBlank(Context&, Arguments& a) { return a[0].isBlank(); }
Value isNumber(Context&, Arguments& a) { return a[0].isNumber(); }
Value isText(Context&, Arguments& a) { return a[0].isText(); }
Value isNonText(Context&, Arguments& a) { return !a[0].isText(); }
Value isLogical(Context&, Arguments& a) { return a[0].isBoolean(); }
Value isError(Context&, Arguments& a) { return a[0].isError(); }
Value isErr(Context&, Arguments& a) { return a[0].isError() && a[0].error() != ErrorCode::NA; }
Value isNA(Context&, Arguments& a) { return a[0].isError() && a[0].error() == ErrorCode::NA; }

Value parity(Arguments& a, bool even) {
    if (a[0].isBoolean()) return ErrorCode::Value;
    const double n = std::trunc(asNumber(a[0]));
    return (std::fmod(std::fabs(n), 2.0) == 0) == even;
}
Value isEven(Context&, Arguments& a) { return parity(a, true); }
Value isOdd(Context&, Arguments& a) { return parity(a, false); }

Value isFormula(Context& c, Arguments& a) {
    if (a[0].isError()) return a[0];
    const Area& area = singleArea(a[0]);
    return c.isFormula(area.sheet, area.row1, area.column1);
}

Value na(Context&, Arguments&) { return ErrorCode::NA; }

Value type(Context& c, Arguments& a) {
    Value v = a[0];
    if (v.isReference()) {
        const Reference& r = v.reference();
        if (r.size() != 1 || r[0].rows() * r[0].columns() != 1) return 16.0;
        v = scalarOf(c, v);
    }
    if (v.isNumber() || v.isBlank()) return 1.0;
    if (v.isText()) return 2.0;
    if (v.isBoolean()) return 4.0;
    if (v.isError()) return 16.0;
    return 64.0;
}

Value errorType(Context&, Arguments& a) {
    return a[0].isError() ? Value(double(static_cast<int>(a[0].error()))) : Value(ErrorCode::NA);
}

Value n(Context&, Arguments& a) {
    const Value& v = a[0];
    if (v.isNumber() || v.isError()) return v;
    if (v.isBoolean()) return v.boolean() ? 1.0 : 0.0;
    return 0.0;
}

Value t(Context&, Arguments& a) {
    const Value& v = a[0];
    if (v.isText() || v.isError()) return v;
    return std::string();
}

const FunctionInfo kFunctions[] = {
    {"IF", 2, 3, "V", 0, ifFunction},
    {"IFERROR", 2, 2, "V", 0, ifError},
    {"IFNA", 2, 2, "V", 0, ifNA},
    {"IFS", 2, 254, "V", 0, ifs},
    {"AND", 1, 255, "R", 0, andFn},
    {"OR", 1, 255, "R", 0, orFn},
    {"XOR", 1, 255, "R", 0, xorFn},
    {"NOT", 1, 1, "V", 0, notFn},
    {"TRUE", 0, 0, "V", 0, trueFn},
    {"FALSE", 0, 0, "V", 0, falseFn},
    {"SWITCH", 3, 254, "V", 0, switchFn},
    {"CHOOSE", 2, 255, "VR", 0, choose},
    {"ISBLANK", 1, 1, "V", 0, isBlank},
    {"ISNUMBER", 1, 1, "V", 0, isNumber},
    {"ISTEXT", 1, 1, "V", 0, isText},
    {"ISNONTEXT", 1, 1, "V", 0, isNonText},
    {"ISLOGICAL", 1, 1, "V", 0, isLogical},
    {"ISERROR", 1, 1, "V", 0, isError},
    {"ISERR", 1, 1, "V", 0, isErr},
    {"ISNA", 1, 1, "V", 0, isNA},
    {"ISEVEN", 1, 1, "V", 0, isEven},
    {"ISODD", 1, 1, "V", 0, isOdd},
    {"ISFORMULA", 1, 1, "R", 0, isFormula},
    {"NA", 0, 0, "V", 0, na},
    {"TYPE", 1, 1, "R", 0, type},
    {"ERROR.TYPE", 1, 1, "V", 0, errorType},
    {"N", 1, 1, "V", 0, n},
    {"T", 1, 1, "V", 0, t},
};

}  // namespace

std::span<const FunctionInfo> logicFunctions() { return kFunctions; }

}  // namespace kbx::formula
