#include "copyexport/export_as_txt.h"

#include <memory>

#include "session/platform.h"
#include "sheet/application.h"
#include "value/runtime_error.h"

namespace kbx::copyexport {

namespace {

constexpr const char* kNoExcelMessage = "Excel kann nicht erreicht werden....";

// A member called on a reference that holds nothing fails like an unset
// object variable instead of crashing.
template <typename T>
T& objectOf(const std::shared_ptr<T>& reference) {
    if (!reference) raise(err::ObjectNotSet);
    return *reference;
}

}  // namespace

// Each call uses an application and workbook of its own; the process-wide
// references and the log are left alone. Errors of the spreadsheet steps end
// the call unchanged; the local references are released on every path.
int16_t ExportAsTxt(const std::string& ExcelName, const std::string& TxtName) {
    const int16_t result = -1;
    std::shared_ptr<sheet::Application> app = session::createExcelApplication();
    if (!app) {
        session::showMessage(kNoExcelMessage);
        return result;
    }
    std::shared_ptr<sheet::Workbook> book = app->GetWorkbooks().Open(ExcelName, Variant(int16_t{2}), true);
    objectOf(book).SaveCopyAs(TxtName);
    book->Close(false);
    book.reset();
    app.reset();
    return result;
}

int16_t ExportAsTxt2(const std::string& ExcelName, const std::string& TxtName, const std::string& SheetName) {
    int16_t result = -1;
    std::shared_ptr<sheet::Application> app = session::createExcelApplication();
    if (!app) return result;
    std::shared_ptr<sheet::Workbook> book = app->GetWorkbooks().Open(ExcelName, Variant(false), true);
    result = -2;
    if (!book) return result;
    result = -3;
    std::shared_ptr<sheet::Worksheet> sheet = book->GetSheets().Item(SheetName);
    if (!sheet) return result;
    sheet->Activate();
    result = 0;
    book->SaveAs(TxtName, sheet::xl::FormatTextTabSeparated);
    book->Close(false);
    sheet.reset();
    book.reset();
    app.reset();
    return result;
}

}  // namespace kbx::copyexport
