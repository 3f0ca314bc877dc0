#pragma once
// The nine methods of the interface as data: names, parameters in order, which
// are by reference, the result type. The bus service and the command line
// both dispatch through it, so a call means the same on both roads.

#include <optional>
#include <string>
#include <vector>

#include "automation/kest_db_bom_excel.h"
#include "value/variant.h"

namespace kbx::automation {

// Interface types: Variant "v", String "s", Long "i", Integer "n".
enum class ArgType { Variant, String, Long, Integer };

// The type's name as help texts and method lists show it ("Variant", "String", ...).
const char* typeName(ArgType type);

struct ParamSpec {
    std::string name;
    ArgType type;
    bool byRef = false;
};

struct MethodSpec {
    std::string name;
    std::vector<ParamSpec> params;
    std::optional<ArgType> result;  // none for ReleaseExcel
};

// The methods in the order of the interface.
const std::vector<MethodSpec>& methodTable();
// The method of that name (exact case), or null.
const MethodSpec* findMethod(const std::string& name);

struct CallOutcome {
    std::optional<Variant> result;
    // The by-reference parameters after the call, in parameter order.
    std::vector<Variant> byRefOutputs;
};

// Runs one method. `args` holds one Variant per parameter; each is converted
// to its parameter's type first (String, Long, Integer), raising 13 "Type
// mismatch" or 6 "Overflow" as an automation call would.
CallOutcome invokeMethod(KestDBBomExcel& object, const MethodSpec& method, const std::vector<Variant>& args);

// The conversions invokeMethod applies.
std::string toStringArg(const Variant& value);
int32_t toLongArg(const Variant& value);
int16_t toIntegerArg(const Variant& value);
// A value converted to the interface type (Variant stays as it is).
Variant coerce(const Variant& value, ArgType type);

}  // namespace kbx::automation
