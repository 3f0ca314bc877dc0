#include "plainbom/export_plain.h"

#include <cstdio>
#include <filesystem>

#include "files/paths.h"
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

// A failed export must not leave the half-filled workbook it opened for the
// next call to save under its own name: that workbook is closed unsaved and
// dropped. A workbook held from an earlier call stays as it is.
void discardFailedWorkbook(const std::shared_ptr<sheet::Workbook>& openedHere) {
    std::shared_ptr<sheet::Workbook>& book = session::excelReferences().ExcelBook;
    if (!book || book != openedHere) return;
    try {
        book->Close(false);
    } catch (const RuntimeError&) {
        // Closing is best effort; the reference is dropped either way.
    }
    book.reset();
}

void handleExportError(int32_t number, const std::string& description,
                       const std::shared_ptr<sheet::Workbook>& openedHere) {
    if (number > 0) session::showMessage(description);
    discardFailedWorkbook(openedHere);
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

// `openedHere` gets the workbook this call opened, if it opened one.
void runPlainExport(const PlainExportRequest& request, std::shared_ptr<sheet::Workbook>& openedHere) {
    WriteLog("Entering ExportPlain");
    recordCount(request.PosVals, request.RecordSize);
    if (files::sameFile(request.TemplateFile, request.ExcelFile)) {
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
    std::string refusal;
    if (!refs.ExcelBook) {
        fillcommon::WorkbookOpening opening =
            fillcommon::openWorkbookQuietly(*refs.ExcelApp, request.TemplateFile, Variant(int16_t{2}), true);
        refs.ExcelBook = std::move(opening.book);
        refusal = std::move(opening.refusal);
        openedHere = refs.ExcelBook;
    }
    if (!refs.ExcelBook) {
        fillcommon::reportUnopenedWorkbook(refusal);
        return;
    }
    // An earlier output is replaced here, by the atomic save, and not before:
    // a call that cannot open its template leaves it as it was.
    refs.ExcelBook->SaveAs(request.ExcelFile);
    const bool wasVisible = makeVisible(*refs.ExcelApp);

    std::shared_ptr<sheet::Worksheet> sheet = refs.ExcelBook->ActiveSheet();
    const std::string upperTarget = upperCase(request.TargetSheetName);
    if (!upperTarget.empty()) sheet = findTargetSheet(*refs.ExcelBook, upperTarget);
    if (!sheet) {
        session::showMessage("Failed to obtain sheet object '" + upperTarget + "' from Excel....");
        // The output, saved as an unfilled copy of the template, is left to the user.
        const std::string output = refs.ExcelBook->FullName();
        refs.ExcelBook.reset();
        refs.ExcelApp.reset();
        session::platform().presenter->Present(output);
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
    std::shared_ptr<sheet::Workbook> openedHere;
    try {
        runPlainExport({HeadNames, HeadVals, RecordSize, PosNames, PosVals, TemplateFile, ExcelFile, Company,
                        PosPerSheet, InsertEmptyRows != 0, TargetSheetName},
                       openedHere);
    } catch (const RuntimeError& error) {
        handleExportError(error.number(), error.description(), openedHere);
    } catch (const std::bad_alloc&) {
        handleExportError(err::OutOfMemory, standardErrorText(err::OutOfMemory), openedHere);
    } catch (const std::exception& error) {
        handleExportError(err::Application, error.what(), openedHere);
    }
    return result;
}

}  // namespace kbx::plainbom
