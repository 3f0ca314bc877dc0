#include "ooxml/engine_formats.h"

#include <algorithm>
#include <filesystem>

#include "value/runtime_error.h"

namespace kbx::ooxml {

bool isForeignWorkbookFile(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".xls" || extension == ".ods" || extension == ".xlt";
}

std::string importForeignWorkbook(const std::string& path) {
    raiseSpreadsheet("The workbook '" + path +
                     "' is in a format this program cannot read (only .xlsx and .xlsm are supported; "
                     ".xls and .ods need a converter that is not available).");
}

void exportForeignFormat(const std::string&, const std::string& target, int32_t fileFormat) {
    raiseSpreadsheet("Cannot save '" + target + "' in file format " + std::to_string(fileFormat) +
                     ": only .xlsx (51) and tab-separated text (20) can be written.");
}

}  // namespace kbx::ooxml
