#pragma once
// A workbook and its Sheets collection.

#include <memory>
#include <optional>
#include <string>

#include "sheet/worksheet.h"

namespace kbx::sheet {

// Workbook file formats.
namespace xl {
inline constexpr int32_t FormatWorkbookNormal = -4143;  // 97-2003 workbook (.xls)
inline constexpr int32_t FormatOpenXmlWorkbook = 51;    // .xlsx
inline constexpr int32_t FormatOpenXmlMacroEnabled = 52;  // .xlsm
inline constexpr int32_t FormatTextTabSeparated = 20;   // tab-separated text of the active sheet
}  // namespace xl

class Sheets {
public:
    virtual ~Sheets() = default;
    virtual int32_t Count() const = 0;
    // Item by position in tab order, from 1; out of range raises error 9.
    virtual std::shared_ptr<Worksheet> Item(int32_t index) = 0;
    // Item by name (case-insensitive, as the spreadsheet looks names up);
    // no such sheet raises error 9 "Subscript out of range".
    virtual std::shared_ptr<Worksheet> Item(const std::string& name) = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;
    virtual Sheets& GetSheets() = 0;
    virtual std::shared_ptr<Worksheet> ActiveSheet() = 0;
    // The full path the workbook was opened from or last saved under; empty
    // for a new workbook never saved.
    virtual std::string FullName() const = 0;

    // Saves under the workbook's own name and format.
    virtual void Save() = 0;
    // Saves under a new name; without a format, the workbook's own format.
    // The workbook takes the new name afterwards.
    virtual void SaveAs(const std::string& file, std::optional<int32_t> fileFormat = std::nullopt) = 0;
    // Writes a copy under another name; the workbook keeps its name.
    virtual void SaveCopyAs(const std::string& file) = 0;
    // Closes the workbook; with saveChanges it is saved first.
    virtual void Close(bool saveChanges) = 0;
};

}  // namespace kbx::sheet
