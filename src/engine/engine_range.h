#pragma once
// A range of the engine: one cell, or a whole column (row 0), and its font.

#include <memory>

#include "engine/engine_objects.h"
#include "sheet/range.h"

namespace kbx::ooxml {

class EngineRange : public sheet::Range, public std::enable_shared_from_this<EngineRange> {
public:
    // `row` 0 stands for the whole column.
    EngineRange(std::shared_ptr<EngineWorksheet> sheet, int32_t row, int32_t column);

    Variant Value() const override;
    void SetValue(const Variant& value) override;
    Variant Value2() const override;
    void SetValue2(const Variant& value) override;
    std::string Text() const override;
    std::string NumberFormat() const override;
    void SetNumberFormat(const std::string& format) override;
    Variant HorizontalAlignment() const override;
    void SetHorizontalAlignment(const Variant& alignment) override;
    Variant VerticalAlignment() const override;
    void SetVerticalAlignment(const Variant& alignment) override;
    std::shared_ptr<sheet::Font> GetFont() override;
    void Select() override;
    double RowHeight() const override;
    void SetRowHeight(double points) override;
    double ColumnWidth() const override;
    void SetColumnWidth(double characters) override;
    double Width() const override;
    double Height() const override;
    double Left() const override;
    double Top() const override;
    void Calculate() override;
    int32_t Row() const override { return row_ == 0 ? 1 : row_; }
    int32_t Column() const override { return column_; }
    void Cut() override;
    void SetPlacement(int32_t placement) override;

    EngineWorksheet& worksheet() const { return *sheet_; }
    bool isColumn() const { return row_ == 0; }

private:
    void requireCell(const char* member) const;
    void setAlignment(uint8_t property, const Variant& alignment);
    void store(const Variant& value, bool applyDateFormat);

    std::shared_ptr<EngineWorksheet> sheet_;
    int32_t row_;
    int32_t column_;
};

class EngineFont : public sheet::Font {
public:
    EngineFont(std::shared_ptr<EngineWorksheet> sheet, int32_t row, int32_t column)
        : sheet_(std::move(sheet)), row_(row), column_(column) {}
    Variant Get(sheet::FontProperty property) const override;
    void Set(sheet::FontProperty property, const Variant& value) override;
    std::string Name() const override;

private:
    void apply(sheet::FontProperty property, const Variant& value);
    const FontSpec& current() const;
    std::shared_ptr<EngineWorksheet> sheet_;
    int32_t row_;
    int32_t column_;
};

}  // namespace kbx::ooxml
