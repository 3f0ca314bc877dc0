#include "ooxml/drawing_xml.h"

#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "ooxml/drawing_anchor.h"
#include "support/test_support.h"

namespace kbx::ooxml {
namespace {

// Columns 48 points and rows 15 points wide unless set otherwise.
class GridGeometry : public SheetGeometry {
public:
    std::map<int32_t, double> columnWidths;
    std::map<int32_t, double> rowHeights;

    double columnWidthPoints(int32_t column) const override {
        const auto it = columnWidths.find(column);
        return it == columnWidths.end() ? 48.0 : it->second;
    }
    double rowHeightPoints(int32_t row) const override {
        const auto it = rowHeights.find(row);
        return it == rowHeights.end() ? 15.0 : it->second;
    }
    double columnLeftPoints(int32_t column) const override {
        double left = column * 48.0;
        for (const auto& [index, width] : columnWidths)
            if (index < column) left += width - 48.0;
        return left;
    }
    double rowTopPoints(int32_t row) const override {
        double top = row * 15.0;
        for (const auto& [index, height] : rowHeights)
            if (index < row) top += height - 15.0;
        return top;
    }
};

TEST(DrawingAnchor, MarkersFollowRowsAndColumnsByPlacement) {
    GridGeometry grid;
    grid.columnWidths[1] = 100.0;  // B
    const PointRect atB3{48.0, 30.0, 200.0, 100.0};

    const ObjectAnchor moveOnly(grid, atB3, Placement::Move);
    EXPECT_EQ(moveOnly.from(grid), (CellMarker{1, 0, 2, 0}));
    // Right edge 248 = B (48..148) + C (148..196) + 52 into D (196..244) -> 4 into E.
    EXPECT_EQ(moveOnly.to(grid), (CellMarker{4, pointsToEmu(4.0), 8, pointsToEmu(10.0)}));

    ObjectAnchor moveAndSize(grid, atB3, Placement::MoveAndSize);
    ObjectAnchor free(grid, atB3, Placement::FreeFloating);

    // Row 1 (index 0) grows by 20 points and column A narrows by 8.
    grid.rowHeights[0] = 35.0;
    grid.columnWidths[0] = 40.0;

    const PointRect moved = moveOnly.rect(grid);
    EXPECT_DOUBLE_EQ(moved.left, 40.0);
    EXPECT_DOUBLE_EQ(moved.top, 50.0);
    EXPECT_DOUBLE_EQ(moved.width, 200.0);
    EXPECT_DOUBLE_EQ(moved.height, 100.0);

    const PointRect stayed = free.rect(grid);
    EXPECT_DOUBLE_EQ(stayed.left, 48.0);
    EXPECT_DOUBLE_EQ(stayed.top, 30.0);
    EXPECT_EQ(free.from(grid), markerAt(grid, 48.0, 30.0));

    // Widening a column inside the picture stretches a move-and-size picture only.
    grid.columnWidths[2] = 68.0;  // C +20
    EXPECT_DOUBLE_EQ(moveAndSize.rect(grid).width, 220.0);
    EXPECT_DOUBLE_EQ(moveOnly.rect(grid).width, 200.0);

    // Changing placement keeps the current rectangle.
    moveAndSize.setPlacement(grid, Placement::Move);
    grid.columnWidths[2] = 48.0;
    EXPECT_DOUBLE_EQ(moveAndSize.rect(grid).width, 220.0);

    // Points beyond the sheet's edges end on the last cell, never outside it.
    const CellMarker far = markerAt(grid, 1e12, 1e12);
    EXPECT_EQ(far.column, kLastColumnIndex);
    EXPECT_EQ(far.row, kLastRowIndex);
    EXPECT_EQ(markerAt(grid, -5.0, -5.0), (CellMarker{0, 0, 0, 0}));
}

PictureAnchorXml anchorXml(const CellMarker& from, const CellMarker& to, Placement placement) {
    PictureAnchorXml anchor;
    anchor.from = from;
    anchor.to = to;
    anchor.leftEmu = 12700;
    anchor.topEmu = 25400;
    anchor.widthEmu = 200 * kEmuPerPoint;
    anchor.heightEmu = 100 * kEmuPerPoint;
    anchor.placement = placement;
    return anchor;
}

TEST(DrawingXml, NewPartHoldsAddedPicturesAndLosesCutOnes) {
    DrawingXml drawing;
    EXPECT_EQ(drawing.nextObjectId(), 2u);
    NewPictureXml first{2, "Picture 1", "a.png", "rId1", anchorXml({1, 0, 2, 0}, {5, 0, 9, 0}, Placement::Move)};
    drawing.appendPicture(first);
    NewPictureXml second{3, "Picture 2", "b.png", "rId2", anchorXml({0, 0, 0, 0}, {2, 0, 3, 0}, Placement::Move)};
    drawing.appendPicture(second);
    EXPECT_EQ(drawing.objectCount(), 2u);
    EXPECT_EQ(drawing.nextObjectId(), 4u);
    EXPECT_EQ(drawing.referencedRelationshipIds(), (std::set<std::string>{"rId1", "rId2"}));

    EXPECT_TRUE(drawing.setAnchor(3, anchorXml({7, 100, 8, 200}, {9, 0, 12, 0}, Placement::MoveAndSize)));
    EXPECT_FALSE(drawing.setAnchor(42, anchorXml({}, {}, Placement::Move)));
    EXPECT_EQ(drawing.removeObject(2), (std::map<std::string, int>{{"rId1", 1}}));
    EXPECT_FALSE(drawing.removeObject(2).has_value());
    EXPECT_EQ(drawing.referencedRelationshipIds(), (std::set<std::string>{"rId2"}));

    // Read the result with an independent XML reader.
    test::TempDir dir;
    const std::string path = dir.file("drawing1.xml");
    std::ofstream(path) << drawing.serialize();
    const std::string out = test::runPython(R"(
import sys, xml.etree.ElementTree as ET
X = '{http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing}'
A = '{http://schemas.openxmlformats.org/drawingml/2006/main}'
R = '{http://schemas.openxmlformats.org/officeDocument/2006/relationships}'
root = ET.parse(sys.argv[1]).getroot()
for anchor in root:
    f = anchor.find(X + 'from'); t = anchor.find(X + 'to')
    blip = anchor.find('.//' + A + 'blip'); ext = anchor.find('.//' + A + 'ext')
    cnv = anchor.find('.//' + X + 'cNvPr')
    print(anchor.tag.split('}')[1], anchor.get('editAs'), cnv.get('id'), cnv.get('name'), blip.get(R + 'embed'),
          [int(f.find(X + n).text) for n in ('col', 'colOff', 'row', 'rowOff')],
          [int(t.find(X + n).text) for n in ('col', 'row')], ext.get('cx'), ext.get('cy'))
)",
                                            {path});
    EXPECT_EQ(out, "twoCellAnchor twoCell 3 Picture 2 rId2 [7, 100, 8, 200] [9, 12] 2540000 1270000\n");
}

TEST(DrawingXml, JoinsADrawingWithOtherPrefixesAndKeepsItsObjects) {
    // A drawing as another program writes it: default namespace, r declared
    // on the element, a chart frame and a one-cell-anchored picture.
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<wsDr xmlns="http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing" xmlns:d="http://schemas.openxmlformats.org/drawingml/2006/main">
<oneCellAnchor><from><col>0</col><colOff>0</colOff><row>0</row><rowOff>0</rowOff></from><ext cx="100" cy="100"/>
<pic><nvPicPr><cNvPr id="7" name="Image 1"/><cNvPicPr/></nvPicPr><blipFill><d:blip xmlns:q="http://schemas.openxmlformats.org/officeDocument/2006/relationships" q:embed="rId4"/></blipFill><spPr/></pic><clientData/></oneCellAnchor>
<absoluteAnchor><pos x="0" y="0"/><ext cx="10" cy="10"/><graphicFrame><nvGraphicFramePr><cNvPr id="9" name="Chart 1"/><cNvGraphicFramePr/></nvGraphicFramePr><xfrm/><d:graphic><d:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart"><c:chart xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" r:id="rId5"/></d:graphicData></d:graphic></graphicFrame><clientData/></absoluteAnchor>
</wsDr>)";
    DrawingXml drawing = DrawingXml::parse(xml);
    EXPECT_EQ(drawing.objectCount(), 2u);
    EXPECT_EQ(drawing.nextObjectId(), 10u);
    EXPECT_EQ(drawing.referencedRelationshipIds(), (std::set<std::string>{"rId4", "rId5"}));
    drawing.appendPicture({10, "Picture 10", "c.png", "rId6", anchorXml({3, 0, 3, 0}, {6, 0, 9, 0}, Placement::Move)});
    // The template's own picture can be moved and its placement changed.
    EXPECT_TRUE(drawing.setAnchor(7, anchorXml({1, 0, 1, 0}, {2, 0, 2, 0}, Placement::MoveAndSize)));
    EXPECT_TRUE(drawing.setAnchor(9, anchorXml({1, 0, 1, 0}, {2, 0, 2, 0}, Placement::FreeFloating)));

    test::TempDir dir;
    const std::string path = dir.file("drawing1.xml");
    std::ofstream(path) << drawing.serialize();
    const std::string out = test::runPython(R"(
import sys, xml.etree.ElementTree as ET
X = '{http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing}'
A = '{http://schemas.openxmlformats.org/drawingml/2006/main}'
R = '{http://schemas.openxmlformats.org/officeDocument/2006/relationships}'
root = ET.parse(sys.argv[1]).getroot()
for anchor in root:
    cnv = anchor.find('.//' + X + 'cNvPr')
    blip = anchor.find('.//' + A + 'blip')
    chart = anchor.find('.//{http://schemas.openxmlformats.org/drawingml/2006/chart}chart')
    ref = blip.get(R + 'embed') if blip is not None else chart.get(R + 'id')
    f = anchor.find(X + 'from'); ext = anchor.find(X + 'ext'); pos = anchor.find(X + 'pos')
    col = f.find(X + 'col').text if f is not None else '-'
    size = ext.get('cx') + 'x' + ext.get('cy') if ext is not None else '-'
    at = pos.get('x') + ',' + pos.get('y') if pos is not None else '-'
    print(anchor.tag.split('}')[1], anchor.get('editAs'), cnv.get('id'), ref, col, size, at)
)",
                                            {path});
    EXPECT_EQ(out,
              "twoCellAnchor twoCell 7 rId4 1 - -\n"
              "absoluteAnchor None 9 rId5 - 2540000x1270000 12700,25400\n"
              "oneCellAnchor None 10 rId6 3 2540000x1270000 -\n");

    EXPECT_THROW(DrawingXml::parse("<wsDr><unclosed></wsDr>"), std::invalid_argument);
    EXPECT_THROW(DrawingXml::parse("<worksheet/>"), std::invalid_argument);
    EXPECT_THROW(DrawingXml::parse("<wsDr>\xff\xfe</wsDr>"), std::invalid_argument);
    EXPECT_THROW(DrawingXml::parse("<!DOCTYPE wsDr [<!ENTITY a \"aaaa\">]><wsDr>&a;</wsDr>"), std::invalid_argument);
}

}  // namespace
}  // namespace kbx::ooxml
