#include "ooxml/sheet_drawing.h"

#include <filesystem>
#include <stdexcept>

#include "ooxml/content_types.h"
#include "ooxml/package.h"
#include "ooxml/part_names.h"
#include "ooxml/picture_probe.h"
#include "ooxml/sheet_model.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

double SheetGrid::columnWidthPoints(int32_t column) const { return model_.columnWidthPoints(column + 1); }
double SheetGrid::rowHeightPoints(int32_t row) const { return model_.rowHeightPoints(row + 1); }
double SheetGrid::columnLeftPoints(int32_t column) const { return model_.columnLeft(column + 1); }
double SheetGrid::rowTopPoints(int32_t row) const { return model_.rowTop(row + 1); }

namespace {

bool isRelationshipsPart(const std::string& name) {
    return name.find("_rels/") != std::string::npos && name.size() > 5 &&
           name.compare(name.size() - 5, 5, ".rels") == 0;
}

// "xl/media/imageN.ext" with the lowest N no media image has, so that
// pictures removed in this session (measured, then embedded anew) leave no gaps.
std::string newMediaPartName(const Package& package, const std::string& extension) {
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

bool referencedAnywhere(const Package& package, const std::string& part) {
    for (const std::string& name : package.partNames()) {
        if (!isRelationshipsPart(name)) continue;
        const size_t marker = name.rfind("_rels/");
        const std::string source = name.substr(0, marker) + name.substr(marker + 6, name.size() - marker - 11);
        for (const Relationship& r : package.relationships(source).items)
            if (r.namesPart() && package.resolveTarget(source, r.target) == part) return true;
    }
    return false;
}

DrawingXml parseDrawing(const Package& package, const std::string& part) {
    try {
        return DrawingXml::parse(package.readPart(part));
    } catch (const std::invalid_argument& e) {
        raiseBadFile(package.fileName(), part + ": " + e.what());
    }
}

}  // namespace

PictureAnchorXml SheetDrawing::anchorXml(const SheetModel& sheet, const ObjectAnchor& anchor) const {
    const SheetGrid grid(sheet);
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

uint32_t SheetDrawing::addPicture(Package& package, SheetModel& sheet, const PictureFile& file,
                                  const std::string& path, const PointRect& rect, Placement placement) {
    load(package, sheet);
    const ObjectAnchor anchor(SheetGrid(sheet), rect, placement);
    const std::string extension(mediaExtension(file.picture.format));
    const std::string media = newMediaPartName(package, extension);
    package.writePart(media, file.bytes);
    package.ensureDefault(extension, std::string(mediaContentType(file.picture.format)));
    privateMedia_.insert(media);

    NewPictureXml picture;
    picture.id = nextId_++;
    picture.name = "Picture " + std::to_string(picture.id - 1);
    picture.description = std::filesystem::path(path).filename().string();
    picture.relationshipId = rels_.add("image", relativeTarget(drawingPart_, media));
    picture.anchor = anchorXml(sheet, anchor);
    ++uses_[picture.relationshipId];
    drawing_->appendPicture(picture);
    pictures_[picture.id] = anchor;
    dirty_ = true;
    return picture.id;
}

const ObjectAnchor* SheetDrawing::anchorOf(uint32_t id) const {
    const auto it = pictures_.find(id);
    return it == pictures_.end() ? nullptr : &it->second;
}

void SheetDrawing::setAnchor(Package& package, SheetModel& sheet, uint32_t id, const ObjectAnchor& anchor) {
    load(package, sheet);
    if (!drawing_->setAnchor(id, anchorXml(sheet, anchor))) raiseSpreadsheet("The picture is no longer in the sheet.");
    pictures_[id] = anchor;
    dirty_ = true;
}

void SheetDrawing::removePicture(Package& package, SheetModel& sheet, uint32_t id) {
    load(package, sheet);
    const auto removed = drawing_->removeObject(id);
    if (!removed) raiseSpreadsheet("The picture is no longer in the sheet.");
    pictures_.erase(id);
    dirty_ = true;
    for (const auto& [relationshipId, count] : *removed) {
        if ((uses_[relationshipId] -= count) > 0) continue;
        uses_.erase(relationshipId);
        dropImageRelationship(package, relationshipId);
    }
}

void SheetDrawing::flush(Package& package) {
    if (!dirty_ || !drawing_) return;
    package.writePart(drawingPart_, drawing_->serialize());
    package.setRelationships(drawingPart_, rels_);
    dirty_ = false;
}

void SheetDrawing::shareMedia(Package& package) {
    flush(package);
    privateMedia_.clear();
}

// Finds the sheet's drawing part, or creates one and links the sheet to it.
void SheetDrawing::load(Package& package, SheetModel& sheet) {
    const std::string& sheetPart = sheet.partName();
    if (drawing_ && sheetPart == sheetPartOfDrawing_ && package.hasPart(drawingPart_)) return;
    dirty_ = false;
    privateMedia_.clear();
    if (sheet.hasDrawing()) {
        const Relationships sheetRels = package.relationships(sheetPart);
        const Relationship* rel = sheetRels.find(sheet.drawingRelationshipId());
        const std::string part = rel != nullptr ? package.existingTarget(sheetPart, *rel) : std::string();
        if (!part.empty()) {
            drawing_ = parseDrawing(package, part);
            use(package, part, sheetPart);
            return;
        }
        sheet.removeDrawing();  // a dangling link: replaced below
    }
    create(package, sheet);
}

void SheetDrawing::use(Package& package, const std::string& part, const std::string& sheetPart) {
    drawingPart_ = part;
    sheetPartOfDrawing_ = sheetPart;
    rels_ = package.relationships(part);
    uses_ = drawing_->relationshipUses();
    nextId_ = drawing_->nextObjectId();
}

void SheetDrawing::create(Package& package, SheetModel& sheet) {
    const std::string& sheetPart = sheet.partName();
    const std::string part = package.uniquePartName("xl/drawings/drawing", ".xml");
    drawing_ = DrawingXml();
    package.writePart(part, drawing_->serialize());
    package.setOverride(part, contentType::kDrawing);
    use(package, part, sheetPart);
    Relationships rels = package.relationships(sheetPart);
    const std::string id = rels.add("drawing", relativeTarget(sheetPart, part));
    package.setRelationships(sheetPart, rels);
    sheet.linkDrawing(id);
}

// Drops the link to a picture's media once no object shows it, and the
// media part itself when nothing else in the package refers to it.
void SheetDrawing::dropImageRelationship(Package& package, const std::string& relationshipId) {
    const Relationship* rel = rels_.find(relationshipId);
    if (rel == nullptr || !rel->is("image")) return;
    const std::optional<std::string> media =
        rel->namesPart() ? std::optional(package.resolveTarget(drawingPart_, rel->target)) : std::nullopt;
    rels_.remove(relationshipId);
    if (!media) return;
    if (privateMedia_.erase(*media)) {
        package.removePart(*media);
        return;
    }
    flush(package);
    if (!referencedAnywhere(package, *media)) package.removePart(*media);
}

void checkDrawingLinks(const Package& package, const SheetModel& sheet) {
    if (!sheet.hasDrawing()) return;
    const std::string& file = package.fileName();
    const std::string& sheetPart = sheet.partName();
    const Relationships sheetRels = package.relationships(sheetPart);
    const Relationship* link = sheetRels.find(sheet.drawingRelationshipId());
    if (link == nullptr || !link->namesPart()) raiseBadFile(file, "the drawing of '" + sheetPart + "' has no part");
    const std::string part = package.resolveTarget(sheetPart, link->target);
    if (!package.hasPart(part)) raiseBadFile(file, "the drawing part '" + part + "' of '" + sheetPart + "' is missing");
    const DrawingXml drawing = parseDrawing(package, part);
    const Relationships drawingRels = package.relationships(part);
    for (const auto& [id, uses] : drawing.relationshipUses()) {
        const Relationship* used = drawingRels.find(id);
        if (used == nullptr) raiseBadFile(file, "in '" + part + "', the relationship '" + id + "' is missing");
        if (!used->namesPart()) continue;
        const std::string target = package.resolveTarget(part, used->target);
        if (!package.hasPart(target)) raiseBadFile(file, "in '" + part + "', the part '" + target + "' is missing");
    }
}

}  // namespace kbx::ooxml
