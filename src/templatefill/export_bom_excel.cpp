#include "templatefill/export_bom_excel.h"

#include <memory>

#include "files/paths.h"
#include "fillcommon/open_workbook.h"
#include "log/write_log.h"
#include "session/excel_references.h"
#include "session/platform.h"
#include "templatefill/fill_template_sheet.h"
#include "templatefill/ignore_errors.h"
#include "value/data_set.h"

namespace kbx::templatefill {

namespace {

using sheet::AppSetting;

constexpr int32_t kUpdateLinks = 2;
constexpr int32_t kEmbedAndQuit = -1;

// The interactive features switched off while the sheet is filled.
struct RememberedSettings {
    Variant EnableAnimations;
    Variant EnableAutoComplete;
    Variant EnableEvents;
    Variant DisplayAlerts;
    bool DisplayStatusBar = false;
};

RememberedSettings RememberSettings(sheet::Application& app) {
    RememberedSettings saved;
    saved.EnableAnimations = app.Get(AppSetting::EnableAnimations);
    saved.EnableAutoComplete = app.Get(AppSetting::EnableAutoComplete);
    saved.EnableEvents = app.Get(AppSetting::EnableEvents);
    saved.DisplayAlerts = app.Get(AppSetting::DisplayAlerts);
    saved.DisplayStatusBar = toBoolean(app.Get(AppSetting::DisplayStatusBar));
    return saved;
}

void SwitchSettingsOff(sheet::Application& app) {
    for (AppSetting setting : {AppSetting::EnableAnimations, AppSetting::EnableAutoComplete, AppSetting::EnableEvents,
                               AppSetting::DisplayAlerts, AppSetting::DisplayStatusBar}) {
        app.Set(setting, Variant(false));
    }
}

void RestoreSettings(sheet::Application& app, const RememberedSettings& saved) {
    app.Set(AppSetting::DisplayStatusBar, Variant(saved.DisplayStatusBar));
    app.Set(AppSetting::EnableAnimations, saved.EnableAnimations);
    app.Set(AppSetting::EnableAutoComplete, saved.EnableAutoComplete);
    app.Set(AppSetting::EnableEvents, saved.EnableEvents);
    app.Set(AppSetting::DisplayAlerts, saved.DisplayAlerts);
}

void MakeVisible(sheet::Application& app) {
    if (!toBoolean(app.Get(AppSetting::Visible))) app.Set(AppSetting::Visible, Variant(true));
}

std::shared_ptr<sheet::Worksheet> SheetToFill(sheet::Workbook& book, const std::string& Profile) {
    if (!Profile.empty()) return book.GetSheets().Item(Profile);
    return book.ActiveSheet();
}

// A workbook kept by an earlier call (Clos = 0) is filled whatever file this
// call names; when that is another file, the log names both.
void LogKeptWorkbookFilledInstead(sheet::Workbook& kept, const std::string& ExcelFileName) {
    std::string keptFile;
    WithErrorsIgnored([&] { keptFile = kept.FullName(); });
    if (keptFile.empty() || files::sameFile(keptFile, ExcelFileName)) return;
    WriteLog("'" + ExcelFileName + "' was not written: the workbook '" + keptFile +
             "' that an earlier call kept (Clos = 0) is filled and saved instead");
}

// Keeps, closes or quits as the host asked, and drops the references. A
// workbook that stays open while the server lets go of it is the user's now:
// it is handed to the presenter.
void EndCall(int32_t EmBed, int32_t Clos) {
    session::ExcelReferences& refs = session::excelReferences();
    if (EmBed == 0 && Clos != 0) session::platform().presenter->Present(refs.ExcelBook->FullName());
    if (EmBed != 0 && Clos != 0) {
        refs.ExcelBook->Close(false);
        refs.ExcelBook.reset();
    }
    if (EmBed == kEmbedAndQuit && Clos != 0) refs.ExcelApp->Quit();
    if (Clos != 0) {
        refs.ExcelBook.reset();
        refs.ExcelApp.reset();
    }
}

}  // namespace

int32_t ExportBomExcel(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize, const Variant& PosNames,
                       const Variant& PosVals, std::string& ExcelFileName, int32_t /*Language*/,
                       const std::string& /*KestDBDir*/, int32_t EmBed, const std::string& Profile, int32_t reverse,
                       const std::string& /*templte*/, int32_t Clos, const std::string& SheetName) {
    const int32_t result = 1;
    WriteLog("Entering ExportBomExcel, trying to write " + ExcelFileName);

    // A PosVals without an array or a RecordSize of 0 fails before the
    // spreadsheet is touched.
    recordCount(PosVals, RecordSize);

    session::ExcelReferences& refs = session::excelReferences();
    if (!refs.ExcelApp) refs.ExcelApp = session::createExcelApplication();
    if (!refs.ExcelApp) {
        session::showMessage(kNoApplicationMessage);
        return result;
    }

    WriteLog("Trying to open: " + ExcelFileName);
    std::string refusal;
    if (!refs.ExcelBook) {
        fillcommon::WorkbookOpening opening =
            fillcommon::openWorkbookQuietly(*refs.ExcelApp, ExcelFileName, Variant(kUpdateLinks), false);
        refs.ExcelBook = std::move(opening.book);
        refusal = std::move(opening.refusal);
    } else {
        LogKeptWorkbookFilledInstead(*refs.ExcelBook, ExcelFileName);
    }
    if (!refs.ExcelBook) {
        fillcommon::reportUnopenedWorkbook(refusal);
        return result;
    }

    WithErrorsIgnored([&] { MakeVisible(*refs.ExcelApp); });

    const std::shared_ptr<sheet::Worksheet> sheet = SheetToFill(*refs.ExcelBook, Profile);
    if (!sheet) {
        session::showMessage(kNoSheetMessage);
        refs.ExcelBook.reset();
        refs.ExcelApp.reset();
        return result;
    }

    const std::shared_ptr<sheet::Application> application = refs.ExcelApp;
    sheet::Application& app = *application;
    const RememberedSettings saved = RememberSettings(app);
    SwitchSettingsOff(app);
    app.SetCalculation(sheet::xl::CalculationManual);

    FillTemplateSheet(*sheet, HeadNames, HeadVals, RecordSize, PosNames, PosVals, reverse != 0);

    app.SetCalculation(sheet::xl::CalculationAutomatic);
    RestoreSettings(app, saved);

    ActivateSheet(*refs.ExcelBook, SheetName);
    refs.ExcelBook->Save();

    EndCall(EmBed, Clos);
    WriteLog("Leaving ExportBOMExcel");
    return result;
}

bool ActivateSheet(sheet::Workbook& workbook, const std::string& name) {
    if (name.empty()) return false;
    sheet::Sheets& sheets = workbook.GetSheets();
    for (int32_t index = 1; index <= sheets.Count(); ++index) {
        const std::shared_ptr<sheet::Worksheet> candidate = sheets.Item(index);
        if (candidate && candidate->Name() == name) {
            candidate->Activate();
            return true;
        }
    }
    return false;
}

}  // namespace kbx::templatefill
