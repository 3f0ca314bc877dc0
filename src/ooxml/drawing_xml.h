#pragma once
// The XML of a sheet's drawing part (xdr:wsDr): reading a template's drawing,
// adding embedded pictures to it, moving and removing them.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include <pugixml.hpp>

#include "ooxml/drawing_anchor.h"
#include "ooxml/xml_util.h"

namespace kbx::ooxml {

namespace ns {
inline constexpr const char* kSpreadsheetDrawing = "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing";
inline constexpr const char* kDrawingMain = "http://schemas.openxmlformats.org/drawingml/2006/main";
}  // namespace ns

// What is written for one picture: its anchor for the current geometry.
struct PictureAnchorXml {
    CellMarker from;
    CellMarker to;
    int64_t leftEmu = 0;
    int64_t topEmu = 0;
    int64_t widthEmu = 0;
    int64_t heightEmu = 0;
    Placement placement = Placement::Move;
};

struct NewPictureXml {
    uint32_t id = 0;
    std::string name;         // "Picture 3"
    std::string description;  // the file's name
    std::string relationshipId;  // of the media part, from the drawing part
    PictureAnchorXml anchor;
};

class DrawingXml {
public:
    // An empty drawing part.
    DrawingXml();
    // Parses a drawing part; throws std::invalid_argument when it is no
    // well-formed spreadsheet drawing.
    static DrawingXml parse(std::string_view xml);

    DrawingXml(DrawingXml&&) = default;
    DrawingXml& operator=(DrawingXml&&) = default;

    // One more than the highest object id in the part (at least 1).
    uint32_t nextObjectId() const;
    // Number of anchored objects (pictures, charts, shapes, groups).
    size_t objectCount() const;

    void appendPicture(const NewPictureXml& picture);
    // Rewrites the anchor of the object with this id; false if there is none.
    bool setAnchor(uint32_t id, const PictureAnchorXml& anchor);
    // Removes the anchored object with this id and answers how often its XML
    // referred to each relationship id; nullopt if there is no such object.
    std::optional<std::map<std::string, int>> removeObject(uint32_t id);
    // How often the part refers to each relationship id (r:embed, r:link, r:id, ...).
    std::map<std::string, int> relationshipUses() const;
    std::set<std::string> referencedRelationshipIds() const;

    std::string serialize() const;

private:
    explicit DrawingXml(bool createRoot);
    std::string prefixFor(const char* namespaceUri);
    pugi::xml_node anchorOf(uint32_t id) const;

    std::unique_ptr<pugi::xml_document> document_;
    // Anchors by object id, built on first look-up.
    mutable std::unordered_map<uint32_t, pugi::xml_node> index_;
    mutable bool indexed_ = false;
};

}  // namespace kbx::ooxml
