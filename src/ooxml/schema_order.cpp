#include "ooxml/schema_order.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "ooxml/xml_util.h"

namespace kbx::ooxml {

namespace {

struct ChildOrder {
    std::string_view parent;
    std::initializer_list<std::string_view> children;
};

const ChildOrder kChildOrders[] = {
    {"worksheet",
     {"sheetPr",         "dimension",       "sheetViews",       "sheetFormatPr",    "cols",
      "sheetData",       "sheetCalcPr",     "sheetProtection",  "protectedRanges",  "scenarios",
      "autoFilter",      "sortState",       "dataConsolidate",  "customSheetViews", "mergeCells",
      "phoneticPr",      "conditionalFormatting", "dataValidations", "hyperlinks",  "printOptions",
      "pageMargins",     "pageSetup",       "headerFooter",     "rowBreaks",        "colBreaks",
      "customProperties", "cellWatches",    "ignoredErrors",    "smartTags",        "drawing",
      "legacyDrawing",   "legacyDrawingHF", "drawingHF",        "picture",          "oleObjects",
      "controls",        "webPublishItems", "tableParts",       "extLst"}},
    {"workbook",
     {"fileVersion", "fileSharing", "workbookPr", "workbookProtection", "bookViews", "sheets", "functionGroups",
      "externalReferences", "definedNames", "calcPr", "oleSize", "customWorkbookViews", "pivotCaches",
      "smartTagPr", "smartTagTypes", "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"}},
    {"styleSheet",
     {"numFmts", "fonts", "fills", "borders", "cellStyleXfs", "cellXfs", "cellStyles", "dxfs", "tableStyles",
      "colors", "extLst"}},
    {"xf", {"alignment", "protection", "extLst"}},
};

// The position of `local` among the children of `parent`; the table's size
// for an element it does not know (such elements count as coming last).
size_t positionOf(const ChildOrder& order, std::string_view local) {
    const auto at = std::find(order.children.begin(), order.children.end(), local);
    return static_cast<size_t>(at - order.children.begin());
}

const ChildOrder& orderOf(std::string_view parent) {
    for (const ChildOrder& order : kChildOrders)
        if (order.parent == parent) return order;
    throw std::logic_error("no child order is known for <" + std::string(parent) + ">");
}

}  // namespace

pugi::xml_node childInSchemaOrder(pugi::xml_node parent, std::string_view local) {
    if (pugi::xml_node existing = childNamed(parent, local)) return existing;
    const ChildOrder& order = orderOf(localName(parent));
    const size_t position = positionOf(order, local);
    if (position == order.children.size()) throw std::logic_error("<" + std::string(local) + "> has no place");
    const std::string name = prefixOf(parent) + std::string(local);
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        const size_t at = positionOf(order, localName(child));
        if (at > position && at < order.children.size()) return parent.insert_child_before(name.c_str(), child);
    }
    return parent.append_child(name.c_str());
}

}  // namespace kbx::ooxml
