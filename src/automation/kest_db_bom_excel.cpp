#include "automation/kest_db_bom_excel.h"

#include "copyexport/export_as_txt.h"
#include "dialog/get_bom_params.h"
#include "plainbom/export_plain.h"
#include "session/excel_references.h"
#include "summary/summary_list.h"
#include "templatefill/export_bom_excel.h"

namespace kbx::automation {

void KestDBBomExcel::ReleaseExcel() {
    session::ExcelReferences& refs = session::excelReferences();
    if (refs.ExcelBook) refs.ExcelBook.reset();
    if (refs.ExcelApp) refs.ExcelApp.reset();
}

int32_t KestDBBomExcel::ExportBomExcel(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize,
                                       const Variant& PosNames, const Variant& PosVals, std::string& ExcelFileName,
                                       int32_t Language, const std::string& KestDBDir, int32_t EmBed,
                                       const std::string& Profile, int32_t reverse, const std::string& templte,
                                       int32_t Clos, const std::string& SheetName) {
    return templatefill::ExportBomExcel(HeadNames, HeadVals, RecordSize, PosNames, PosVals, ExcelFileName, Language,
                                        KestDBDir, EmBed, Profile, reverse, templte, Clos, SheetName);
}

int32_t KestDBBomExcel::GetBomParams(const std::string& KestDBDir, Variant& Profiles, int32_t& reverse, int32_t& EmBed,
                                     std::string& templte, std::string& ExcelFileName) {
    return dialog::GetBomParams(KestDBDir, Profiles, reverse, EmBed, templte, ExcelFileName);
}

int16_t KestDBBomExcel::ExportAsTxt(const std::string& ExcelName, const std::string& TxtName) {
    return copyexport::ExportAsTxt(ExcelName, TxtName);
}

int16_t KestDBBomExcel::ExportAsTxt2(const std::string& ExcelName, const std::string& TxtName,
                                     const std::string& SheetName) {
    return copyexport::ExportAsTxt2(ExcelName, TxtName, SheetName);
}

Variant KestDBBomExcel::ExportPlain(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize,
                                    const Variant& PosNames, const Variant& PosVals, const std::string& TemplateFile,
                                    const std::string& ExcelFile, int32_t Language, int32_t Company,
                                    int32_t PosPerSheet, int32_t InsertEmptyRows) {
    ExportPlain2(HeadNames, HeadVals, RecordSize, PosNames, PosVals, TemplateFile, ExcelFile, Language, Company,
                 PosPerSheet, InsertEmptyRows, "");
    return Variant(int16_t{1});
}

Variant KestDBBomExcel::CreateSummaryExcel(const Variant& PosNames, const Variant& HeadNames, const Variant& PosVals,
                                           int32_t RecordSize, const std::string& TemplateFile,
                                           const std::string& ExcelFile, int32_t Language, int32_t Company,
                                           int32_t PosPerSheet) {
    return summary::CreateSummaryExcel(PosNames, HeadNames, PosVals, RecordSize, TemplateFile, ExcelFile, Language,
                                       Company, PosPerSheet);
}

Variant KestDBBomExcel::CreateSummaryTemplate(const Variant& Names) {
    return summary::CreateSummaryTemplate(Names);
}

Variant KestDBBomExcel::ExportPlain2(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize,
                                     const Variant& PosNames, const Variant& PosVals, const std::string& TemplateFile,
                                     const std::string& ExcelFile, int32_t Language, int32_t Company,
                                     int32_t PosPerSheet, int32_t InsertEmptyRows, const std::string& TargetSheetName) {
    return plainbom::ExportPlain2(HeadNames, HeadVals, RecordSize, PosNames, PosVals, TemplateFile, ExcelFile, Language,
                                  Company, PosPerSheet, InsertEmptyRows, TargetSheetName);
}

}  // namespace kbx::automation
