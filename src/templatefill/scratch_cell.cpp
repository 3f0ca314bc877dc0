#include "templatefill/scratch_cell.h"

#include <algorithm>

#include "value/runtime_error.h"

namespace kbx::templatefill {

namespace {

size_t slotOf(sheet::FontProperty property) {
    const auto& order = sheet::kCopiedFontProperties;
    return static_cast<size_t>(std::find(order.begin(), order.end(), property) - order.begin());
}

[[noreturn]] void notACellOfASheet() {
    raise(err::ActionNotSupported, "Object doesn't support this action: the scratch cell is not part of a sheet");
}

}  // namespace

Variant ScratchFont::Get(sheet::FontProperty property) const {
    const size_t slot = slotOf(property);
    if (slot >= properties_.size() || !properties_[slot]) raiseSpreadsheet("Unable to get the font property");
    return *properties_[slot];
}

void ScratchFont::Set(sheet::FontProperty property, const Variant& value) {
    const size_t slot = slotOf(property);
    if (slot >= properties_.size()) raiseSpreadsheet("Unable to set the font property");
    properties_[slot] = value;
}

std::string ScratchCell::NumberFormat() const { notACellOfASheet(); }
void ScratchCell::SetNumberFormat(const std::string&) { notACellOfASheet(); }
void ScratchCell::Select() { notACellOfASheet(); }
double ScratchCell::RowHeight() const { notACellOfASheet(); }
void ScratchCell::SetRowHeight(double) { notACellOfASheet(); }
double ScratchCell::ColumnWidth() const { notACellOfASheet(); }
void ScratchCell::SetColumnWidth(double) { notACellOfASheet(); }
double ScratchCell::Width() const { notACellOfASheet(); }
double ScratchCell::Height() const { notACellOfASheet(); }
double ScratchCell::Left() const { notACellOfASheet(); }
double ScratchCell::Top() const { notACellOfASheet(); }
void ScratchCell::Calculate() { notACellOfASheet(); }
int32_t ScratchCell::Row() const { notACellOfASheet(); }
int32_t ScratchCell::Column() const { notACellOfASheet(); }
void ScratchCell::Cut() { notACellOfASheet(); }
void ScratchCell::SetPlacement(int32_t) { notACellOfASheet(); }

}  // namespace kbx::templatefill
