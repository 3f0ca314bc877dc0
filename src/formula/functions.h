#pragma once
// The table of functions the formula layer computes and what the function
// families share: argument coercion, iteration over ranges, error results.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formula/context.h"
#include "formula/value.h"

namespace kbx::formula {

using Arguments = std::vector<Value>;
using FunctionImpl = Value (*)(Context&, Arguments&);

enum FunctionFlags : uint8_t {
    kVolatile = 1,   // computed on every calculation
    kArrayArgs = 2,  // its arguments are evaluated as arrays (SUMPRODUCT)
};

struct FunctionInfo {
    const char* name;
    uint8_t minArgs;
    uint8_t maxArgs;  // 255: any number
    // One letter per argument, the last one repeating: 'V' a single value
    // (a range meets the formula's row or column), 'R' a reference or array as given.
    const char* params;
    uint8_t flags;
    FunctionImpl impl;
};

// The function of an upper-case name ("_xlfn." already removed), or nullptr.
const FunctionInfo* findFunction(std::string_view name);
const FunctionInfo& functionAt(int32_t index);
int32_t functionIndex(const FunctionInfo& info);

// The families, each in its own file.
std::span<const FunctionInfo> mathFunctions();
std::span<const FunctionInfo> statisticsFunctions();
std::span<const FunctionInfo> textFunctions();
std::span<const FunctionInfo> dateFunctions();
std::span<const FunctionInfo> lookupFunctions();
std::span<const FunctionInfo> referenceFunctions();
std::span<const FunctionInfo> logicFunctions();
std::span<const FunctionInfo> criteriaFunctions();

// Thrown by the helpers below to make the function's result an error.
struct ErrorResult {
    ErrorCode code;
};
[[noreturn]] void fail(ErrorCode code);

// Coercions of a single value; an error value or a failed conversion throws ErrorResult.
double asNumber(const Value& value);
std::string asText(const Value& value);
bool asBoolean(const Value& value);
// A number truncated toward zero, failing with #NUM! outside ±2^31 … 2^53.
int64_t asInteger(const Value& value);

// A reference's single value as a formula in this cell sees it (implicit
// intersection); arrays give their first element; other values pass through.
Value scalarOf(Context& context, const Value& value);
// A reference (one area) or array as an array; a single value as 1×1.
std::shared_ptr<const Array> arrayOf(Context& context, const Value& value);
// The one area of a reference argument; #VALUE! for unions and non-references.
const Area& singleArea(const Value& value);

// Visits every value of an argument: the argument itself when direct
// (a typed value), or the cells of a reference (existing ones only) or the
// elements of an array. Texts are views valid during the visit.
using ItemVisitor = std::function<void(const CellView&, bool direct)>;
void forEachItem(Context& context, const Value& argument, const ItemVisitor& visit);

// The numbers of the arguments as SUM, AVERAGE, MIN … take them: typed values
// coerced (a non-numeric text is #VALUE!), in ranges numbers only; errors throw.
std::vector<double> collectNumbers(Context& context, std::span<const Value> arguments);


}  // namespace kbx::formula
