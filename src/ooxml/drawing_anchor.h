#pragma once
// Where a drawing object sits: rectangles in points and the cell markers
// (cell plus offset) that drawing parts anchor objects with.

#include <cstdint>

namespace kbx::ooxml {

inline constexpr int64_t kEmuPerPoint = 12700;

int64_t pointsToEmu(double points);
double emuToPoints(int64_t emu);

// The sizes of a sheet's rows and columns, in points. Indexes from 0.
class AnchorGrid {
public:
    virtual ~AnchorGrid() = default;
    virtual double columnWidthPoints(int32_t column) const = 0;
    virtual double rowHeightPoints(int32_t row) const = 0;
    // Distance from the sheet's left (top) edge to the column's (row's) left (top) edge.
    virtual double columnLeftPoints(int32_t column) const = 0;
    virtual double rowTopPoints(int32_t row) const = 0;
};

inline constexpr int32_t kLastColumnIndex = 16383;
inline constexpr int32_t kLastRowIndex = 1048575;

// A point of the sheet as a cell (indexes from 0) and an offset into it in EMU.
struct CellMarker {
    int32_t column = 0;
    int64_t columnOffset = 0;
    int32_t row = 0;
    int64_t rowOffset = 0;
    bool operator==(const CellMarker&) const = default;
};

struct PointRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

// How an object follows its cells when rows and columns change size.
enum class Placement : int32_t {
    MoveAndSize = 1,  // both corners stay on their cells
    Move = 2,         // the top-left corner stays on its cell, the size is kept
    FreeFloating = 3, // the object keeps its place and size on the sheet
};

// The cell marker of a point of the sheet. Points beyond the last row or
// column end on that row or column.
CellMarker markerAt(const AnchorGrid& geometry, double left, double top);
// The point of the sheet a marker stands for.
void markerPoint(const AnchorGrid& geometry, const CellMarker& marker, double& left, double& top);

// An object's anchor as kept while the workbook is open: what is fixed
// depends on the placement (both markers; the first marker and the size; or
// the absolute rectangle), the rest follows from the sheet's geometry.
class ObjectAnchor {
public:
    ObjectAnchor() = default;
    ObjectAnchor(const AnchorGrid& geometry, const PointRect& rect, Placement placement);
    // An anchor read from a drawing part.
    static ObjectAnchor fromMarkers(const CellMarker& from, const CellMarker& to, int64_t widthEmu, int64_t heightEmu,
                                    int64_t leftEmu, int64_t topEmu, Placement placement);

    PointRect rect(const AnchorGrid& geometry) const;
    void setRect(const AnchorGrid& geometry, const PointRect& rect);
    Placement placement() const { return placement_; }
    void setPlacement(const AnchorGrid& geometry, Placement placement);

    // The markers and extent to write for the current geometry.
    CellMarker from(const AnchorGrid& geometry) const;
    CellMarker to(const AnchorGrid& geometry) const;

private:
    Placement placement_ = Placement::Move;
    CellMarker from_;
    CellMarker to_;
    int64_t widthEmu_ = 0;
    int64_t heightEmu_ = 0;
    int64_t leftEmu_ = 0;
    int64_t topEmu_ = 0;
};

}  // namespace kbx::ooxml
