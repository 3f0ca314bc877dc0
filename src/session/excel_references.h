#pragma once
// The two process-wide spreadsheet references every method shares.
// Clearing a reference only drops the hold; it never closes or quits.

#include <memory>

#include "sheet/application.h"

namespace kbx::session {

struct ExcelReferences {
    std::shared_ptr<sheet::Application> ExcelApp;
    std::shared_ptr<sheet::Workbook> ExcelBook;
};

// The references of this process; empty when the process starts.
ExcelReferences& excelReferences();

// The process-wide application; error 91 when there is none.
sheet::Application& currentApplication();

}  // namespace kbx::session
