#include "summary/summary_list.h"

#include <chrono>
#include <ctime>
#include <filesystem>

#include "files/paths.h"
#include "fillcommon/open_workbook.h"
#include "log/write_log.h"
#include "session/excel_references.h"
#include "session/platform.h"
#include "summary/summary_pages.h"
#include "value/data_set.h"
#include "value/runtime_error.h"

namespace kbx::summary {

namespace {

// Limits the page loop relies on, and an output that would delete the
// template before it is read; checked before anything else changes.
void checkSummaryInput(const Variant& PosVals, int32_t RecordSize, int32_t PosPerSheet, const std::string& TemplateFile,
                       const std::string& ExcelFile) {
    recordCount(PosVals, RecordSize);
    if (RecordSize < 1)
        raise(err::InvalidCall,
              "Invalid procedure call or argument: RecordSize must be 1 or more, not " + std::to_string(RecordSize));
    if (PosPerSheet < 0)
        raise(err::InvalidCall, "Invalid procedure call or argument: PosPerSheet must be 0 (no limit) or more, not " +
                                    std::to_string(PosPerSheet));
    if (files::sameFile(TemplateFile, ExcelFile))
        raise(err::InvalidCall, "Invalid procedure call or argument: the output file '" + ExcelFile +
                                    "' is the template file itself; choose another output file");
}

// Opens the template unless a workbook is kept; answers the spreadsheet's
// reason when it refused the file.
std::string openTemplateIgnoringErrors(session::ExcelReferences& refs, const std::string& templateFile) {
    std::string refusal;
    if (!refs.ExcelBook) {
        fillcommon::WorkbookOpening opening =
            fillcommon::openWorkbookQuietly(*refs.ExcelApp, templateFile, Variant(int16_t{2}), true);
        refs.ExcelBook = std::move(opening.book);
        refusal = std::move(opening.refusal);
    }
    try {
        refs.ExcelApp->Set(sheet::AppSetting::Visible, Variant(true));
    } catch (const RuntimeError&) {
        // Visibility is a courtesy to the user.
    }
    return refusal;
}

enum class SummaryOutcome { Saved, NotSaved, Abandoned };

// After an error the pages built so far are saved over the copy of the
// template, so that the user is shown what was made; when that save fails
// too, the copy stays as it is.
void saveWhatWasBuilt(sheet::Workbook& book) {
    try {
        book.Save();
    } catch (const std::exception&) {
        // The error that stopped the pages is the one logged.
    }
}

// The steps whose errors are logged rather than passed to the host.
SummaryOutcome buildAndSave(session::ExcelReferences& refs, const Variant& PosNames, const Variant& HeadNames,
                            const Variant& PosVals, int32_t RecordSize, const std::string& ExcelFile,
                            int32_t PosPerSheet, const std::string& refusal) {
    bool savedOnce = false;
    try {
        if (!refs.ExcelBook) {
            fillcommon::reportUnopenedWorkbook(refusal);
            return SummaryOutcome::Abandoned;
        }
        // The only place an earlier output is replaced.
        refs.ExcelBook->SaveAs(ExcelFile);
        savedOnce = true;
        std::shared_ptr<sheet::Worksheet> sheet = refs.ExcelBook->ActiveSheet();
        if (!sheet) {
            session::showMessage("Failed to obtain sheet object from Excel....");
            refs.ExcelBook.reset();
            refs.ExcelApp.reset();
            return SummaryOutcome::Abandoned;
        }
        BuildSummaryPages(*sheet, PosNames, HeadNames, PosVals, RecordSize, PosPerSheet);
        refs.ExcelApp->Set(sheet::AppSetting::ScreenUpdating, Variant(true));
        refs.ExcelBook->Save();
        return SummaryOutcome::Saved;
    } catch (const RuntimeError& error) {
        if (error.number() != 0) WriteLog(error.description());
    } catch (const std::exception& error) {
        WriteLog(error.what());
    }
    if (!savedOnce) return SummaryOutcome::NotSaved;
    if (refs.ExcelBook) saveWhatWasBuilt(*refs.ExcelBook);
    return SummaryOutcome::Saved;
}

void finishSummary(session::ExcelReferences& refs) {
    if (refs.ExcelApp) refs.ExcelApp->Set(sheet::AppSetting::ScreenUpdating, Variant(true));
    refs.ExcelApp.reset();
    refs.ExcelBook.reset();
    WriteLog("Leaving CreateSummaryExcel");
}

// A file name under the temporary directory that no earlier template took.
std::string freshTemplatePath() {
    const std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    const std::filesystem::path directory = files::temporaryDirectory();
    for (int n = 1;; ++n) {
        const std::string suffix = n == 1 ? "" : "-" + std::to_string(n);
        std::filesystem::path candidate =
            directory / ("KestBomEx-SummaryTemplate-" + std::string(stamp) + suffix + ".xlsx");
        std::error_code ec;
        if (!std::filesystem::exists(candidate, ec) && !ec) return candidate.string();
    }
}

void writeTemplatePlaceholders(sheet::Worksheet& sheet, const Variant& Names) {
    const int32_t upper = Names.upperBound();
    for (int32_t i = 0; i <= upper; ++i) {
        const std::string name = toText(Names.at(i));
        sheet.Cells(1, i + 1)->SetValue(Variant("$head:" + name));
        sheet.Cells(2, i + 1)->SetValue(Variant("$pos:" + name));
    }
}

}  // namespace

Variant CreateSummaryExcel(const Variant& PosNames, const Variant& HeadNames, const Variant& PosVals,
                           int32_t RecordSize, const std::string& TemplateFile, const std::string& ExcelFile,
                           int32_t /*Language*/, int32_t /*Company*/, int32_t PosPerSheet) {
    WriteLog("Entering CreateSummaryExcel");
    const Variant result(int16_t{1});
    checkSummaryInput(PosVals, RecordSize, PosPerSheet, TemplateFile, ExcelFile);

    session::ExcelReferences& refs = session::excelReferences();
    if (!refs.ExcelApp) refs.ExcelApp = session::createExcelApplication();
    if (!refs.ExcelApp) {
        session::showMessage("Failed to obtain COM object from Excel.Application");
        return result;
    }
    WriteLog("Trying to open: " + TemplateFile);
    const std::string refusal = openTemplateIgnoringErrors(refs, TemplateFile);

    const SummaryOutcome outcome =
        buildAndSave(refs, PosNames, HeadNames, PosVals, RecordSize, ExcelFile, PosPerSheet, refusal);
    if (outcome == SummaryOutcome::Abandoned) return result;
    finishSummary(refs);
    // The saved workbook is left for the user.
    if (outcome != SummaryOutcome::NotSaved) session::platform().presenter->Present(ExcelFile);
    return result;
}

Variant CreateSummaryTemplate(const Variant& Names) {
    const Variant result(int16_t{1});
    session::ExcelReferences& refs = session::excelReferences();
    if (!refs.ExcelApp) refs.ExcelApp = session::createExcelApplication();
    if (!refs.ExcelApp) {
        session::showMessage("Failed to obtain COM object from Excel.Application");
        return result;
    }
    refs.ExcelApp->Set(sheet::AppSetting::Visible, Variant(true));
    refs.ExcelApp->Set(sheet::AppSetting::ScreenUpdating, Variant(true));
    std::shared_ptr<sheet::Workbook> book = refs.ExcelApp->GetWorkbooks().Add();
    if (!book) raise(err::ObjectNotSet);
    std::shared_ptr<sheet::Worksheet> sheet = book->ActiveSheet();
    if (!sheet) raise(err::ObjectNotSet);
    // A workbook that was never saved cannot be handed over: it is saved under
    // the temporary directory first, also when an entry fails after others
    // were written, so that the user keeps them.
    const auto handOver = [&book] {
        const std::string file = freshTemplatePath();
        book->SaveAs(file);
        session::platform().presenter->Present(file);
    };
    try {
        writeTemplatePlaceholders(*sheet, Names);
    } catch (const RuntimeError&) {
        try {
            handOver();
        } catch (const RuntimeError&) {
            // The host hears of the entry that failed, not of the rescue.
        }
        throw;
    }
    handOver();
    refs.ExcelApp.reset();
    return result;
}

}  // namespace kbx::summary
