// A sheet's Pictures and Shapes collections and the pictures they add: each
// picture is embedded as a media part and anchored in the sheet's drawing
// part, which is created when the sheet has none and joined when it has one.

#include "engine/engine_pictures.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "engine/engine_hooks.h"
#include "engine/engine_objects.h"
#include "ooxml/drawing_anchor.h"
#include "ooxml/drawing_xml.h"
#include "ooxml/picture_probe.h"
#include "ooxml/xml_util.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

namespace {

constexpr const char* kDrawingRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing";
constexpr const char* kImageRelationship = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
constexpr const char* kDrawingContentType = "application/vnd.openxmlformats-officedocument.drawing+xml";

// Worksheet elements that come after <drawing>, in schema order.
constexpr const char* kElementsAfterDrawing[] = {"legacyDrawing",   "legacyDrawingHF", "drawingHF",
                                                 "picture",         "oleObjects",      "controls",
                                                 "webPublishItems", "tableParts",      "extLst"};

// The sheet model's row and column sizes, with indexes from 0.
class ModelGeometry : public SheetGeometry {
public:
    explicit ModelGeometry(const SheetModel& model) : model_(model) {}
    double columnWidthPoints(int32_t column) const override { return model_.columnWidthPoints(column + 1); }
    double rowHeightPoints(int32_t row) const override { return model_.rowHeightPoints(row + 1); }
    double columnLeftPoints(int32_t column) const override { return model_.columnLeft(column + 1); }
    double rowTopPoints(int32_t row) const override { return model_.rowTop(row + 1); }

private:
    const SheetModel& model_;
};

// The prefix the element's scope binds to the relationships namespace, if any.
std::optional<std::string> relationshipsPrefix(const pugi::xml_node& node) {
    for (pugi::xml_node scope = node; scope; scope = scope.parent()) {
        for (const pugi::xml_attribute& attribute : scope.attributes()) {
            const std::string_view name(attribute.name());
            if (name.substr(0, 6) == "xmlns:" && std::string_view(attribute.value()) == ns::kRelationships)
                return std::string(name.substr(6));
        }
    }
    return std::nullopt;
}

// The r:id of an element, whatever prefix its document uses.
std::string relationshipIdOf(const pugi::xml_node& element) {
    const std::optional<std::string> prefix = relationshipsPrefix(element);
    return prefix ? element.attribute((*prefix + ":id").c_str()).value() : std::string();
}

std::string fileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

bool isRelationshipsPart(const std::string& name) {
    return name.find("_rels/") != std::string::npos && name.size() > 5 &&
           name.compare(name.size() - 5, 5, ".rels") == 0;
}

// The drawing of one worksheet: its drawing part (created on first use when
// the sheet has none) and the pictures added in this session. The drawing's
// XML and relationships are kept here and reach the package in flush(), so
// a run of picture changes costs one serialisation.
class SheetDrawing : public std::enable_shared_from_this<SheetDrawing> {
public:
    explicit SheetDrawing(EngineWorksheet& sheet) : sheet_(&sheet), sheetRef_(sheet.weak_from_this()) {
        tracked_ = !sheetRef_.expired();
    }

    // The sheet, as long as it and its workbook are still open.
    EngineWorksheet& sheet() const {
        if ((tracked_ && sheetRef_.expired()) || !sheet_->workbook().isOpen())
            raiseSpreadsheet("The picture's workbook has been closed.");
        return *sheet_;
    }

    ModelGeometry geometry() const { return ModelGeometry(sheet().model()); }

    uint32_t add(const PictureFile& file, const std::string& path, const ObjectAnchor& anchor) {
        Package& package = sheet().workbook().package();
        loadDrawing();
        const std::string extension(mediaExtension(file.picture.format));
        const std::string media = newMediaPartName(package, extension);
        package.writePart(media, file.bytes);
        package.ensureDefault(extension, std::string(mediaContentType(file.picture.format)));
        privateMedia_.insert(media);

        NewPictureXml picture;
        picture.id = nextId_++;
        picture.name = "Picture " + std::to_string(picture.id - 1);
        picture.description = fileNameOf(path);
        picture.relationshipId = rels_.add(kImageRelationship, Package::relativeTarget(drawingPart_, media));
        picture.anchor = anchorXml(anchor);
        ++uses_[picture.relationshipId];
        drawing_->appendPicture(picture);
        dirty_ = true;
        return picture.id;
    }

    void update(uint32_t id, const ObjectAnchor& anchor) {
        loadDrawing();
        if (!drawing_->setAnchor(id, anchorXml(anchor))) raiseSpreadsheet("The picture is no longer in the sheet.");
        dirty_ = true;
    }

    void remove(uint32_t id) {
        loadDrawing();
        const auto removed = drawing_->removeObject(id);
        if (!removed) raiseSpreadsheet("The picture is no longer in the sheet.");
        dirty_ = true;
        for (const auto& [relationshipId, count] : *removed) {
            if ((uses_[relationshipId] -= count) > 0) continue;
            uses_.erase(relationshipId);
            dropImageRelationship(relationshipId);
        }
    }

    void flush() {
        if (!dirty_ || !drawing_) return;
        Package& package = sheet().workbook().package();
        package.writePart(drawingPart_, drawing_->serialize());
        package.setRelationships(drawingPart_, rels_);
        dirty_ = false;
    }

    // The sheet is being copied: the copy will share this drawing's media.
    void shareMedia() {
        flush();
        privateMedia_.clear();
    }

private:
    PictureAnchorXml anchorXml(const ObjectAnchor& anchor) const {
        const ModelGeometry grid = geometry();
        const PointRect rect = anchor.rect(grid);
        PictureAnchorXml xml;
        xml.from = anchor.from(grid);
        xml.to = anchor.to(grid);
        xml.leftEmu = pointsToEmu(rect.left);
        xml.topEmu = pointsToEmu(rect.top);
        xml.widthEmu = pointsToEmu(rect.width);
        xml.heightEmu = pointsToEmu(rect.height);
        xml.placement = anchor.placement();
        return xml;
    }

    // "xl/media/imageN.ext" with the lowest N no media image has, so that
    // pictures removed in this session (measured, then embedded anew) leave no gaps.
    static std::string newMediaPartName(const Package& package, const std::string& extension) {
        constexpr std::string_view prefix = "xl/media/image";
        std::set<unsigned long> taken;
        for (const std::string& name : package.partNames()) {
            if (name.compare(0, prefix.size(), prefix) != 0) continue;
            const size_t dot = name.find('.', prefix.size());
            const std::string digits = name.substr(prefix.size(), dot == std::string::npos ? dot : dot - prefix.size());
            if (!digits.empty() && digits.size() < 10 && digits.find_first_not_of("0123456789") == std::string::npos)
                taken.insert(std::stoul(digits));
        }
        unsigned long n = 1;
        while (taken.count(n)) ++n;
        return std::string(prefix) + std::to_string(n) + "." + extension;
    }

    // Finds the sheet's drawing part, or creates one and links the sheet to it.
    void loadDrawing() {
        EngineWorksheet& ws = sheet();
        Package& package = ws.workbook().package();
        const std::string sheetPart = ws.model().partName();
        if (drawing_ && sheetPart == sheetPartOfDrawing_ && package.hasPart(drawingPart_)) return;
        dirty_ = false;
        privateMedia_.clear();

        pugi::xml_node root = ws.model().xml().document_element();
        if (pugi::xml_node element = childNamed(root, "drawing")) {
            const Relationships rels = package.relationships(sheetPart);
            const Relationship* rel = rels.find(relationshipIdOf(element));
            if (rel != nullptr && !rel->external) {
                const std::string part = package.resolveTarget(sheetPart, rel->target);
                if (package.hasPart(part)) {
                    try {
                        drawing_ = DrawingXml::parse(package.readPart(part));
                    } catch (const std::invalid_argument& e) {
                        raiseBadFile(package.fileName(), part + ": " + e.what());
                    }
                    useDrawing(package, part, sheetPart);
                    return;
                }
            }
            root.remove_child(element);  // a dangling link: replaced below
        }
        createDrawing(ws, package, sheetPart);
    }

    void useDrawing(Package& package, const std::string& part, const std::string& sheetPart) {
        drawingPart_ = part;
        sheetPartOfDrawing_ = sheetPart;
        rels_ = package.relationships(part);
        uses_ = drawing_->relationshipUses();
        nextId_ = drawing_->nextObjectId();
    }

    void createDrawing(EngineWorksheet& ws, Package& package, const std::string& sheetPart) {
        const std::string part = package.uniquePartName("xl/drawings/drawing", ".xml");
        drawing_ = DrawingXml();
        package.writePart(part, drawing_->serialize());
        package.setOverride(part, kDrawingContentType);
        useDrawing(package, part, sheetPart);
        Relationships rels = package.relationships(sheetPart);
        const std::string id = rels.add(kDrawingRelationship, Package::relativeTarget(sheetPart, part));
        package.setRelationships(sheetPart, rels);

        pugi::xml_node root = ws.model().xml().document_element();
        pugi::xml_node next;
        for (const char* name : kElementsAfterDrawing)
            if ((next = childNamed(root, name))) break;
        const std::string elementName = prefixOf(root) + "drawing";
        pugi::xml_node element =
            next ? root.insert_child_before(elementName.c_str(), next) : root.append_child(elementName.c_str());
        std::optional<std::string> prefix = relationshipsPrefix(root);
        if (!prefix) {
            prefix = "r";
            element.append_attribute("xmlns:r") = ns::kRelationships;
        }
        element.append_attribute((*prefix + ":id").c_str()) = id.c_str();
        ws.model().markDirty();
    }

    // Drops the link to a picture's media once no object shows it, and the
    // media part itself when nothing else in the package refers to it.
    void dropImageRelationship(const std::string& relationshipId) {
        const Relationship* rel = rels_.find(relationshipId);
        if (rel == nullptr || rel->type != kImageRelationship) return;
        Package& package = sheet().workbook().package();
        const std::optional<std::string> media =
            rel->external ? std::nullopt : std::optional(package.resolveTarget(drawingPart_, rel->target));
        std::erase_if(rels_.items, [&](const Relationship& r) { return r.id == relationshipId; });
        if (!media) return;
        if (privateMedia_.erase(*media)) {
            package.removePart(*media);
            return;
        }
        flush();
        if (!referencedAnywhere(package, *media)) package.removePart(*media);
    }

    static bool referencedAnywhere(const Package& package, const std::string& part) {
        for (const std::string& name : package.partNames()) {
            if (!isRelationshipsPart(name)) continue;
            const size_t marker = name.rfind("_rels/");
            const std::string source = name.substr(0, marker) + name.substr(marker + 6, name.size() - marker - 11);
            for (const Relationship& r : package.relationships(source).items)
                if (!r.external && package.resolveTarget(source, r.target) == part) return true;
        }
        return false;
    }

    EngineWorksheet* sheet_;
    std::weak_ptr<EngineWorksheet> sheetRef_;
    bool tracked_ = false;
    std::optional<DrawingXml> drawing_;
    std::string drawingPart_;
    std::string sheetPartOfDrawing_;
    Relationships rels_;
    std::map<std::string, int> uses_;
    uint32_t nextId_ = 2;
    std::set<std::string> privateMedia_;
    bool dirty_ = false;
};

void checkFinite(double value, const char* what) {
    if (!std::isfinite(value)) raiseSpreadsheet(std::string("The picture's ") + what + " is not a number.");
}

class EnginePicture : public sheet::Picture, public std::enable_shared_from_this<EnginePicture> {
public:
    EnginePicture(std::shared_ptr<SheetDrawing> drawing, uint32_t id, ObjectAnchor anchor)
        : drawing_(std::move(drawing)), id_(id), anchor_(anchor) {}

    double Top() const override { return rect().top; }
    double Left() const override { return rect().left; }
    double Width() const override { return rect().width; }
    double Height() const override { return rect().height; }

    void SetTop(double points) override {
        checkFinite(points, "top");
        PointRect r = rect();
        r.top = points;
        move(r);
    }

    void SetLeft(double points) override {
        checkFinite(points, "left");
        PointRect r = rect();
        r.left = points;
        move(r);
    }

    void Select() override {
        EngineWorksheet& sheet = live();
        sheet.workbook().application().setSelection(shared_from_this(), &sheet.workbook());
    }

    void Cut() override {
        EngineWorksheet& sheet = live();
        drawing_->remove(id_);
        removed_ = true;
        sheet.workbook().application().setSelection(nullptr, nullptr);
    }

    void SetPlacement(int32_t placement) override {
        if (placement < 1 || placement > 3)
            raiseSpreadsheet("Placement " + std::to_string(placement) + " is not 1, 2 or 3.");
        live();
        anchor_.setPlacement(drawing_->geometry(), static_cast<ooxml::Placement>(placement));
        drawing_->update(id_, anchor_);
    }

    int32_t Placement() const override {
        live();
        return static_cast<int32_t>(anchor_.placement());
    }

private:
    EngineWorksheet& live() const {
        EngineWorksheet& sheet = drawing_->sheet();
        if (removed_) raiseSpreadsheet("The picture has been removed from the sheet.");
        return sheet;
    }

    PointRect rect() const {
        live();
        return anchor_.rect(drawing_->geometry());
    }

    void move(const PointRect& r) {
        anchor_.setRect(drawing_->geometry(), r);
        drawing_->update(id_, anchor_);
    }

    std::shared_ptr<SheetDrawing> drawing_;
    uint32_t id_;
    ObjectAnchor anchor_;
    bool removed_ = false;
};

// Pictures that are added start moving, not sizing, with their cells.
std::shared_ptr<sheet::Picture> addPicture(const std::shared_ptr<SheetDrawing>& drawing, const std::string& path,
                                           const PictureFile& file, const PointRect& rect) {
    const ObjectAnchor anchor(drawing->geometry(), rect, Placement::Move);
    const uint32_t id = drawing->add(file, path, anchor);
    return std::make_shared<EnginePicture>(drawing, id, anchor);
}

class EnginePictures : public sheet::Pictures {
public:
    explicit EnginePictures(EngineWorksheet& sheet) : drawing_(std::make_shared<SheetDrawing>(sheet)) {}

    std::shared_ptr<sheet::Picture> Insert(const std::string& file) override {
        EngineWorksheet& sheet = drawing_->sheet();
        const PictureFile picture = readPictureFile(file);
        const auto [row, column] = sheet.selectedCell();
        const PointRect rect{sheet.model().columnLeft(column), sheet.model().rowTop(row), picture.picture.widthPoints(),
                             picture.picture.heightPoints()};
        return addPicture(drawing_, file, picture, rect);
    }

    const std::shared_ptr<SheetDrawing>& drawing() const { return drawing_; }

private:
    std::shared_ptr<SheetDrawing> drawing_;
};

class EngineShapes : public sheet::Shapes {
public:
    explicit EngineShapes(std::shared_ptr<SheetDrawing> drawing) : drawing_(std::move(drawing)) {}

    std::shared_ptr<sheet::Picture> AddPicture(const std::string& file, bool linkToFile, bool saveWithDocument,
                                               double left, double top, double width, double height) override {
        drawing_->sheet();
        if (linkToFile) raiseSpreadsheet("Linked pictures are not supported: \"" + file + "\" must be embedded.");
        if (!saveWithDocument)
            raiseSpreadsheet("The picture \"" + file + "\" must be saved with the document when it is not linked.");
        for (const double value : {left, top, width, height}) checkFinite(value, "position or size");
        const PictureFile picture = readPictureFile(file);
        // A size of -1 keeps the picture's natural size, as spreadsheet programs do.
        const double w = width == -1 ? picture.picture.widthPoints() : width;
        const double h = height == -1 ? picture.picture.heightPoints() : height;
        if (w < 0 || h < 0) raiseSpreadsheet("The size of the picture \"" + file + "\" is negative.");
        return addPicture(drawing_, file, picture, PointRect{left, top, w, h});
    }

private:
    std::shared_ptr<SheetDrawing> drawing_;
};

}  // namespace

std::unique_ptr<sheet::Pictures> createPictures(EngineWorksheet& sheet) {
    sheet.model();  // a sheet without cells has no pictures either
    return std::make_unique<EnginePictures>(sheet);
}

void flushPictures(EngineWorksheet& sheet) {
    // A sheet whose pictures were never asked for has no pending changes.
    if (auto* pictures = dynamic_cast<EnginePictures*>(sheet.existingPictures())) pictures->drawing()->flush();
}

void prepareSheetCopy(EngineWorksheet& source) {
    if (auto* pictures = dynamic_cast<EnginePictures*>(&source.GetPictures())) pictures->drawing()->shareMedia();
}

void checkDrawingLinks(EngineWorksheet& sheet) {
    const pugi::xml_node element = childNamed(sheet.model().xml().document_element(), "drawing");
    if (!element) return;
    const Package& package = sheet.workbook().package();
    const std::string& file = package.fileName();
    const std::string sheetPart = sheet.model().partName();
    const Relationships sheetRels = package.relationships(sheetPart);
    const Relationship* link = sheetRels.find(relationshipIdOf(element));
    if (link == nullptr || link->external) raiseBadFile(file, "the drawing of '" + sheetPart + "' has no part");
    const std::string part = package.resolveTarget(sheetPart, link->target);
    if (!package.hasPart(part)) raiseBadFile(file, "the drawing part '" + part + "' of '" + sheetPart + "' is missing");
    std::optional<DrawingXml> drawing;
    try {
        drawing = DrawingXml::parse(package.readPart(part));
    } catch (const std::invalid_argument& e) {
        raiseBadFile(file, part + ": " + e.what());
    }
    const Relationships drawingRels = package.relationships(part);
    for (const auto& [id, uses] : drawing->relationshipUses()) {
        const Relationship* used = drawingRels.find(id);
        if (used == nullptr) raiseBadFile(file, "in '" + part + "', the relationship '" + id + "' is missing");
        if (used->external) continue;
        const std::string target = package.resolveTarget(part, used->target);
        if (!package.hasPart(target)) raiseBadFile(file, "in '" + part + "', the part '" + target + "' is missing");
    }
}

std::unique_ptr<sheet::Shapes> createShapes(EngineWorksheet& sheet) {
    // Shapes and Pictures share the sheet's drawing.
    auto& pictures = dynamic_cast<EnginePictures&>(sheet.GetPictures());
    return std::make_unique<EngineShapes>(pictures.drawing());
}

}  // namespace kbx::ooxml
