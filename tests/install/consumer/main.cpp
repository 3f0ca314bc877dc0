// A program linked against the installed core: saves one sheet of a workbook
// as text in this process and prints the method's status.
// Usage: consumer WORKBOOK TEXTFILE SHEET
#include <iostream>

#include "automation/kest_db_bom_excel.h"
#include "engine/engine.h"
#include "session/platform.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    kbx::session::installSpreadsheet(kbx::engine::createApplication);
    kbx::automation::KestDBBomExcel object;
    std::cout << object.ExportAsTxt2(argv[1], argv[2], argv[3]) << "\n";
}
