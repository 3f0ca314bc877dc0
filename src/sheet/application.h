#pragma once
// The spreadsheet application: its workbooks, settings and selection.

#include <memory>
#include <string>

#include "sheet/workbook.h"

namespace kbx::sheet {

namespace xl {
inline constexpr int32_t CalculationManual = -4135;
inline constexpr int32_t CalculationAutomatic = -4105;
inline constexpr int32_t PlacementMoveAndSize = 1;
}  // namespace xl

// Application settings that are read and set as True/False.
enum class AppSetting {
    Visible,
    ScreenUpdating,
    EnableAnimations,
    EnableAutoComplete,
    EnableEvents,
    DisplayAlerts,
    DisplayStatusBar,
};

class Workbooks {
public:
    virtual ~Workbooks() = default;
    // Opens a workbook file. updateLinks is 2 or False; readOnly workbooks
    // cannot be saved under their own name. A missing file or one that is
    // not a workbook raises a run-time error naming the file.
    virtual std::shared_ptr<Workbook> Open(const std::string& file, const Variant& updateLinks, bool readOnly) = 0;
    // A new workbook with one empty sheet.
    virtual std::shared_ptr<Workbook> Add() = 0;
    virtual int32_t Count() const = 0;
};

class Application {
public:
    virtual ~Application() = default;
    virtual Workbooks& GetWorkbooks() = 0;

    virtual Variant Get(AppSetting setting) const = 0;
    virtual void Set(AppSetting setting, const Variant& value) = 0;

    virtual int32_t Calculation() const = 0;
    virtual void SetCalculation(int32_t mode) = 0;
    virtual void Calculate() = 0;

    // Version text, convertible to a number ("16.0").
    virtual std::string Version() const = 0;
    // The selected range or picture of the active workbook's active sheet.
    virtual std::shared_ptr<Selection> GetSelection() = 0;
    // Ends the application: its workbooks are closed without saving.
    virtual void Quit() = 0;
};

}  // namespace kbx::sheet
