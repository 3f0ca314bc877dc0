#pragma once
// A range: one cell (Cells(row, column)) or one whole column (Columns(column)).

#include <memory>
#include <string>

#include "sheet/font.h"
#include "sheet/selection.h"
#include "value/variant.h"

namespace kbx::sheet {

// Alignment constants as the spreadsheet's automation model defines them.
namespace xl {
inline constexpr int32_t HAlignGeneral = 1;
inline constexpr int32_t HAlignLeft = -4131;
inline constexpr int32_t HAlignCenter = -4108;
inline constexpr int32_t HAlignRight = -4152;
inline constexpr int32_t HAlignFill = 5;
inline constexpr int32_t HAlignJustify = -4130;
inline constexpr int32_t HAlignCenterAcrossSelection = 7;
inline constexpr int32_t HAlignDistributed = -4117;
inline constexpr int32_t VAlignTop = -4160;
inline constexpr int32_t VAlignCenter = -4108;
inline constexpr int32_t VAlignBottom = -4107;
inline constexpr int32_t VAlignJustify = -4130;
inline constexpr int32_t VAlignDistributed = -4117;
}  // namespace xl

class Range : public Selection {
public:
    // The default value: numbers, text, booleans; dates as Date. Reading an
    // empty cell gives Empty. Writing a string stores text, never a number.
    virtual Variant Value() const = 0;
    virtual void SetValue(const Variant& value) = 0;
    // The raw value: dates as their serial number.
    virtual Variant Value2() const = 0;
    virtual void SetValue2(const Variant& value) = 0;
    // The text the cell shows, with its number format applied.
    virtual std::string Text() const = 0;

    virtual std::string NumberFormat() const = 0;
    virtual void SetNumberFormat(const std::string& format) = 0;
    virtual Variant HorizontalAlignment() const = 0;
    virtual void SetHorizontalAlignment(const Variant& alignment) = 0;
    virtual Variant VerticalAlignment() const = 0;
    virtual void SetVerticalAlignment(const Variant& alignment) = 0;
    virtual std::shared_ptr<Font> GetFont() = 0;

    // Makes this range the selection (and its sheet the active one).
    virtual void Select() = 0;
    // Heights and widths: points for rows, characters of the default font's
    // digit for columns. Limits 409 points and 255 characters (error 1004).
    virtual double RowHeight() const = 0;
    virtual void SetRowHeight(double points) = 0;
    virtual double ColumnWidth() const = 0;
    virtual void SetColumnWidth(double characters) = 0;
    // Geometry in points from the sheet's top-left corner.
    virtual double Width() const = 0;
    virtual double Height() const = 0;
    virtual double Left() const = 0;
    virtual double Top() const = 0;

    // Recalculates the range (formulas are kept, not evaluated here).
    virtual void Calculate() = 0;

    virtual int32_t Row() const = 0;
    virtual int32_t Column() const = 0;
};

}  // namespace kbx::sheet
