#include "plainbom/export_plain.h"

#include <cstdio>
#include <filesystem>

#include "files/input_file.h"
#include "fillcommon/open_workbook.h"
#include "fillcommon/placeholder_cell.h"
#include "log/write_log.h"
#include "plainbom/plain_workbook.h"
#include "session/excel_references.h"
#include "session/platform.h"
#include "value/data_set.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::plainbom {

namespace {

constexpr const char* kNoWorkbookMessage = "Failed to obtain COM object to Workbook from Excel";

// Whether two paths name the same file (the output would replace the template).
bool sameFile(const std::string& first, const std::string& second) {
    std::error_code ec;
    if (std::filesystem::equivalent(first, second, ec)) return true;
    const std::filesystem::path a = std::filesystem::weakly_canonical(first, ec);
    if (ec) return first == second;
    const std::filesystem::path b = std::filesystem::weakly_canonical(second, ec);
    if (ec) return first == second;
    return a == b;
}

// Makes the application visible; false when this call had to do it.
bool makeVisible(sheet::Application& app) {
    try {
        if (!toBoolean(app.Get(sheet::AppSetting::Visible))) {
            app.Set(sheet::AppSetting::Visible, Variant(true));
            return false;
        }
    } catch (const RuntimeError&) {
        // An application that cannot tell or change its visibility stays as it is.
    }
    return true;
}

// The sheet whose name equals `upperName` without regard to case; the walk
// visits every sheet.
std::shared_ptr<sheet::Worksheet> findTargetSheet(sheet::Workbook& book, const std::string& upperName) {
    std::shared_ptr<sheet::Worksheet> found;
    sheet::Sheets& sheets = book.GetSheets();
    const int32_t count = sheets.Count();
    for (int32_t i = 1; i <= count; ++i) {
        std::shared_ptr<sheet::Worksheet> candidate = sheets.Item(i);
        if (candidate && upperCase(candidate->Name()) == upperName) found = candidate;
    }
    return found;
}

// A failed export must not leave its half-filled workbook for the next call
// to save under its own name: the workbook is closed unsaved and dropped.
void discardFailedWorkbook() {
    std::shared_ptr<sheet::Workbook>& book = session::excelReferences().ExcelBook;
    if (!book) return;
    try {
        book->Close(false);
    } catch (const RuntimeError&) {
        // Closing is best effort; the reference is dropped either way.
    }
    book.reset();
}

void handleExportError(int32_t number, const std::string& description) {
    if (number > 0) session::showMessage(description);
    discardFailedWorkbook();
}

struct PlainExportRequest {
    const Variant& HeadNames;
    const Variant& HeadVals;
    int32_t RecordSize;
    const Variant& PosNames;
    const Variant& PosVals;
    const std::string& TemplateFile;
    const std::string& ExcelFile;
    int32_t Company;
    int32_t PosPerSheet;
    bool InsertEmptyRows;
    const std::string& TargetSheetName;
};

void runPlainExport(const PlainExportRequest& request) {
    WriteLog("Entering ExportPlain");
    recordCount(request.PosVals, request.RecordSize);
    if (sameFile(request.TemplateFile, request.ExcelFile)) {
        session::showMessage(
            "The output file '" + request.ExcelFile +
            "' is the template file itself; choose another output file, the template is left as it is.");
        return;
    }

    session::ExcelReferences& refs = session::excelReferences();
    if (!refs.ExcelApp) refs.ExcelApp = session::createExcelApplication();
    if (!refs.ExcelApp) {
        session::showMessage("Failed to obtain COM object from Excel.Application");
        return;
    }
    WriteLog("Trying to open: " + request.TemplateFile);
    files::removeFileIgnoringErrors(request.ExcelFile);
    std::string refusal;
    if (!refs.ExcelBook) {
        fillcommon::WorkbookOpening opening =
            fillcommon::openWorkbookQuietly(*refs.ExcelApp, request.TemplateFile, Variant(int16_t{2}), true);
        refs.ExcelBook = std::move(opening.book);
        refusal = std::move(opening.refusal);
    }
    if (!refs.ExcelBook) {
        logRefusal(kNoWorkbookMessage, refusal);
        session::showMessage(kNoWorkbookMessage);
        return;
    }
    refs.ExcelBook->SaveAs(request.ExcelFile);
    const bool wasVisible = makeVisible(*refs.ExcelApp);

    std::shared_ptr<sheet::Worksheet> sheet = refs.ExcelBook->ActiveSheet();
    const std::string upperTarget = upperCase(request.TargetSheetName);
    if (!upperTarget.empty()) sheet = findTargetSheet(*refs.ExcelBook, upperTarget);
    if (!sheet) {
        session::showMessage("Failed to obtain sheet object '" + upperTarget + "' from Excel....");
        refs.ExcelBook.reset();
        refs.ExcelApp.reset();
        return;
    }

    BuildPlainWorkbook(*sheet, request.HeadNames, request.HeadVals, request.RecordSize, request.PosNames,
                       request.PosVals, request.Company, request.PosPerSheet, request.InsertEmptyRows, upperTarget);
    refs.ExcelApp->Set(sheet::AppSetting::ScreenUpdating, Variant(true));
    refs.ExcelApp->Calculate();
    refs.ExcelBook->Save();
    refs.ExcelBook->Close(false);
    if (!wasVisible) refs.ExcelApp->Quit();
    refs.ExcelApp.reset();
    refs.ExcelBook.reset();
    WriteLog("Leaving ExportBOMExcel");
}

}  // namespace

Variant ExportPlain2(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize, const Variant& PosNames,
                     const Variant& PosVals, const std::string& TemplateFile, const std::string& ExcelFile,
                     int32_t /*Language*/, int32_t Company, int32_t PosPerSheet, int32_t InsertEmptyRows,
                     const std::string& TargetSheetName) {
    const Variant result(int16_t{1});
    try {
        runPlainExport({HeadNames, HeadVals, RecordSize, PosNames, PosVals, TemplateFile, ExcelFile, Company,
                        PosPerSheet, InsertEmptyRows != 0, TargetSheetName});
    } catch (const RuntimeError& error) {
        handleExportError(error.number(), error.description());
    } catch (const std::bad_alloc&) {
        handleExportError(err::OutOfMemory, standardErrorText(err::OutOfMemory));
    } catch (const std::exception& error) {
        handleExportError(err::Application, error.what());
    }
    return result;
}

}  // namespace kbx::plainbom
