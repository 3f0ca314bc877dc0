#pragma once
// The automation class KestDBBomExcel: the nine methods hosts call, in the
// order of the interface. The class has no instance data; the methods share
// the process-wide references of excel_references.h.

#include <cstdint>
#include <string>

#include "value/variant.h"

namespace kbx::automation {

class KestDBBomExcel {
public:
    // 1. Drops ExcelBook, then ExcelApp. Nothing is saved, closed or quit.
    void ReleaseExcel();

    // 2. Fills one sheet of a workbook in place from placeholders.
    int32_t ExportBomExcel(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize,
                           const Variant& PosNames, const Variant& PosVals, std::string& ExcelFileName,
                           int32_t Language, const std::string& KestDBDir, int32_t EmBed, const std::string& Profile,
                           int32_t reverse, const std::string& templte, int32_t Clos, const std::string& SheetName);

    // 3. Asks the user for a template and options; writes a working copy.
    int32_t GetBomParams(const std::string& KestDBDir, Variant& Profiles, int32_t& reverse, int32_t& EmBed,
                         std::string& templte, std::string& ExcelFileName);

    // 4. Saves a copy of a workbook; always -1.
    int16_t ExportAsTxt(const std::string& ExcelName, const std::string& TxtName);

    // 5. Saves one sheet as tab-separated text; status 0, -1, -2 or -3.
    int16_t ExportAsTxt2(const std::string& ExcelName, const std::string& TxtName, const std::string& SheetName);

    // 6. Paged plain BOM export over copies of the template's active sheet.
    Variant ExportPlain(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize, const Variant& PosNames,
                        const Variant& PosVals, const std::string& TemplateFile, const std::string& ExcelFile,
                        int32_t Language, int32_t Company, int32_t PosPerSheet, int32_t InsertEmptyRows);

    // 7. Summary list with pictures.
    Variant CreateSummaryExcel(const Variant& PosNames, const Variant& HeadNames, const Variant& PosVals,
                               int32_t RecordSize, const std::string& TemplateFile, const std::string& ExcelFile,
                               int32_t Language, int32_t Company, int32_t PosPerSheet);

    // 8. Starts a summary template with "$head:" and "$pos:" placeholders.
    Variant CreateSummaryTemplate(const Variant& Names);

    // 9. ExportPlain with a target sheet.
    Variant ExportPlain2(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize, const Variant& PosNames,
                         const Variant& PosVals, const std::string& TemplateFile, const std::string& ExcelFile,
                         int32_t Language, int32_t Company, int32_t PosPerSheet, int32_t InsertEmptyRows,
                         const std::string& TargetSheetName);
};

}  // namespace kbx::automation
