#include "ooxml/sheet_geometry.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "ooxml/cell_store.h"

namespace kbx::ooxml {

void SheetGeometry::readDefaults(const pugi::xml_node& sheetFormatPr) {
    if (const pugi::xml_attribute width = sheetFormatPr.attribute("defaultColWidth"))
        defaultColumnWidth_ = width.as_double(8.43);
    baseColumnWidth_ = sheetFormatPr.attribute("baseColWidth").as_double(8);
    defaultRowHeight_ = sheetFormatPr.attribute("defaultRowHeight").as_double(15);
    topOffsetsStale_ = true;
}

void SheetGeometry::addColumns(int32_t first, ColumnData data) { columns_[first] = std::move(data); }

const ColumnData* SheetGeometry::findColumn(int32_t column) const {
    auto it = columns_.upper_bound(column);
    if (it == columns_.begin()) return nullptr;
    --it;
    return it->second.last >= column ? &it->second : nullptr;
}

// The column's own entry, split off the range that holds it.
ColumnData& SheetGeometry::isolateColumn(int32_t column) {
    columnsChanged_ = true;
    auto it = columns_.upper_bound(column);
    if (it != columns_.begin()) {
        --it;
        if (it->second.last >= column) {
            const int32_t first = it->first;
            ColumnData whole = it->second;
            if (first < column) {
                it->second.last = column - 1;
            } else {
                columns_.erase(it);
            }
            if (whole.last > column) columns_[column + 1] = whole;
            whole.last = column;
            return columns_[column] = whole;
        }
    }
    ColumnData fresh;
    fresh.last = column;
    return columns_[column] = fresh;
}

int32_t SheetGeometry::columnStyle(int32_t column) const {
    const ColumnData* data = findColumn(column);
    return data ? data->style : -1;
}

void SheetGeometry::setColumnStyle(int32_t column, uint32_t style) {
    isolateColumn(column).style = static_cast<int32_t>(style);
}

double SheetGeometry::storedColumnWidth(int32_t column) const {
    const ColumnData* data = findColumn(column);
    if (data && data->width >= 0) return data->width;
    if (defaultColumnWidth_) return *defaultColumnWidth_;
    // Without a default width the standard width is the base width plus
    // padding, rounded up to a multiple of 8 pixels.
    const double pixels = std::ceil((baseColumnWidth_ * maxDigitWidth_ + 5) / 8) * 8;
    return std::trunc(pixels / maxDigitWidth_ * 256) / 256;
}

void SheetGeometry::setStoredColumnWidth(int32_t column, double width) {
    ColumnData& data = isolateColumn(column);
    data.width = width;
    data.customWidth = true;
    data.hidden = width == 0;
}

double SheetGeometry::columnWidthPixels(int32_t column) const {
    const ColumnData* data = findColumn(column);
    if (data && data->hidden) return 0;
    const double width = storedColumnWidth(column);
    return std::trunc((256 * width + std::trunc(128 / maxDigitWidth_)) / 256 * maxDigitWidth_);
}

double SheetGeometry::columnLeft(int32_t column) const {
    double left = 0;
    for (int32_t c = 1; c < column; ++c) {
        const ColumnData* data = findColumn(c);
        int32_t end = column;
        if (data == nullptr) {
            // A run of columns without their own entry: all of default width.
            const auto next = columns_.upper_bound(c);
            if (next != columns_.end()) end = std::min(column, next->first);
        } else {
            end = std::min(column, data->last + 1);
        }
        left += columnWidthPoints(c) * (end - c);
        c = end - 1;
    }
    return left;
}

double SheetGeometry::rowHeightPoints(int32_t row) const {
    const RowData* r = rows_->findRow(row);
    if (r == nullptr) return defaultRowHeight_;
    if (r->hidden) return 0;
    return r->height >= 0 ? r->height : defaultRowHeight_;
}

void SheetGeometry::noteSizedRow(int32_t row) {
    sizedRows_.insert(row);
    topOffsetsStale_ = true;
}

double SheetGeometry::rowTop(int32_t row) const {
    if (topOffsetsStale_) rebuildTopOffsets();
    const auto above = std::lower_bound(topOffsets_.begin(), topOffsets_.end(), row,
                                        [](const std::pair<int32_t, double>& e, int32_t r) { return e.first < r; });
    const double offset = above == topOffsets_.begin() ? 0 : std::prev(above)->second;
    return (row - 1) * defaultRowHeight_ + offset;
}

void SheetGeometry::rebuildTopOffsets() const {
    topOffsets_.clear();
    double sum = 0;
    for (const int32_t r : sizedRows_) {
        sum += rowHeightPoints(r) - defaultRowHeight_;
        topOffsets_.emplace_back(r, sum);
    }
    topOffsetsStale_ = false;
}

}  // namespace kbx::ooxml
