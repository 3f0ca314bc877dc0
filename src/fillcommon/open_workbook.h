#pragma once
// Opening the workbook a fill works on, with errors ignored as the fills do,
// while keeping the spreadsheet's reason for a refusal so it can be logged.

#include <memory>
#include <string>

#include "sheet/application.h"

namespace kbx::fillcommon {

struct WorkbookOpening {
    std::shared_ptr<sheet::Workbook> book;
    // Why the spreadsheet refused the file ("<number>: <text>"); empty when it did not.
    std::string refusal;
};

// Workbooks.Open(file, updateLinks, readOnly); a failure leaves `book` empty.
WorkbookOpening openWorkbookQuietly(sheet::Application& app, const std::string& file, const Variant& updateLinks,
                                    bool readOnly);

// Tells the user that the workbook could not be opened ("Failed to obtain COM
// object to Workbook from Excel", which hosts compare) and logs that line with
// the spreadsheet's reason on the next.
void reportUnopenedWorkbook(const std::string& refusal);

}  // namespace kbx::fillcommon
