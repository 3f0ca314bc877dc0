#include "session/excel_references.h"

#include "value/runtime_error.h"

namespace kbx::session {

ExcelReferences& excelReferences() {
    static ExcelReferences references;
    return references;
}

sheet::Application& currentApplication() {
    std::shared_ptr<sheet::Application>& app = excelReferences().ExcelApp;
    if (!app) raise(err::ObjectNotSet);
    return *app;
}

}  // namespace kbx::session
