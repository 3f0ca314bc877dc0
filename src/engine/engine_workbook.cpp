#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>

#include "engine/engine_formats.h"
#include "engine/engine_hooks.h"
#include "engine/engine_objects.h"
#include "files/atomic_file.h"
#include "files/input_file.h"
#include "log/write_log.h"
#include "ooxml/sheet_copy_parts.h"
#include "ooxml/xml_util.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::ooxml {

namespace {

constexpr const char* kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kWorksheetType = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
constexpr const char* kStringsType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";
constexpr const char* kStylesType = "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
constexpr const char* kWorkbookType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
constexpr const char* kMacroEnabledWorkbookType = "application/vnd.ms-excel.sheet.macroEnabled.main+xml";

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string relType(const char* name) { return std::string(kRelNs) + "/" + name; }

const Relationship* findRelBySuffix(const Relationships& rels, std::string_view suffix) {
    for (const Relationship& r : rels.items) {
        if (endsWith(r.type, suffix)) return &r;
    }
    return nullptr;
}

std::string relIdOf(const pugi::xml_node& sheetNode) {
    for (pugi::xml_attribute a : sheetNode.attributes()) {
        if (endsWith(a.name(), ":id")) return a.value();
    }
    return {};
}

// Maximum digit width in pixels of a font at 96 dpi, from its name and size.
double maxDigitWidthOf(const FontSpec& font) {
    const std::string name = lowerCase(font.name);
    double ratio = 0.52;
    if (name.find("calibri") != std::string::npos)
        ratio = 7.0 / (11 * 96.0 / 72);
    else if (name.find("arial") != std::string::npos || name.find("liberation sans") != std::string::npos)
        ratio = 0.556;
    else if (name.find("times") != std::string::npos || name.find("liberation serif") != std::string::npos)
        ratio = 0.5;
    else if (name.find("courier") != std::string::npos || name.find("consolas") != std::string::npos)
        ratio = 0.6;
    const double size = font.size > 0 && font.size < 410 ? font.size : 11;
    return std::max(1.0, std::round(size * 96.0 / 72 * ratio));
}

std::vector<uint32_t> themeColorsOf(const pugi::xml_document& theme) {
    pugi::xml_node scheme = childNamed(childNamed(theme.document_element(), "themeElements"), "clrScheme");
    std::vector<uint32_t> colors;
    for (pugi::xml_node c : scheme.children()) {
        if (c.type() != pugi::node_element) continue;
        pugi::xml_node value = c.first_child();
        const char* text =
            localName(value) == "sysClr" ? value.attribute("lastClr").value() : value.attribute("val").value();
        colors.push_back(static_cast<uint32_t>(std::strtoul(text, nullptr, 16)) & 0xFFFFFF);
    }
    if (colors.size() >= 4) {
        std::swap(colors[0], colors[1]);  // theme index 0 is lt1, 1 is dk1
        std::swap(colors[2], colors[3]);
    }
    return colors;
}

void appendTextField(std::string& out, const std::string& text) {
    if (text.find_first_of("\t\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// Whether an attribute of `node` is in the relationships namespace (r:id, r:embed, ...).
bool isRelationshipAttribute(const pugi::xml_node& node, const pugi::xml_attribute& attribute) {
    const std::string_view name = attribute.name();
    const size_t colon = name.find(':');
    if (colon == std::string_view::npos || name.substr(0, colon) == "xmlns") return false;
    const std::string declaration = "xmlns:" + std::string(name.substr(0, colon));
    for (pugi::xml_node at = node; at; at = at.parent()) {
        if (const pugi::xml_attribute ns = at.attribute(declaration.c_str()))
            return std::string_view(ns.value()) == kRelNs;
    }
    return false;
}

// Removes the elements under `root` that use the relationship `id`; a page
// setup only loses its link to printer settings. A container left empty
// (<tableParts>, <hyperlinks>, ...) goes too, else its count is corrected.
void removeRelationshipUses(pugi::xml_node root, const std::string& id) {
    std::vector<std::pair<pugi::xml_node, pugi::xml_attribute>> uses;
    const std::function<void(pugi::xml_node)> visit = [&](pugi::xml_node node) {
        for (pugi::xml_attribute a : node.attributes())
            if (id == a.value() && isRelationshipAttribute(node, a)) uses.emplace_back(node, a);
        for (pugi::xml_node child : node.children())
            if (child.type() == pugi::node_element) visit(child);
    };
    if (root) visit(root);
    for (auto& [node, attribute] : uses) {
        if (localName(node) == "pageSetup") {
            node.remove_attribute(attribute);
            continue;
        }
        pugi::xml_node parent = node.parent();
        parent.remove_child(node);
        static const std::set<std::string_view> containers = {"tableParts", "hyperlinks",  "controls",
                                                              "oleObjects", "pivotCaches", "externalReferences"};
        if (parent == root || !containers.count(localName(parent))) continue;
        if (!parent.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; })) {
            parent.parent().remove_child(parent);
        } else if (pugi::xml_attribute count = parent.attribute("count")) {
            count.set_value(count.as_uint(1) - 1);
        }
    }
}

// Drops the relationships of `part` whose target part the package lacks,
// with the elements of `root` (the part's XML, if parsed) that use them, and
// logs one line for each. Returns whether any was dropped.
std::vector<Relationship> danglingRelationships(const Package& package, const std::string& part) {
    std::vector<Relationship> dangling;
    for (const Relationship& r : package.relationships(part).items)
        if (!r.external && !package.hasPart(package.resolveTarget(part, r.target))) dangling.push_back(r);
    return dangling;
}

bool dropDanglingRelationships(Package& package, const std::string& part, pugi::xml_node root) {
    const std::vector<Relationship> dangling = danglingRelationships(package, part);
    if (dangling.empty()) return false;
    Relationships& rels = package.editRelationships(part);
    for (const Relationship& r : dangling) {
        std::erase_if(rels.items, [&](const Relationship& item) { return item.id == r.id; });
        removeRelationshipUses(root, r.id);
        try {
            WriteLog("In '" + package.fileName() + "', the link '" + r.id + "' of '" + (part.empty() ? "/" : part) +
                     "' to the missing part '" + package.resolveTarget(part, r.target) + "' was dropped");
        } catch (const RuntimeError&) {
            // A log that cannot be written does not keep the workbook from opening.
        }
    }
    return true;
}

// The same for the parts below the sheets (chart sheets, charts, their
// drawings, ...) except `handled`: a part is parsed and rewritten only when it
// has such a link. A part or relationship set that is no XML (a zip tool's
// stray entries such as __MACOSX/) is left as it is.
void dropDanglingRelationshipsBelow(Package& package, const std::set<std::string>& handled) {
    for (const std::string& part : package.partNames()) {
        if (handled.count(part) || !package.hasPart(Package::relationshipsPartName(part))) continue;
        pugi::xml_document doc;
        try {
            if (danglingRelationships(package, part).empty()) continue;
            parseXml(doc, package.readPart(part), package.fileName(), part);
        } catch (const RuntimeError&) {
            continue;
        }
        if (dropDanglingRelationships(package, part, doc.document_element()))
            package.writePart(part, serializeXml(doc));
    }
}

}  // namespace

std::shared_ptr<EngineWorkbook> EngineWorkbook::open(EngineApplication& app, const std::string& path,
                                                     const std::string& fullName, bool readOnly, int32_t fileFormat) {
    auto book = std::make_shared<EngineWorkbook>(app.shared_from_this());
    book->package_ = Package::open(path);
    book->fullName_ = fullName;
    book->readOnly_ = readOnly;
    book->fileFormat_ = fileFormat;
    book->load();
    // A package with macros is saved as one again under its own name.
    if (fileFormat == sheet::xl::FormatOpenXmlWorkbook && book->holdsMacros())
        book->fileFormat_ = sheet::xl::FormatOpenXmlMacroEnabled;
    return book;
}

std::shared_ptr<EngineWorkbook> EngineWorkbook::create(EngineApplication& app) {
    auto book = std::make_shared<EngineWorkbook>(app.shared_from_this());
    book->package_ = Package::create();
    Package& package = *book->package_;
    package.ensureDefault("rels", "application/vnd.openxmlformats-package.relationships+xml");
    package.ensureDefault("xml", "application/xml");
    package.setOverride("xl/workbook.xml", kWorkbookType);
    Relationships root;
    root.add(relType("officeDocument"), "xl/workbook.xml");
    package.setRelationships("", root);

    pugi::xml_document workbook;
    pugi::xml_node decl = workbook.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    pugi::xml_node wb = workbook.append_child("workbook");
    wb.append_attribute("xmlns") = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    wb.append_attribute("xmlns:r") = kRelNs;
    wb.append_child("workbookPr");
    pugi::xml_node view = wb.append_child("bookViews").append_child("workbookView");
    view.append_attribute("activeTab") = 0;
    pugi::xml_node sheet = wb.append_child("sheets").append_child("sheet");
    sheet.append_attribute("name") = "Sheet1";
    sheet.append_attribute("sheetId") = 1;
    sheet.append_attribute("r:id") = "rId2";
    wb.append_child("calcPr").append_attribute("calcId") = 191029;
    package.writePart("xl/workbook.xml", serializeXml(workbook));

    StyleSheet styles;
    styles.createDefault();
    package.writePart("xl/styles.xml", styles.serialize());
    package.setOverride("xl/styles.xml", kStylesType);
    SheetModel firstSheet("xl/worksheets/sheet1.xml", package.fileName());
    firstSheet.createEmpty();
    package.writePart("xl/worksheets/sheet1.xml", firstSheet.serialize());
    package.setOverride("xl/worksheets/sheet1.xml", kWorksheetType);
    Relationships rels;
    rels.add(relType("styles"), "styles.xml");
    rels.add(relType("worksheet"), "worksheets/sheet1.xml");
    package.setRelationships("xl/workbook.xml", rels);

    book->load();
    book->setActiveSheetIndex(0);
    book->sheets_.front()->model().markDirty();
    return book;
}

void EngineWorkbook::load() {
    const std::string& file = package_->fileName();
    const Relationships rootRels = package_->relationships("");
    const Relationship* main = findRelBySuffix(rootRels, "/officeDocument");
    if (main == nullptr) raiseBadFile(file, "the package holds no workbook");
    workbookPart_ = package_->resolveTarget("", main->target);
    const std::string type = package_->contentType(workbookPart_);
    if (type.find("spreadsheetml") == std::string::npos && type.find("ms-excel") == std::string::npos) {
        raiseBadFile(file, "the main part is not a spreadsheet workbook (" + type + ")");
    }
    parseXml(workbookXml_, package_->readPart(workbookPart_), file, workbookPart_);
    const pugi::xml_node root = workbookXml_.document_element();
    const std::string_view date1904 = childNamed(root, "workbookPr").attribute("date1904").value();
    date1904_ = date1904 == "1" || date1904 == "true";

    const Relationships rels = package_->relationships(workbookPart_);
    if (const Relationship* theme = findRelBySuffix(rels, "/theme")) {
        const std::string part = package_->resolveTarget(workbookPart_, theme->target);
        if (package_->hasPart(part)) {
            pugi::xml_document doc;
            parseXml(doc, package_->readPart(part), file, part);
            styles_.setThemeColors(themeColorsOf(doc));
        }
    }
    const Relationship* stylesRel = findRelBySuffix(rels, "/styles");
    const std::string stylesPart = stylesRel ? package_->resolveTarget(workbookPart_, stylesRel->target) : "";
    if (stylesRel && package_->hasPart(stylesPart)) {
        styles_.load(package_->readPart(stylesPart), file);
    } else {
        styles_.createDefault();
        stylesPartExists_ = false;
    }
    if (const Relationship* sst = findRelBySuffix(rels, "/sharedStrings")) {
        const std::string part = package_->resolveTarget(workbookPart_, sst->target);
        if (package_->hasPart(part)) strings_.load(package_->readPart(part), file);
    }
    loadSheets();
    if (dropDanglingRelationships(*package_, workbookPart_, root)) workbookDirty_ = true;
    dropDanglingRelationships(*package_, "", pugi::xml_node());
    std::set<std::string> handled = {workbookPart_};
    for (const auto& sheet : sheets_)
        if (sheet->isWorksheet()) handled.insert(sheet->model().partName());
    dropDanglingRelationshipsBelow(*package_, handled);
    const pugi::xml_node view = childNamed(childNamed(root, "bookViews"), "workbookView");
    activeIndex_ = std::min<size_t>(view.attribute("activeTab").as_uint(0), sheets_.empty() ? 0 : sheets_.size() - 1);
}

void EngineWorkbook::loadSheets() {
    const std::string& file = package_->fileName();
    const Relationships rels = package_->relationships(workbookPart_);
    const double digitWidth = maxDigitWidthOf(styles_.defaultFont());
    for (pugi::xml_node node : sheetsNode().children()) {
        if (localName(node) != "sheet") continue;
        const std::string name = node.attribute("name").value();
        const Relationship* rel = rels.find(relIdOf(node));
        if (rel == nullptr) raiseBadFile(file, "the sheet '" + name + "' has no part");
        const std::string part = package_->resolveTarget(workbookPart_, rel->target);
        std::unique_ptr<SheetModel> model;
        if (package_->contentType(part) == kWorksheetType || endsWith(rel->type, "/worksheet")) {
            if (!package_->hasPart(part)) raiseBadFile(file, "the part of sheet '" + name + "' is missing");
            model = std::make_unique<SheetModel>(part, file);
            model->setMaxDigitWidth(digitWidth);
            model->load(package_->pieceReader(part), styles_, strings_);
            if (dropDanglingRelationships(*package_, part, model->xml().document_element())) model->markDirty();
        }
        const bool worksheet = model != nullptr;
        sheets_.push_back(std::make_shared<EngineWorksheet>(*this, name, std::move(model)));
        noteSheet(*sheets_.back(), node, sheets_.size() - 1);
        if (worksheet) checkDrawingLinks(*sheets_.back());
    }
    if (sheets_.empty()) raiseBadFile(file, "the workbook has no sheets");
}

void EngineWorkbook::noteSheet(EngineWorksheet& sheet, pugi::xml_node node, size_t position) {
    sheetNodes_.insert(sheetNodes_.begin() + static_cast<std::ptrdiff_t>(position), node);
    maxSheetId_ = std::max(maxSheetId_, node.attribute("sheetId").as_uint(0));
    sheetsByName_.emplace(lowerCase(sheet.Name()), &sheet);
    if (!sheet.isWorksheet()) return;
    loadedModels_.push_back(&sheet);
    if (tabSelected(sheet.model())) selectedSheets_.push_back(&sheet);
}

bool EngineWorkbook::tabSelected(SheetModel& model) {
    const pugi::xml_node sheetView = childNamed(childNamed(model.xml().document_element(), "sheetViews"), "sheetView");
    return sheetView.attribute("tabSelected").as_bool(false);
}

pugi::xml_node EngineWorkbook::sheetsNode() { return childNamed(workbookXml_.document_element(), "sheets"); }

void EngineWorkbook::checkOpen() const {
    if (!open_) raise(err::ObjectRequired, "The workbook has been closed");
}

std::shared_ptr<EngineWorksheet> EngineWorkbook::sheetPointer(size_t index) {
    return std::shared_ptr<EngineWorksheet>(shared_from_this(), sheets_.at(index).get());
}

std::shared_ptr<sheet::Worksheet> EngineWorkbook::ActiveSheet() {
    checkOpen();
    return sheetPointer(activeIndex_);
}

int32_t EngineWorkbook::Count() const {
    checkOpen();
    return static_cast<int32_t>(sheets_.size());
}

std::shared_ptr<sheet::Worksheet> EngineWorkbook::Item(int32_t index) {
    checkOpen();
    if (index < 1 || static_cast<size_t>(index) > sheets_.size()) raise(err::SubscriptOutOfRange);
    return sheetPointer(static_cast<size_t>(index - 1));
}

std::shared_ptr<sheet::Worksheet> EngineWorkbook::Item(const std::string& name) {
    checkOpen();
    const auto it = sheetsByName_.find(lowerCase(name));
    if (it == sheetsByName_.end()) raise(err::SubscriptOutOfRange);
    return it->second->selfPointer();
}

bool EngineWorkbook::hasSheetNamed(const std::string& name) const { return sheetsByName_.count(lowerCase(name)) != 0; }

size_t EngineWorkbook::indexOf(const EngineWorksheet& sheet) const {
    for (size_t i = 0; i < sheets_.size(); ++i) {
        if (sheets_[i].get() == &sheet) return i;
    }
    raise(err::SubscriptOutOfRange);
}

void EngineWorkbook::setActiveSheetIndex(size_t index) {
    if (index >= sheets_.size()) raise(err::SubscriptOutOfRange);
    pugi::xml_node root = workbookXml_.document_element();
    pugi::xml_node views = childNamed(root, "bookViews");
    if (!views) {
        views = root.insert_child_after((prefixOf(root) + "bookViews").c_str(), childNamed(root, "workbookPr"));
    }
    pugi::xml_node view = childNamed(views, "workbookView");
    if (!view) view = views.append_child((prefixOf(root) + "workbookView").c_str());
    if (!view.attribute("activeTab")) view.append_attribute("activeTab");
    if (view.attribute("activeTab").as_uint(0) != index || activeIndex_ != index) {
        view.attribute("activeTab").set_value(static_cast<unsigned>(index));
        if (view.attribute("firstSheet").as_uint(0) > index)
            view.attribute("firstSheet").set_value(static_cast<unsigned>(index));
        workbookDirty_ = true;
    }
    activeIndex_ = index;
    EngineWorksheet* active = sheets_[index].get();
    for (EngineWorksheet* sheet : selectedSheets_) {
        if (sheet == active) continue;
        SheetModel& model = sheet->model();
        childNamed(childNamed(model.xml().document_element(), "sheetViews"), "sheetView")
            .remove_attribute("tabSelected");
        model.markDirty();
    }
    selectedSheets_.clear();
    if (!active->isWorksheet()) return;
    SheetModel& model = active->model();
    pugi::xml_node sheetView = childNamed(childNamed(model.xml().document_element(), "sheetViews"), "sheetView");
    if (!sheetView) return;
    selectedSheets_.push_back(active);
    if (sheetView.attribute("tabSelected").as_bool(false)) return;
    if (!sheetView.attribute("tabSelected")) sheetView.append_attribute("tabSelected");
    sheetView.attribute("tabSelected").set_value("1");
    model.markDirty();
}

void EngineWorkbook::releaseIdleModels(const EngineWorksheet& keep, const EngineWorksheet& keepToo) {
    constexpr size_t kExpandedModels = 6;
    if (loadedModels_.size() <= kExpandedModels) return;
    std::sort(loadedModels_.begin(), loadedModels_.end(),
              [](const EngineWorksheet* a, const EngineWorksheet* b) { return a->lastUse() > b->lastUse(); });
    std::vector<EngineWorksheet*> kept;
    for (EngineWorksheet* sheet : loadedModels_) {
        if (kept.size() < kExpandedModels || sheet == &keep || sheet == &keepToo) {
            kept.push_back(sheet);
        } else {
            sheet->releaseModel();
        }
    }
    loadedModels_ = std::move(kept);
}

std::shared_ptr<EngineWorksheet> EngineWorkbook::insertSheet(size_t position, const std::string& name,
                                                             std::unique_ptr<SheetModel> model) {
    position = std::min(position, sheets_.size());
    const std::string part = package_->uniquePartName("xl/worksheets/sheet", ".xml");
    model->setPartName(part);
    model->setMaxDigitWidth(maxDigitWidthOf(styles_.defaultFont()));
    model->markDirty();
    package_->writePart(part, "");
    package_->setOverride(part, kWorksheetType);
    const std::string id = package_->editRelationships(workbookPart_)
                               .add(relType("worksheet"), Package::relativeTarget(workbookPart_, part));

    pugi::xml_node sheets = sheetsNode();
    const std::string prefix = prefixOf(sheets);
    pugi::xml_node node = position < sheetNodes_.size()
                              ? sheets.insert_child_before((prefix + "sheet").c_str(), sheetNodes_[position])
                              : sheets.append_child((prefix + "sheet").c_str());
    node.append_attribute("name") = name.c_str();
    node.append_attribute("sheetId") = maxSheetId_ + 1;
    std::string relPrefix = "r";
    for (pugi::xml_attribute a : workbookXml_.document_element().attributes()) {
        if (std::string_view(a.value()) == kRelNs && std::string_view(a.name()).rfind("xmlns:", 0) == 0) {
            relPrefix = std::string(a.name()).substr(6);
        }
    }
    if (relPrefix == "r" && !workbookXml_.document_element().attribute("xmlns:r")) {
        workbookXml_.document_element().append_attribute("xmlns:r") = kRelNs;
    }
    node.append_attribute((relPrefix + ":id").c_str()) = id.c_str();

    // Sheet-local names and the view keep pointing at the same sheets.
    for (pugi::xml_node definedName : childNamed(workbookXml_.document_element(), "definedNames").children()) {
        pugi::xml_attribute local = definedName.attribute("localSheetId");
        if (local && local.as_uint() >= position) local.set_value(local.as_uint() + 1);
    }
    sheets_.insert(sheets_.begin() + static_cast<std::ptrdiff_t>(position),
                   std::make_shared<EngineWorksheet>(*this, name, std::move(model)));
    noteSheet(*sheets_[position], node, position);
    sheets_[position]->setNameUnused();
    if (sheets_.size() > 1 && position <= activeIndex_) setActiveSheetIndex(activeIndex_ + 1);
    workbookDirty_ = true;
    return sheets_[position];
}

void EngineWorkbook::renameSheet(EngineWorksheet& sheet, const std::string& newName) {
    const size_t index = indexOf(sheet);
    sheetNodes_.at(index).attribute("name").set_value(newName.c_str());
    sheetsByName_.erase(lowerCase(sheet.Name()));
    sheetsByName_[lowerCase(newName)] = &sheet;
    const auto quoted = [](const std::string& name) {
        std::string q = "'";
        for (char c : name) q += c == '\'' ? std::string("''") : std::string(1, c);
        return q + "'!";
    };
    const std::string oldName = sheet.Name();
    for (pugi::xml_node definedName : childNamed(workbookXml_.document_element(), "definedNames").children()) {
        std::string text = definedName.text().get();
        bool changed = false;
        for (const std::string& from : {quoted(oldName), oldName + "!"}) {
            for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
                const bool boundary =
                    at == 0 || std::string_view("=,( +-*/&:").find(text[at - 1]) != std::string_view::npos;
                if (!boundary) {
                    at += from.size();
                    continue;
                }
                text.replace(at, from.size(), quoted(newName));
                at += quoted(newName).size();
                changed = true;
            }
        }
        if (changed) definedName.text().set(text.c_str());
    }
    workbookDirty_ = true;
    if (!sheet.nameMayBeUsed()) return;
    for (const auto& other : sheets_) {
        if (!other->isWorksheet()) continue;
        other->model().forEachFormula([&](std::string& formula) {
            std::string repointed = repointSheetReferencesInXml(formula, oldName, newName);
            if (repointed == formula) return false;
            formula = std::move(repointed);
            return true;
        });
    }
    renameSheetInCharts(*package_, oldName, newName);
}

void EngineWorkbook::removeFilterDatabaseName(size_t sheetIndex) {
    pugi::xml_node names = childNamed(workbookXml_.document_element(), "definedNames");
    for (pugi::xml_node node = names.first_child(); node;) {
        pugi::xml_node next = node.next_sibling();
        if (std::string_view(node.attribute("name").value()) == "_xlnm._FilterDatabase" &&
            node.attribute("localSheetId").as_uint(~0u) == sheetIndex) {
            names.remove_child(node);
            workbookDirty_ = true;
        }
        node = next;
    }
    if (names && !names.first_child()) workbookXml_.document_element().remove_child(names);
}

void EngineWorkbook::writePackageParts() {
    bool cellsChanged = fullCalculation_;
    for (const auto& sheet : sheets_) {
        if (sheet->isWorksheet()) flushPictures(*sheet);
        if (sheet->modelLoaded() && sheet->model().dirty()) {
            package_->writeDeflatedPart(sheet->model().partName(), sheet->model().serializeDeflated());
            cellsChanged = true;
        }
        cellsChanged = cellsChanged || sheet->changedSinceOpen();
    }
    Relationships rels = package_->relationships(workbookPart_);
    bool relsChanged = false;
    if (strings_.dirty()) {
        const Relationship* sst = findRelBySuffix(rels, "/sharedStrings");
        std::string part = sst ? package_->resolveTarget(workbookPart_, sst->target) : "";
        if (!sst) {
            part = package_->hasPart("xl/sharedStrings.xml") ? package_->uniquePartName("xl/sharedStrings", ".xml")
                                                             : "xl/sharedStrings.xml";
            rels.add(relType("sharedStrings"), Package::relativeTarget(workbookPart_, part));
            relsChanged = true;
        }
        package_->setOverride(part, kStringsType);
        package_->writeDeflatedPart(part, strings_.serializeDeflated());
    }
    if (styles_.dirty()) {
        const Relationship* st = findRelBySuffix(rels, "/styles");
        std::string part = st ? package_->resolveTarget(workbookPart_, st->target) : "";
        if (!st) {
            part = "xl/styles.xml";
            rels.add(relType("styles"), Package::relativeTarget(workbookPart_, part));
            relsChanged = true;
        }
        package_->setOverride(part, kStylesType);
        package_->writePart(part, styles_.serialize());
    }
    if (cellsChanged) {
        // The calculation chain lists formula cells; readers rebuild it.
        if (const Relationship* chain = findRelBySuffix(rels, "/calcChain")) {
            package_->removePart(package_->resolveTarget(workbookPart_, chain->target));
            std::erase_if(rels.items, [&](const Relationship& r) { return endsWith(r.type, "/calcChain"); });
            relsChanged = true;
        }
        pugi::xml_node root = workbookXml_.document_element();
        pugi::xml_node calc = childNamed(root, "calcPr");
        if (!calc) {
            pugi::xml_node anchor;
            for (const char* next : {"oleSize", "customWorkbookViews", "pivotCaches", "smartTagPr", "smartTagTypes",
                                     "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"}) {
                if ((anchor = childNamed(root, next))) break;
            }
            const std::string name = prefixOf(root) + "calcPr";
            calc = anchor ? root.insert_child_before(name.c_str(), anchor) : root.append_child(name.c_str());
        }
        if (!calc.attribute("fullCalcOnLoad")) calc.append_attribute("fullCalcOnLoad");
        if (std::string_view(calc.attribute("fullCalcOnLoad").value()) != "1") {
            calc.attribute("fullCalcOnLoad").set_value("1");
            workbookDirty_ = true;
        }
    }
    if (relsChanged) package_->setRelationships(workbookPart_, rels);
    if (workbookDirty_) package_->writePart(workbookPart_, serializeXml(workbookXml_));
}

void EngineWorkbook::writeText(const std::string& path) {
    EngineWorksheet& sheet = *sheets_.at(activeIndex_);
    std::string out;
    if (sheet.isWorksheet()) {
        if (const auto bounds = sheet.model().usedBounds()) {
            const int32_t lastRow = (*bounds)[2], lastColumn = (*bounds)[3];
            for (int32_t row = 1; row <= lastRow; ++row) {
                for (int32_t column = 1; column <= lastColumn; ++column) {
                    if (column > 1) out += '\t';
                    appendTextField(out, sheet.cellText(row, column));
                }
                out += '\n';
            }
        }
    }
    files::replaceFileWith(path, out);
}

bool EngineWorkbook::holdsMacros() const {
    return package_->contentType(workbookPart_).find("macroEnabled") != std::string::npos;
}

// The main part's content type says whether the workbook may hold macros; a
// workbook without them drops its VBA project (and the project's signature
// parts), which readers refuse in a macro-free file.
void EngineWorkbook::setMainPartMacros(bool keep) {
    if (keep) {
        package_->setOverride(workbookPart_, kMacroEnabledWorkbookType);
        return;
    }
    if (!holdsMacros()) return;
    package_->setOverride(workbookPart_, kWorkbookType);
    Relationships rels = package_->relationships(workbookPart_);
    for (const Relationship& rel : rels.items) {
        if (rel.external || !endsWith(rel.type, "/vbaProject")) continue;
        const std::string project = package_->resolveTarget(workbookPart_, rel.target);
        for (const Relationship& inner : package_->relationships(project).items)
            if (!inner.external) package_->removePart(package_->resolveTarget(project, inner.target));
        package_->removePart(Package::relationshipsPartName(project));
        package_->removePart(project);
    }
    std::erase_if(rels.items, [](const Relationship& r) { return endsWith(r.type, "/vbaProject"); });
    package_->setRelationships(workbookPart_, rels);
}

void EngineWorkbook::saveTo(const std::string& path, int32_t format) {
    switch (format) {
        case sheet::xl::FormatOpenXmlMacroEnabled:
        case sheet::xl::FormatOpenXmlWorkbook:
            setMainPartMacros(format == sheet::xl::FormatOpenXmlMacroEnabled);
            writePackageParts();
            package_->save(path);
            return;
        case sheet::xl::FormatTextTabSeparated:
            writeText(path);
            return;
        case sheet::xl::FormatWorkbookNormal:
        case kFormatOpenDocument: {
            const std::filesystem::path target(path);
            const std::string temp =
                (target.parent_path() / ("." + target.filename().string() + ".kbx-convert.xlsx")).string();
            writePackageParts();
            std::error_code ignored;
            try {
                package_->save(temp, path);
                exportForeignFormat(temp, path, format);
            } catch (...) {
                std::filesystem::remove(temp, ignored);
                throw;
            }
            std::filesystem::remove(temp, ignored);
            return;
        }
        default:
            raiseSpreadsheet("Cannot save '" + path + "': file format " + std::to_string(format) +
                             " is not supported.");
    }
}

void EngineWorkbook::Save() {
    checkOpen();
    if (fullName_.empty()) raiseSpreadsheet("The new workbook has no file name yet; use SaveAs.");
    if (readOnly_) {
        raiseSpreadsheet("The workbook '" + fullName_ + "' is read-only and cannot be saved under its own name.");
    }
    saveTo(fullName_, fileFormat_);
}

void EngineWorkbook::SaveAs(const std::string& file, std::optional<int32_t> fileFormat) {
    checkOpen();
    if (file.empty()) raiseSpreadsheet("SaveAs needs a file name.");
    const std::string target = files::absoluteFileName(file);
    if (readOnly_ && target == fullName_) {
        raiseSpreadsheet("The workbook '" + fullName_ + "' is read-only and cannot be saved under its own name.");
    }
    const int32_t format = fileFormat.value_or(fileFormat_);
    saveTo(target, format);
    fullName_ = target;
    fileFormat_ = format;
    readOnly_ = false;
}

void EngineWorkbook::SaveCopyAs(const std::string& file) {
    checkOpen();
    const std::string target = files::absoluteFileName(file);
    if (readOnly_ && target == fullName_) {
        raiseSpreadsheet("The workbook '" + fullName_ + "' is read-only and cannot be overwritten.");
    }
    saveTo(target, fileFormat_ == sheet::xl::FormatTextTabSeparated ? sheet::xl::FormatOpenXmlWorkbook : fileFormat_);
}

void EngineWorkbook::Close(bool saveChanges) {
    checkOpen();
    const auto self = shared_from_this();
    if (saveChanges) Save();
    open_ = false;
    app_->removeWorkbook(this);
}

}  // namespace kbx::ooxml
