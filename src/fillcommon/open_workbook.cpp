#include "fillcommon/open_workbook.h"

#include <exception>

#include "log/write_log.h"
#include "session/platform.h"
#include "value/runtime_error.h"

namespace kbx::fillcommon {

WorkbookOpening openWorkbookQuietly(sheet::Application& app, const std::string& file, const Variant& updateLinks,
                                    bool readOnly) {
    WorkbookOpening opening;
    try {
        opening.book = app.GetWorkbooks().Open(file, updateLinks, readOnly);
    } catch (const RuntimeError& error) {
        opening.refusal = std::to_string(error.number()) + ": " + error.description();
    } catch (const std::exception& error) {
        opening.refusal = error.what();
    }
    return opening;
}

void reportUnopenedWorkbook(const std::string& refusal) {
    static const std::string kMessage = "Failed to obtain COM object to Workbook from Excel";
    logRefusal(kMessage, refusal);
    session::showMessage(kMessage);
}

}  // namespace kbx::fillcommon
