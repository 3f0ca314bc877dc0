#pragma once
// The embedded engine's entry point for the rest of the program.

#include <memory>

#include "sheet/application.h"

namespace kbx::engine {

// A new engine application with no workbook open. It lives as long as it or
// anything it handed out (a workbook, sheet, cell, picture) is held, and
// closes its workbooks unsaved when it goes.
std::shared_ptr<sheet::Application> createApplication();

}  // namespace kbx::engine
