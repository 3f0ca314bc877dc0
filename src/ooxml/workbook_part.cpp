#include "ooxml/workbook_part.h"

#include "ooxml/relationships.h"
#include "ooxml/schema_order.h"
#include "ooxml/sheet_references.h"
#include "ooxml/xml_util.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::ooxml {

namespace {

bool isTrue(std::string_view value) { return value == "1" || value == "true"; }

}  // namespace

void WorkbookPart::load(const std::string& text, const std::string& file, const std::string& partName) {
    partName_ = partName;
    parseXml(doc_, text, file, partName);
    indexSheets();
}

void WorkbookPart::createNew(const std::string& partName, const std::string& relationshipId) {
    partName_ = partName;
    pugi::xml_node workbook = startPart(doc_, "workbook", ns::kSpreadsheetMain);
    workbook.append_attribute("xmlns:r") = ns::kRelationships;
    workbook.append_child("workbookPr");
    workbook.append_child("bookViews").append_child("workbookView").append_attribute("activeTab") = 0;
    pugi::xml_node sheet = workbook.append_child("sheets").append_child("sheet");
    sheet.append_attribute("name") = "Sheet1";
    sheet.append_attribute("sheetId") = 1;
    setRelationshipId(sheet, relationshipId);
    workbook.append_child("calcPr").append_attribute("calcId") = 191029;
    dirty_ = true;
    indexSheets();
}

void WorkbookPart::indexSheets() {
    sheetNodes_.clear();
    maxSheetId_ = 0;
    for (pugi::xml_node node : childNamed(root(), "sheets").children()) {
        if (localName(node) != "sheet") continue;
        sheetNodes_.push_back(node);
        maxSheetId_ = std::max(maxSheetId_, node.attribute("sheetId").as_uint(0));
    }
}

std::vector<WorkbookPart::SheetEntry> WorkbookPart::sheets() const {
    std::vector<SheetEntry> entries;
    for (const pugi::xml_node& node : sheetNodes_)
        entries.push_back({node.attribute("name").value(), relationshipIdOf(node)});
    return entries;
}

void WorkbookPart::insertSheet(size_t position, const std::string& name, const std::string& relationshipId) {
    pugi::xml_node sheets = childInSchemaOrder(root(), "sheets");
    const std::string element = prefixOf(sheets) + "sheet";
    pugi::xml_node node = position < sheetNodes_.size()
                              ? sheets.insert_child_before(element.c_str(), sheetNodes_[position])
                              : sheets.append_child(element.c_str());
    node.append_attribute("name") = name.c_str();
    node.append_attribute("sheetId") = ++maxSheetId_;
    setRelationshipId(node, relationshipId);
    sheetNodes_.insert(sheetNodes_.begin() + static_cast<std::ptrdiff_t>(std::min(position, sheetNodes_.size())),
                       node);
    for (pugi::xml_node definedName : childNamed(root(), "definedNames").children()) {
        pugi::xml_attribute local = definedName.attribute("localSheetId");
        if (local && local.as_uint() >= position) local.set_value(local.as_uint() + 1);
    }
    dirty_ = true;
}

void WorkbookPart::renameSheet(size_t position, const std::string& oldName, const std::string& newName) {
    sheetNodes_.at(position).attribute("name").set_value(newName.c_str());
    for (pugi::xml_node definedName : childNamed(root(), "definedNames").children()) {
        const std::string formula = definedName.text().get();
        const std::string repointed = repointSheetReferences(formula, oldName, newName);
        if (repointed != formula) definedName.text().set(repointed.c_str());
    }
    dirty_ = true;
}

size_t WorkbookPart::activeTab() const {
    return childNamed(childNamed(root(), "bookViews"), "workbookView").attribute("activeTab").as_uint(0);
}

void WorkbookPart::setActiveTab(size_t position) {
    if (activeTab() == position) return;
    pugi::xml_node views = childInSchemaOrder(root(), "bookViews");
    pugi::xml_node view = childNamed(views, "workbookView");
    if (!view) view = views.append_child((prefixOf(views) + "workbookView").c_str());
    if (!view.attribute("activeTab")) view.append_attribute("activeTab");
    view.attribute("activeTab").set_value(static_cast<unsigned>(position));
    if (view.attribute("firstSheet").as_uint(0) > position)
        view.attribute("firstSheet").set_value(static_cast<unsigned>(position));
    dirty_ = true;
}

std::vector<WorkbookPart::DefinedName> WorkbookPart::definedNameEntries() const {
    std::vector<DefinedName> entries;
    for (pugi::xml_node node : childNamed(root(), "definedNames").children()) {
        if (localName(node) != "definedName") continue;
        DefinedName entry{node.attribute("name").value(), std::nullopt, node.text().get()};
        if (const pugi::xml_attribute local = node.attribute("localSheetId")) entry.localSheet = local.as_uint();
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::set<std::string> WorkbookPart::definedNames() const {
    std::set<std::string> names;
    for (const DefinedName& entry : definedNameEntries()) names.insert(lowerCase(entry.name));
    return names;
}

void WorkbookPart::removeFilterDatabaseName(size_t sheetPosition) {
    pugi::xml_node names = childNamed(root(), "definedNames");
    for (pugi::xml_node node = names.first_child(); node;) {
        pugi::xml_node next = node.next_sibling();
        if (std::string_view(node.attribute("name").value()) == "_xlnm._FilterDatabase" &&
            node.attribute("localSheetId").as_uint(~0u) == sheetPosition) {
            names.remove_child(node);
            dirty_ = true;
        }
        node = next;
    }
    if (names && !names.first_child()) root().remove_child(names);
}

void WorkbookPart::addLocalNamesForSheetCopy(size_t sourcePosition, size_t copyPosition,
                                             const std::string& sourceName, const std::string& copyName) {
    pugi::xml_node names = childNamed(root(), "definedNames");
    std::vector<pugi::xml_node> ofSource;
    for (pugi::xml_node name : names.children()) {
        pugi::xml_attribute local = name.attribute("localSheetId");
        if (localName(name) == "definedName" && local && local.as_llong(-1) == static_cast<long long>(sourcePosition))
            ofSource.push_back(name);
    }
    for (const pugi::xml_node& original : ofSource) {
        pugi::xml_node twin = names.insert_copy_after(original, original);
        twin.attribute("localSheetId").set_value(static_cast<unsigned>(copyPosition));
        twin.text().set(repointSheetReferences(original.text().get(), sourceName, copyName).c_str());
    }
    dirty_ = true;
}

bool WorkbookPart::date1904() const {
    return isTrue(childNamed(root(), "workbookPr").attribute("date1904").value());
}

void WorkbookPart::setFullCalcOnLoad(bool on) {
    if (!on) {
        pugi::xml_node calc = childNamed(root(), "calcPr");
        if (calc.remove_attribute("fullCalcOnLoad")) dirty_ = true;
        return;
    }
    pugi::xml_node calc = childInSchemaOrder(root(), "calcPr");
    pugi::xml_attribute full = calc.attribute("fullCalcOnLoad");
    if (std::string_view(full.value()) == "1") return;
    if (!full) full = calc.append_attribute("fullCalcOnLoad");
    full.set_value("1");
    dirty_ = true;
}

WorkbookPart::Iteration WorkbookPart::iteration() const {
    const pugi::xml_node calc = childNamed(root(), "calcPr");
    Iteration iteration;
    iteration.enabled = isTrue(calc.attribute("iterate").value());
    iteration.maxCount = calc.attribute("iterateCount").as_int(iteration.maxCount);
    iteration.maxChange = calc.attribute("iterateDelta").as_double(iteration.maxChange);
    return iteration;
}

std::vector<DroppedLink> WorkbookPart::dropDanglingLinks(Package& package) {
    std::vector<DroppedLink> dropped = dropDanglingRelationships(package, partName_, root());
    if (!dropped.empty()) dirty_ = true;
    return dropped;
}

std::string WorkbookPart::serialize() const { return serializeXml(doc_); }

}  // namespace kbx::ooxml
