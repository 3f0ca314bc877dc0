#include "ooxml/link_repair.h"

#include <functional>
#include <string_view>
#include <utility>

#include "ooxml/package.h"
#include "ooxml/xml_util.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

namespace {

// Removes the elements under `root` that use the relationship `id`.
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

std::vector<DroppedLink> danglingRelationships(const Package& package, const std::string& part) {
    std::vector<DroppedLink> dangling;
    for (const Relationship& r : package.relationships(part).items) {
        if (!r.namesPart()) continue;
        std::string target = package.resolveTarget(part, r.target);
        if (!package.hasPart(target)) dangling.push_back({part, r.id, std::move(target)});
    }
    return dangling;
}

}  // namespace

std::vector<DroppedLink> dropDanglingRelationships(Package& package, const std::string& part, pugi::xml_node root) {
    std::vector<DroppedLink> dangling = danglingRelationships(package, part);
    if (dangling.empty()) return dangling;
    Relationships& rels = package.editRelationships(part);
    for (const DroppedLink& link : dangling) {
        rels.remove(link.id);
        removeRelationshipUses(root, link.id);
    }
    return dangling;
}

std::vector<DroppedLink> dropDanglingRelationshipsBelow(Package& package, const std::set<std::string>& handled) {
    std::vector<DroppedLink> dropped;
    for (const std::string& part : package.partNames()) {
        if (handled.count(part) || !package.hasPart(relationshipsPartName(part))) continue;
        pugi::xml_document doc;
        try {
            if (danglingRelationships(package, part).empty()) continue;
            parseXml(doc, package.readPart(part), package.fileName(), part);
        } catch (const RuntimeError&) {
            continue;
        }
        std::vector<DroppedLink> links = dropDanglingRelationships(package, part, doc.document_element());
        package.writePart(part, serializeXml(doc));
        dropped.insert(dropped.end(), links.begin(), links.end());
    }
    return dropped;
}

}  // namespace kbx::ooxml
