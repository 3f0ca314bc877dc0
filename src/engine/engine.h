#pragma once
// The embedded engine's entry points for the rest of the program.

#include <memory>

#include "sheet/application.h"

namespace kbx {

// A new engine application with no workbook open.
std::shared_ptr<sheet::Application> createEngineApplication();

// Workbooks hold their application and the application holds its open
// workbooks, so neither goes away by itself. This quits every engine
// application that nothing outside the engine holds any more (neither the
// application nor one of its workbooks, sheets, cells or its selection),
// which frees it with its workbooks. Unsaved changes of such workbooks could
// not be reached again anyway.
void closeUnreachableEngineApplications();

}  // namespace kbx
