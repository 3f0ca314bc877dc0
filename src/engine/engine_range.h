#pragma once
// A range of a sheet as handed out: one cell, or a whole column (row 0), and its font.

#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "engine/engine_handles.h"
#include "sheet/range.h"

namespace kbx::engine {

class RangeHandle final : public sheet::Range {
public:
    RangeHandle(const SheetRef& sheet, int32_t row, int32_t column) : sheet_(sheet), row_(row), column_(column) {}

    Variant Value() const override;
    void SetValue(const Variant& value) override { store(value, true); }
    Variant Value2() const override;
    void SetValue2(const Variant& value) override { store(value, false); }
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

private:
    EngineWorksheet& sheet() const { return sheet_.sheet(); }
    // The sheet, for a member a whole column does not have (raises 1004 for one).
    EngineWorksheet& cellSheet(const char* member) const;
    void setAlignment(uint8_t property, const Variant& alignment);
    void store(const Variant& value, bool applyDateFormat);

    SheetRef sheet_;
    int32_t row_;
    int32_t column_;
};

class FontHandle final : public sheet::Font {
public:
    FontHandle(const SheetRef& sheet, int32_t row, int32_t column) : sheet_(sheet), row_(row), column_(column) {}
    Variant Get(sheet::FontProperty property) const override;
    void Set(sheet::FontProperty property, const Variant& value) override;
    std::string Name() const override;

private:
    void apply(EngineWorksheet& sheet, sheet::FontProperty property, const Variant& value);
    const ooxml::FontSpec& current(EngineWorksheet& sheet) const;

    SheetRef sheet_;
    int32_t row_;
    int32_t column_;
};

// A constant of the automation model and the name the file format gives it.
struct NamedConstant {
    int32_t constant;
    const char* name;
};

// The constant of a name, the first one of the table for a name it lacks.
template <size_t N>
int32_t constantNamed(const NamedConstant (&table)[N], std::string_view name) {
    for (const NamedConstant& entry : table)
        if (name == entry.name) return entry.constant;
    return table[0].constant;
}

// The entry of a constant, or nullptr.
template <size_t N>
const NamedConstant* entryOf(const NamedConstant (&table)[N], int32_t constant) {
    for (const NamedConstant& entry : table)
        if (entry.constant == constant) return &entry;
    return nullptr;
}

// A property value as the key of a style transition, or nullopt when it is
// not worth remembering.
std::optional<std::pair<uint8_t, uint64_t>> transitionValue(const Variant& value);

// Runs `set` unless the same change was made on the same format before, and
// remembers where it led. Only for single cells (row 0 always runs `set`).
template <typename Set>
void setThroughTransitions(EngineWorksheet& sheet, int32_t row, int32_t column, uint8_t property,
                           const Variant& value, Set&& set) {
    const auto key = row != 0 ? transitionValue(value) : std::nullopt;
    if (!key) {
        set();
        return;
    }
    ooxml::SheetModel& model = sheet.model();
    ooxml::StyleSheet& styles = sheet.workbook().styles();
    const ooxml::StyleTransition transition{model.styleAt(row, column), property, key->first, key->second};
    if (const uint32_t* to = styles.findTransition(transition)) {
        if (*to != transition.from) model.cellForWrite(row, column).style = *to;
        return;
    }
    set();
    styles.rememberTransition(transition, model.styleAt(row, column));
}

}  // namespace kbx::engine
