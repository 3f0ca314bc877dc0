#include "ooxml/drawing_anchor.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace kbx::ooxml {

int64_t pointsToEmu(double points) {
    if (!std::isfinite(points)) return 0;
    const double emu = std::round(points * static_cast<double>(kEmuPerPoint));
    constexpr double limit = 9.0e15;
    return static_cast<int64_t>(std::clamp(emu, -limit, limit));
}

double emuToPoints(int64_t emu) { return static_cast<double>(emu) / static_cast<double>(kEmuPerPoint); }

namespace {

// The last index in [0, lastIndex] whose start is at or before `position`.
int32_t indexAt(const std::function<double(int32_t)>& startOf, int32_t lastIndex, double position) {
    int32_t low = 0;
    int32_t high = lastIndex;
    while (low < high) {
        const int32_t middle = low + (high - low + 1) / 2;
        if (startOf(middle) <= position)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

int64_t offsetInto(double position, double start, double size) {
    return pointsToEmu(std::clamp(position - start, 0.0, std::max(size, 0.0)));
}

}  // namespace

CellMarker markerAt(const AnchorGrid& geometry, double left, double top) {
    CellMarker marker;
    marker.column = indexAt([&](int32_t c) { return geometry.columnLeftPoints(c); }, kLastColumnIndex, left);
    marker.row = indexAt([&](int32_t r) { return geometry.rowTopPoints(r); }, kLastRowIndex, top);
    marker.columnOffset =
        offsetInto(left, geometry.columnLeftPoints(marker.column), geometry.columnWidthPoints(marker.column));
    marker.rowOffset = offsetInto(top, geometry.rowTopPoints(marker.row), geometry.rowHeightPoints(marker.row));
    return marker;
}

void markerPoint(const AnchorGrid& geometry, const CellMarker& marker, double& left, double& top) {
    const int32_t column = std::clamp(marker.column, 0, kLastColumnIndex);
    const int32_t row = std::clamp(marker.row, 0, kLastRowIndex);
    left = geometry.columnLeftPoints(column) +
           std::min(emuToPoints(std::max<int64_t>(marker.columnOffset, 0)), geometry.columnWidthPoints(column));
    top = geometry.rowTopPoints(row) +
          std::min(emuToPoints(std::max<int64_t>(marker.rowOffset, 0)), geometry.rowHeightPoints(row));
}

ObjectAnchor::ObjectAnchor(const AnchorGrid& geometry, const PointRect& rect, Placement placement)
    : placement_(placement) {
    setRect(geometry, rect);
}

ObjectAnchor ObjectAnchor::fromMarkers(const CellMarker& from, const CellMarker& to, int64_t widthEmu,
                                       int64_t heightEmu, int64_t leftEmu, int64_t topEmu, Placement placement) {
    ObjectAnchor anchor;
    anchor.placement_ = placement;
    anchor.from_ = from;
    anchor.to_ = to;
    anchor.widthEmu_ = std::max<int64_t>(widthEmu, 0);
    anchor.heightEmu_ = std::max<int64_t>(heightEmu, 0);
    anchor.leftEmu_ = leftEmu;
    anchor.topEmu_ = topEmu;
    return anchor;
}

PointRect ObjectAnchor::rect(const AnchorGrid& geometry) const {
    PointRect rect;
    switch (placement_) {
    case Placement::MoveAndSize: {
        double right = 0;
        double bottom = 0;
        markerPoint(geometry, from_, rect.left, rect.top);
        markerPoint(geometry, to_, right, bottom);
        rect.width = std::max(right - rect.left, 0.0);
        rect.height = std::max(bottom - rect.top, 0.0);
        return rect;
    }
    case Placement::Move:
        markerPoint(geometry, from_, rect.left, rect.top);
        break;
    case Placement::FreeFloating:
        rect.left = emuToPoints(leftEmu_);
        rect.top = emuToPoints(topEmu_);
        break;
    }
    rect.width = emuToPoints(widthEmu_);
    rect.height = emuToPoints(heightEmu_);
    return rect;
}

void ObjectAnchor::setRect(const AnchorGrid& geometry, const PointRect& rect) {
    const double left = std::max(rect.left, 0.0);
    const double top = std::max(rect.top, 0.0);
    const double width = std::max(rect.width, 0.0);
    const double height = std::max(rect.height, 0.0);
    from_ = markerAt(geometry, left, top);
    to_ = markerAt(geometry, left + width, top + height);
    leftEmu_ = pointsToEmu(left);
    topEmu_ = pointsToEmu(top);
    widthEmu_ = pointsToEmu(width);
    heightEmu_ = pointsToEmu(height);
}

void ObjectAnchor::setPlacement(const AnchorGrid& geometry, Placement placement) {
    const PointRect current = rect(geometry);
    placement_ = placement;
    setRect(geometry, current);
}

CellMarker ObjectAnchor::from(const AnchorGrid& geometry) const {
    if (placement_ != Placement::FreeFloating) return from_;
    const PointRect current = rect(geometry);
    return markerAt(geometry, current.left, current.top);
}

CellMarker ObjectAnchor::to(const AnchorGrid& geometry) const {
    if (placement_ == Placement::MoveAndSize) return to_;
    const PointRect current = rect(geometry);
    return markerAt(geometry, current.left + current.width, current.top + current.height);
}

}  // namespace kbx::ooxml
