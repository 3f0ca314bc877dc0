#include "server/kest_db_bom_excel.h"

#include "server/excel_references.h"
#include "value/runtime_error.h"

namespace kbx {

namespace {

// A method whose subsystem is not built yet fails the call; never a silent success.
[[noreturn]] void notAvailableYet(const char* method) {
    raise(err::ActionNotSupported,
          standardErrorText(err::ActionNotSupported) + ": " + method + " is not available yet");
}

}  // namespace

void KestDBBomExcel::ReleaseExcel() {
    ExcelReferences& refs = excelReferences();
    if (refs.ExcelBook) refs.ExcelBook.reset();
    if (refs.ExcelApp) refs.ExcelApp.reset();
}

int32_t KestDBBomExcel::ExportBomExcel(const Variant&, const Variant&, int32_t, const Variant&, const Variant&,
                                       std::string&, int32_t, const std::string&, int32_t, const std::string&,
                                       int32_t, const std::string&, int32_t, const std::string&) {
    notAvailableYet("ExportBomExcel");
}

int32_t KestDBBomExcel::GetBomParams(const std::string&, Variant&, int32_t&, int32_t&, std::string&, std::string&) {
    notAvailableYet("GetBomParams");
}

int16_t KestDBBomExcel::ExportAsTxt(const std::string&, const std::string&) { notAvailableYet("ExportAsTxt"); }

int16_t KestDBBomExcel::ExportAsTxt2(const std::string&, const std::string&, const std::string&) {
    notAvailableYet("ExportAsTxt2");
}

Variant KestDBBomExcel::ExportPlain(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize,
                                    const Variant& PosNames, const Variant& PosVals, const std::string& TemplateFile,
                                    const std::string& ExcelFile, int32_t Language, int32_t Company,
                                    int32_t PosPerSheet, int32_t InsertEmptyRows) {
    ExportPlain2(HeadNames, HeadVals, RecordSize, PosNames, PosVals, TemplateFile, ExcelFile, Language, Company,
                 PosPerSheet, InsertEmptyRows, "");
    return Variant(int16_t{1});
}

Variant KestDBBomExcel::CreateSummaryExcel(const Variant&, const Variant&, const Variant&, int32_t,
                                           const std::string&, const std::string&, int32_t, int32_t, int32_t) {
    notAvailableYet("CreateSummaryExcel");
}

Variant KestDBBomExcel::CreateSummaryTemplate(const Variant&) { notAvailableYet("CreateSummaryTemplate"); }

Variant KestDBBomExcel::ExportPlain2(const Variant&, const Variant&, int32_t, const Variant&, const Variant&,
                                     const std::string&, const std::string&, int32_t, int32_t, int32_t, int32_t,
                                     const std::string&) {
    notAvailableYet("ExportPlain2");
}

}  // namespace kbx
