#include "ooxml/drawing_xml.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "ooxml/xml_util.h"

namespace kbx::ooxml {

namespace {

std::string_view localName(const char* qualified) {
    const std::string_view name(qualified);
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool isAnchor(const pugi::xml_node& node) {
    const std::string_view name = localName(node.name());
    return name == "twoCellAnchor" || name == "oneCellAnchor" || name == "absoluteAnchor";
}

bool isPositionChild(const pugi::xml_node& node) {
    const std::string_view name = localName(node.name());
    return name == "from" || name == "to" || name == "pos" || name == "ext";
}

std::string qualify(const std::string& prefix, std::string_view local) {
    return prefix.empty() ? std::string(local) : prefix + ":" + std::string(local);
}

std::optional<uint32_t> parseId(const char* text) {
    uint32_t value = 0;
    const std::string_view view(text);
    const auto result = std::from_chars(view.data(), view.data() + view.size(), value);
    if (result.ec != std::errc() || result.ptr != view.data() + view.size()) return std::nullopt;
    return value;
}

// The id of the first non-visual properties element (cNvPr) under `node`.
std::optional<uint32_t> objectIdOf(const pugi::xml_node& node) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        if (localName(child.name()) == "cNvPr") return parseId(child.attribute("id").value());
        if (const auto id = objectIdOf(child)) return id;
    }
    return std::nullopt;
}

void maxObjectId(const pugi::xml_node& node, uint32_t& highest) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        if (localName(child.name()) == "cNvPr") {
            if (const auto id = parseId(child.attribute("id").value())) highest = std::max(highest, *id);
        }
        maxObjectId(child, highest);
    }
}

// Each placement is written as the anchor that stores exactly what stays
// fixed: both cell markers, the first marker and the size, or the rectangle.
const char* anchorElementName(Placement placement) {
    switch (placement) {
    case Placement::MoveAndSize: return "twoCellAnchor";
    case Placement::Move: return "oneCellAnchor";
    case Placement::FreeFloating: return "absoluteAnchor";
    }
    return "oneCellAnchor";
}

class AnchorWriter {
public:
    AnchorWriter(std::string drawingPrefix, std::string mainPrefix)
        : xdr_(std::move(drawingPrefix)), a_(std::move(mainPrefix)) {}

    pugi::xml_node child(pugi::xml_node parent, std::string_view local, bool drawing = true) const {
        return parent.append_child(qualify(drawing ? xdr_ : a_, local).c_str());
    }

    void textChild(pugi::xml_node parent, std::string_view local, int64_t value) const {
        child(parent, local).text().set(static_cast<long long>(value));
    }

    void marker(pugi::xml_node node, const CellMarker& marker) const {
        textChild(node, "col", marker.column);
        textChild(node, "colOff", marker.columnOffset);
        textChild(node, "row", marker.row);
        textChild(node, "rowOff", marker.rowOffset);
    }

    // Names the anchor after the placement and writes its position children first.
    void position(pugi::xml_node anchor, const PictureAnchorXml& placement) const {
        anchor.set_name(qualify(xdr_, anchorElementName(placement.placement)).c_str());
        anchor.remove_attribute("editAs");
        pugi::xml_node first = anchor.first_child();
        auto insert = [&](std::string_view local) {
            const std::string name = qualify(xdr_, local);
            return first ? anchor.insert_child_before(name.c_str(), first) : anchor.append_child(name.c_str());
        };
        switch (placement.placement) {
        case Placement::MoveAndSize:
            anchor.append_attribute("editAs") = "twoCell";
            marker(insert("from"), placement.from);
            marker(insert("to"), placement.to);
            break;
        case Placement::Move:
            marker(insert("from"), placement.from);
            extent(insert("ext"), placement);
            break;
        case Placement::FreeFloating: {
            pugi::xml_node pos = insert("pos");
            pos.append_attribute("x").set_value(static_cast<long long>(placement.leftEmu));
            pos.append_attribute("y").set_value(static_cast<long long>(placement.topEmu));
            extent(insert("ext"), placement);
            break;
        }
        }
    }

    static void extent(pugi::xml_node ext, const PictureAnchorXml& placement) {
        ext.append_attribute("cx").set_value(static_cast<long long>(placement.widthEmu));
        ext.append_attribute("cy").set_value(static_cast<long long>(placement.heightEmu));
    }

    void transform(pugi::xml_node xfrm, const PictureAnchorXml& placement) const {
        xfrm.remove_children();
        pugi::xml_node off = child(xfrm, "off", false);
        off.append_attribute("x").set_value(static_cast<long long>(placement.leftEmu));
        off.append_attribute("y").set_value(static_cast<long long>(placement.topEmu));
        extent(child(xfrm, "ext", false), placement);
    }

    const std::string& mainPrefix() const { return a_; }

private:
    std::string xdr_;
    std::string a_;
};

pugi::xml_node findByLocalName(pugi::xml_node parent, std::string_view local) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && localName(child.name()) == local) return child;
    return {};
}

// Applies the namespace declarations of `node` to the set of prefixes bound
// to the relationships namespace.
void declareRelationshipPrefixes(const pugi::xml_node& node, std::set<std::string>& prefixes) {
    for (const pugi::xml_attribute& attribute : node.attributes()) {
        const std::string_view name(attribute.name());
        if (name.substr(0, 6) != "xmlns:") continue;
        if (std::string_view(attribute.value()) == ns::kRelationships)
            prefixes.insert(std::string(name.substr(6)));
        else
            prefixes.erase(std::string(name.substr(6)));
    }
}

bool declaresNamespaces(const pugi::xml_node& node) {
    for (const pugi::xml_attribute& attribute : node.attributes())
        if (std::string_view(attribute.name()).substr(0, 6) == "xmlns:") return true;
    return false;
}

// Counts the relationship ids that `node` and its descendants refer to
// (attributes in the relationships namespace: r:embed, r:link, r:id, ...).
void countRelationshipUses(const pugi::xml_node& node, const std::set<std::string>& inherited,
                           std::map<std::string, int>& uses) {
    std::set<std::string> own;
    const bool declares = declaresNamespaces(node);
    if (declares) {
        own = inherited;
        declareRelationshipPrefixes(node, own);
    }
    const std::set<std::string>& prefixes = declares ? own : inherited;
    for (const pugi::xml_attribute& attribute : node.attributes()) {
        const std::string_view name(attribute.name());
        const size_t colon = name.find(':');
        if (colon == std::string_view::npos || name.substr(0, 6) == "xmlns:") continue;
        if (prefixes.count(std::string(name.substr(0, colon)))) ++uses[attribute.value()];
    }
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element) countRelationshipUses(child, prefixes, uses);
}

// The relationships prefixes in scope for the children of `node`.
std::set<std::string> prefixesInScope(const pugi::xml_node& node) {
    std::vector<pugi::xml_node> chain;
    for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent()) chain.push_back(n);
    std::set<std::string> prefixes;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) declareRelationshipPrefixes(*it, prefixes);
    return prefixes;
}

}  // namespace

DrawingXml::DrawingXml() : DrawingXml(true) {}

DrawingXml::DrawingXml(bool createRoot) : document_(std::make_unique<pugi::xml_document>()) {
    if (!createRoot) return;
    pugi::xml_node root = startPart(*document_, "xdr:wsDr", nullptr);
    root.append_attribute("xmlns:xdr") = ns::kSpreadsheetDrawing;
    root.append_attribute("xmlns:a") = ns::kDrawingMain;
}

DrawingXml DrawingXml::parse(std::string_view xml) {
    if (!isValidUtf8(xml)) throw std::invalid_argument("drawing XML is not valid UTF-8");
    if (xml.find("<!DOCTYPE") != std::string_view::npos)
        throw std::invalid_argument("drawing XML carries a document type declaration");
    DrawingXml drawing(false);
    const pugi::xml_parse_result result =
        drawing.document_->load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_declaration);
    if (!result) throw std::invalid_argument(std::string("drawing XML is not well-formed: ") + result.description());
    const pugi::xml_node root = drawing.document_->document_element();
    if (localName(root.name()) != "wsDr") throw std::invalid_argument("drawing XML has no wsDr root element");
    return drawing;
}

uint32_t DrawingXml::nextObjectId() const {
    uint32_t highest = 1;  // id 1 is left to the drawing itself, as spreadsheet programs do
    maxObjectId(document_->document_element(), highest);
    return highest + 1;
}

size_t DrawingXml::objectCount() const {
    size_t count = 0;
    for (pugi::xml_node child : document_->document_element().children())
        if (isAnchor(child)) ++count;
    return count;
}

// The prefix the root binds to a namespace; binds one when none does, the
// usual one (xdr, a, r) where it is free.
std::string DrawingXml::prefixFor(const char* namespaceUri) {
    pugi::xml_node root = document_->document_element();
    for (const pugi::xml_attribute& attribute : root.attributes()) {
        const std::string_view name(attribute.name());
        if (std::string_view(attribute.value()) != namespaceUri) continue;
        if (name == "xmlns") return "";
        if (name.substr(0, 6) == "xmlns:") return std::string(name.substr(6));
    }
    const std::string_view uri(namespaceUri);
    const std::string usual = uri == ns::kRelationships ? "r" : uri == ns::kDrawingMain ? "a" : "xdr";
    for (int n = -1;; ++n) {
        const std::string candidate = n < 0 ? usual : "kbx" + std::to_string(n);
        if (!root.attribute(("xmlns:" + candidate).c_str())) {
            root.append_attribute(("xmlns:" + candidate).c_str()) = namespaceUri;
            return candidate;
        }
    }
}

void DrawingXml::appendPicture(const NewPictureXml& picture) {
    const AnchorWriter writer(prefixFor(ns::kSpreadsheetDrawing), prefixFor(ns::kDrawingMain));
    const std::string r = prefixFor(ns::kRelationships);

    pugi::xml_node anchor = writer.child(document_->document_element(), "oneCellAnchor");
    if (indexed_) index_.emplace(picture.id, anchor);
    pugi::xml_node pic = writer.child(anchor, "pic");
    writer.child(anchor, "clientData");
    writer.position(anchor, picture.anchor);

    pugi::xml_node nvPicPr = writer.child(pic, "nvPicPr");
    pugi::xml_node cNvPr = writer.child(nvPicPr, "cNvPr");
    cNvPr.append_attribute("id") = picture.id;
    cNvPr.append_attribute("name") = picture.name.c_str();
    cNvPr.append_attribute("descr") = picture.description.c_str();
    pugi::xml_node cNvPicPr = writer.child(nvPicPr, "cNvPicPr");
    writer.child(cNvPicPr, "picLocks", false).append_attribute("noChangeAspect") = "1";

    pugi::xml_node blipFill = writer.child(pic, "blipFill");
    pugi::xml_node blip = writer.child(blipFill, "blip", false);
    blip.append_attribute(qualify(r, "embed").c_str()) = picture.relationshipId.c_str();
    writer.child(writer.child(blipFill, "stretch", false), "fillRect", false);

    pugi::xml_node spPr = writer.child(pic, "spPr");
    writer.transform(writer.child(spPr, "xfrm", false), picture.anchor);
    pugi::xml_node geometry = writer.child(spPr, "prstGeom", false);
    geometry.append_attribute("prst") = "rect";
    writer.child(geometry, "avLst", false);
}

pugi::xml_node DrawingXml::anchorOf(uint32_t id) const {
    if (!indexed_) {
        for (pugi::xml_node child : document_->document_element().children())
            if (isAnchor(child))
                if (const auto objectId = objectIdOf(child)) index_.emplace(*objectId, child);
        indexed_ = true;
    }
    const auto found = index_.find(id);
    return found == index_.end() ? pugi::xml_node() : found->second;
}

bool DrawingXml::setAnchor(uint32_t id, const PictureAnchorXml& placement) {
    pugi::xml_node anchor = anchorOf(id);
    if (!anchor) return false;
    const AnchorWriter writer(prefixFor(ns::kSpreadsheetDrawing), prefixFor(ns::kDrawingMain));

    for (pugi::xml_node child = anchor.first_child(); child;) {
        pugi::xml_node next = child.next_sibling();
        if (isPositionChild(child)) anchor.remove_child(child);
        child = next;
    }
    writer.position(anchor, placement);

    // Keep the object's own transform in step with its anchor.
    if (pugi::xml_node pic = findByLocalName(anchor, "pic")) {
        pugi::xml_node spPr = findByLocalName(pic, "spPr");
        if (!spPr) spPr = writer.child(pic, "spPr");
        pugi::xml_node xfrm = findByLocalName(spPr, "xfrm");
        if (!xfrm) xfrm = spPr.prepend_child(qualify(writer.mainPrefix(), "xfrm").c_str());
        writer.transform(xfrm, placement);
    }
    return true;
}

std::optional<std::map<std::string, int>> DrawingXml::removeObject(uint32_t id) {
    pugi::xml_node anchor = anchorOf(id);
    if (!anchor) return std::nullopt;
    std::map<std::string, int> uses;
    countRelationshipUses(anchor, prefixesInScope(anchor.parent()), uses);
    index_.erase(id);
    document_->document_element().remove_child(anchor);
    return uses;
}

std::map<std::string, int> DrawingXml::relationshipUses() const {
    std::map<std::string, int> uses;
    countRelationshipUses(document_->document_element(), {}, uses);
    return uses;
}

std::set<std::string> DrawingXml::referencedRelationshipIds() const {
    std::set<std::string> ids;
    for (const auto& [id, count] : relationshipUses()) ids.insert(id);
    return ids;
}

std::string DrawingXml::serialize() const {
    std::ostringstream out;
    document_->save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

}  // namespace kbx::ooxml
