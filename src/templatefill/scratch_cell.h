#pragma once
// A cell that lives in memory, not in a sheet: it holds exactly what CopyCell
// transfers (raw value, font properties, alignment). ReverseRows parks a cell
// there while it swaps two rows, so no cell of the template is borrowed.

#include <array>
#include <memory>
#include <optional>

#include "sheet/range.h"

namespace kbx::templatefill {

class ScratchFont : public sheet::Font {
public:
    // A property never written raises error 1004.
    Variant Get(sheet::FontProperty property) const override;
    void Set(sheet::FontProperty property, const Variant& value) override;
    std::string Name() const override { return {}; }

private:
    std::array<std::optional<Variant>, sheet::kCopiedFontProperties.size()> properties_;
};

class ScratchCell : public sheet::Range {
public:
    ScratchCell() : font_(std::make_shared<ScratchFont>()) {}

    Variant Value() const override { return value_; }
    void SetValue(const Variant& value) override { value_ = value; }
    Variant Value2() const override { return value_; }
    void SetValue2(const Variant& value) override { value_ = value; }
    std::string Text() const override { return toText(value_); }
    Variant HorizontalAlignment() const override { return horizontal_; }
    void SetHorizontalAlignment(const Variant& alignment) override { horizontal_ = alignment; }
    Variant VerticalAlignment() const override { return vertical_; }
    void SetVerticalAlignment(const Variant& alignment) override { vertical_ = alignment; }
    std::shared_ptr<sheet::Font> GetFont() override { return font_; }

    // Everything else belongs to cells of a sheet: error 445.
    std::string NumberFormat() const override;
    void SetNumberFormat(const std::string&) override;
    void Select() override;
    double RowHeight() const override;
    void SetRowHeight(double) override;
    double ColumnWidth() const override;
    void SetColumnWidth(double) override;
    double Width() const override;
    double Height() const override;
    double Left() const override;
    double Top() const override;
    void Calculate() override;
    int32_t Row() const override;
    int32_t Column() const override;
    void Cut() override;
    void SetPlacement(int32_t) override;

private:
    Variant value_;
    Variant horizontal_{int32_t{sheet::xl::HAlignGeneral}};
    Variant vertical_{int32_t{sheet::xl::VAlignBottom}};
    std::shared_ptr<ScratchFont> font_;
};

}  // namespace kbx::templatefill
