#pragma once
// The drawing part of one worksheet as pictures are added, moved and removed:
// each picture is embedded as a media part and anchored in the sheet's drawing
// part, which is created when the sheet has none and joined when it has one.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "ooxml/drawing_anchor.h"
#include "ooxml/drawing_xml.h"
#include "ooxml/relationships.h"

namespace kbx::ooxml {

class Package;
class SheetModel;
struct PictureFile;

// A sheet model's rows and columns as drawing anchors count them (indexes from 0).
class SheetGrid : public AnchorGrid {
public:
    explicit SheetGrid(const SheetModel& model) : model_(model) {}
    double columnWidthPoints(int32_t column) const override;
    double rowHeightPoints(int32_t row) const override;
    double columnLeftPoints(int32_t column) const override;
    double rowTopPoints(int32_t row) const override;

private:
    const SheetModel& model_;
};

// The drawing's XML and relationships are kept here and reach the package in
// flush(), so a run of picture changes costs one serialisation. Every call
// names the package and the sheet's model as they are now (a model may be
// released and read again while the sheet lives).
class SheetDrawing {
public:
    // Embeds a picture file and anchors it at `rect`; returns its object id.
    uint32_t addPicture(Package& package, SheetModel& sheet, const PictureFile& file, const std::string& path,
                        const PointRect& rect, Placement placement);
    // The anchor of a picture added here, or nullptr once it was removed.
    const ObjectAnchor* anchorOf(uint32_t id) const;
    void setAnchor(Package& package, SheetModel& sheet, uint32_t id, const ObjectAnchor& anchor);
    void removePicture(Package& package, SheetModel& sheet, uint32_t id);
    // Writes pending changes into the package.
    void flush(Package& package);
    // The sheet is being copied: the copy will share this drawing's media.
    void shareMedia(Package& package);

private:
    void load(Package& package, SheetModel& sheet);
    void use(Package& package, const std::string& part, const std::string& sheetPart);
    void create(Package& package, SheetModel& sheet);
    PictureAnchorXml anchorXml(const SheetModel& sheet, const ObjectAnchor& anchor) const;
    void dropImageRelationship(Package& package, const std::string& relationshipId);

    std::optional<DrawingXml> drawing_;
    std::string drawingPart_;
    std::string sheetPartOfDrawing_;
    Relationships rels_;
    std::map<std::string, int> uses_;
    uint32_t nextId_ = 2;
    std::set<std::string> privateMedia_;
    std::map<uint32_t, ObjectAnchor> pictures_;
    bool dirty_ = false;
};

// Refuses (error 1004 naming the file) a worksheet whose drawing is missing
// or shows an object whose relationship or part is missing: such a drawing
// would be saved into a file that spreadsheet programs cannot read.
void checkDrawingLinks(const Package& package, const SheetModel& sheet);

}  // namespace kbx::ooxml
