#include "automation/method_table.h"

#include <limits>

#include "value/runtime_error.h"

namespace kbx::automation {

namespace {

using enum ArgType;

ParamSpec in(const char* name, ArgType type) { return {name, type, false}; }
ParamSpec ref(const char* name, ArgType type) { return {name, type, true}; }

std::vector<ParamSpec> plainParams() {
    return {in("HeadNames", Variant), in("HeadVals", Variant),    in("RecordSize", Long),     in("PosNames", Variant),
            in("PosVals", Variant),   in("TemplateFile", String), in("ExcelFile", String),    in("Language", Long),
            in("Company", Long),      in("PosPerSheet", Long),    in("InsertEmptyRows", Long)};
}

std::vector<MethodSpec> buildTable() {
    std::vector<ParamSpec> plain2 = plainParams();
    plain2.push_back(in("TargetSheetName", String));
    return {
        {"ReleaseExcel", {}, std::nullopt},
        {"ExportBomExcel",
         {in("HeadNames", Variant), in("HeadVals", Variant), in("RecordSize", Long), in("PosNames", Variant),
          in("PosVals", Variant), ref("ExcelFileName", String), in("Language", Long), in("KestDBDir", String),
          in("EmBed", Long), in("Profile", String), in("reverse", Long), in("templte", String), in("Clos", Long),
          in("SheetName", String)},
         Long},
        {"GetBomParams",
         {in("KestDBDir", String), ref("Profiles", Variant), ref("reverse", Long), ref("EmBed", Long),
          ref("templte", String), ref("ExcelFileName", String)},
         Long},
        {"ExportAsTxt", {in("ExcelName", String), in("TxtName", String)}, Integer},
        {"ExportAsTxt2", {in("ExcelName", String), in("TxtName", String), in("SheetName", String)}, Integer},
        {"ExportPlain", plainParams(), Variant},
        {"CreateSummaryExcel",
         {in("PosNames", Variant), in("HeadNames", Variant), in("PosVals", Variant), in("RecordSize", Long),
          in("TemplateFile", String), in("ExcelFile", String), in("Language", Long), in("Company", Long),
          in("PosPerSheet", Long)},
         Variant},
        {"CreateSummaryTemplate", {in("Names", Variant)}, Variant},
        {"ExportPlain2", plain2, Variant},
    };
}

// Reads the converted arguments in order.
class Args {
public:
    explicit Args(const std::vector<kbx::Variant>& values) : values_(values) {}
    const kbx::Variant& v() { return values_.at(next_++); }
    std::string s() { return toStringArg(values_.at(next_++)); }
    int32_t l() { return toLongArg(values_.at(next_++)); }

private:
    const std::vector<kbx::Variant>& values_;
    std::size_t next_ = 0;
};

CallOutcome callExportBomExcel(KestDBBomExcel& object, Args a) {
    const kbx::Variant& headNames = a.v();
    const kbx::Variant& headVals = a.v();
    const int32_t recordSize = a.l();
    const kbx::Variant& posNames = a.v();
    const kbx::Variant& posVals = a.v();
    std::string excelFileName = a.s();
    const int32_t language = a.l();
    const std::string kestDbDir = a.s();
    const int32_t embed = a.l();
    const std::string profile = a.s();
    const int32_t reverse = a.l();
    const std::string templte = a.s();
    const int32_t clos = a.l();
    const std::string sheetName = a.s();
    const int32_t result =
        object.ExportBomExcel(headNames, headVals, recordSize, posNames, posVals, excelFileName, language, kestDbDir,
                              embed, profile, reverse, templte, clos, sheetName);
    return {kbx::Variant(result), {kbx::Variant(excelFileName)}};
}

CallOutcome callGetBomParams(KestDBBomExcel& object, Args a) {
    const std::string kestDbDir = a.s();
    kbx::Variant profiles = a.v();
    int32_t reverse = a.l();
    int32_t embed = a.l();
    std::string templte = a.s();
    std::string excelFileName = a.s();
    const int32_t result = object.GetBomParams(kestDbDir, profiles, reverse, embed, templte, excelFileName);
    return {kbx::Variant(result),
            {profiles, kbx::Variant(reverse), kbx::Variant(embed), kbx::Variant(templte), kbx::Variant(excelFileName)}};
}

CallOutcome callExportPlain(KestDBBomExcel& object, Args a, bool withTargetSheet) {
    const kbx::Variant& headNames = a.v();
    const kbx::Variant& headVals = a.v();
    const int32_t recordSize = a.l();
    const kbx::Variant& posNames = a.v();
    const kbx::Variant& posVals = a.v();
    const std::string templateFile = a.s();
    const std::string excelFile = a.s();
    const int32_t language = a.l();
    const int32_t company = a.l();
    const int32_t posPerSheet = a.l();
    const int32_t insertEmptyRows = a.l();
    if (!withTargetSheet)
        return {object.ExportPlain(headNames, headVals, recordSize, posNames, posVals, templateFile, excelFile,
                                   language, company, posPerSheet, insertEmptyRows),
                {}};
    const std::string target = a.s();
    return {object.ExportPlain2(headNames, headVals, recordSize, posNames, posVals, templateFile, excelFile, language,
                                company, posPerSheet, insertEmptyRows, target),
            {}};
}

CallOutcome callCreateSummaryExcel(KestDBBomExcel& object, Args a) {
    const kbx::Variant& posNames = a.v();
    const kbx::Variant& headNames = a.v();
    const kbx::Variant& posVals = a.v();
    const int32_t recordSize = a.l();
    const std::string templateFile = a.s();
    const std::string excelFile = a.s();
    const int32_t language = a.l();
    const int32_t company = a.l();
    const int32_t posPerSheet = a.l();
    return {object.CreateSummaryExcel(posNames, headNames, posVals, recordSize, templateFile, excelFile, language,
                                      company, posPerSheet),
            {}};
}

}  // namespace

const char* typeName(ArgType type) {
    switch (type) {
        case Variant:
            return "Variant";
        case String:
            return "String";
        case Long:
            return "Long";
        case Integer:
            return "Integer";
    }
    return "";
}

const std::vector<MethodSpec>& methodTable() {
    static const std::vector<MethodSpec> table = buildTable();
    return table;
}

const MethodSpec* findMethod(const std::string& name) {
    for (const MethodSpec& method : methodTable())
        if (method.name == name) return &method;
    return nullptr;
}

std::string toStringArg(const kbx::Variant& value) {
    if (value.isArray()) raise(err::TypeMismatch);
    return toText(value);
}

int32_t toLongArg(const kbx::Variant& value) {
    if (value.isArray()) raise(err::TypeMismatch);
    return toLong(value);
}

int16_t toIntegerArg(const kbx::Variant& value) {
    const int32_t number = toLongArg(value);
    if (number < std::numeric_limits<int16_t>::min() || number > std::numeric_limits<int16_t>::max())
        raise(err::Overflow);
    return static_cast<int16_t>(number);
}

kbx::Variant coerce(const kbx::Variant& value, ArgType type) {
    switch (type) {
        case String:
            return kbx::Variant(toStringArg(value));
        case Long:
            return kbx::Variant(toLongArg(value));
        case Integer:
            return kbx::Variant(toIntegerArg(value));
        case Variant:
            break;
    }
    return value;
}

CallOutcome invokeMethod(KestDBBomExcel& object, const MethodSpec& method, const std::vector<kbx::Variant>& args) {
    if (args.size() != method.params.size()) raise(450, "Wrong number of arguments or invalid property assignment");
    const std::string& name = method.name;
    Args a(args);
    if (name == "ReleaseExcel") {
        object.ReleaseExcel();
        return {};
    }
    if (name == "ExportBomExcel") return callExportBomExcel(object, a);
    if (name == "GetBomParams") return callGetBomParams(object, a);
    if (name == "ExportAsTxt") {
        const std::string excelName = a.s();
        const std::string txtName = a.s();
        return {kbx::Variant(object.ExportAsTxt(excelName, txtName)), {}};
    }
    if (name == "ExportAsTxt2") {
        const std::string excelName = a.s();
        const std::string txtName = a.s();
        const std::string sheetName = a.s();
        return {kbx::Variant(object.ExportAsTxt2(excelName, txtName, sheetName)), {}};
    }
    if (name == "ExportPlain") return callExportPlain(object, a, false);
    if (name == "ExportPlain2") return callExportPlain(object, a, true);
    if (name == "CreateSummaryExcel") return callCreateSummaryExcel(object, a);
    if (name == "CreateSummaryTemplate") return {object.CreateSummaryTemplate(a.v()), {}};
    raise(err::MemberNotSupported);
}

}  // namespace kbx::automation
