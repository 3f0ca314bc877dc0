#include "fillcommon/open_workbook.h"

#include <exception>

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

}  // namespace kbx::fillcommon
