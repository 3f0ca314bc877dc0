#include "ooxml/relationships.h"

#include "ooxml/xml_util.h"

namespace kbx::ooxml {

namespace {

constexpr const char* kRelationshipsPartNs = "http://schemas.openxmlformats.org/package/2006/relationships";

bool isRelationshipsNamespace(std::string_view uri) {
    return uri == ns::kRelationships || uri == ns::kStrictRelationships;
}

// The prefix the element's scope binds to the relationships namespace, if any.
std::optional<std::string> relationshipsPrefix(const pugi::xml_node& node) {
    for (pugi::xml_node scope = node; scope; scope = scope.parent()) {
        for (const pugi::xml_attribute& attribute : scope.attributes()) {
            const std::string_view name(attribute.name());
            if (name.substr(0, 6) == "xmlns:" && isRelationshipsNamespace(attribute.value()))
                return std::string(name.substr(6));
        }
    }
    return std::nullopt;
}

}  // namespace

bool Relationship::is(std::string_view kind) const {
    const size_t slash = type.rfind('/');
    return slash != std::string::npos && std::string_view(type).substr(slash + 1) == kind;
}

bool Relationship::namesPart() const { return !external && !target.starts_with('#') && !is("hyperlink"); }

std::string relationshipType(std::string_view kind) { return std::string(ns::kRelationships) + "/" + std::string(kind); }

const Relationship* Relationships::find(const std::string& id) const {
    for (const Relationship& r : items)
        if (r.id == id) return &r;
    return nullptr;
}

const Relationship* Relationships::firstOfKind(std::string_view kind) const {
    for (const Relationship& r : items)
        if (r.is(kind)) return &r;
    return nullptr;
}

std::string Relationships::add(std::string_view kind, const std::string& target) {
    if (idsCounted_ != items.size()) {
        ids_.clear();
        for (const Relationship& r : items) ids_.insert(r.id);
        idsCounted_ = items.size();
    }
    for (size_t n = items.size() + 1;; ++n) {
        std::string id = "rId" + std::to_string(n);
        if (ids_.insert(id).second) {
            items.push_back({id, relationshipType(kind), target, false});
            ++idsCounted_;
            return id;
        }
    }
}

void Relationships::remove(const std::string& id) {
    std::erase_if(items, [&](const Relationship& r) { return r.id == id; });
}

std::string Relationships::serialize() const {
    pugi::xml_document doc;
    pugi::xml_node root = startPart(doc, "Relationships", kRelationshipsPartNs);
    for (const Relationship& r : items) {
        pugi::xml_node node = root.append_child("Relationship");
        node.append_attribute("Id") = r.id.c_str();
        node.append_attribute("Type") = r.type.c_str();
        node.append_attribute("Target") = r.target.c_str();
        if (r.external) node.append_attribute("TargetMode") = "External";
    }
    return serializeXml(doc);
}

Relationships Relationships::parse(const pugi::xml_document& part) {
    Relationships rels;
    for (pugi::xml_node node : part.document_element().children()) {
        if (localName(node) != "Relationship") continue;
        rels.items.push_back({node.attribute("Id").value(), node.attribute("Type").value(),
                              node.attribute("Target").value(),
                              std::string_view(node.attribute("TargetMode").value()) == "External"});
    }
    return rels;
}

std::string relationshipsPartName(const std::string& sourcePart) {
    const size_t slash = sourcePart.rfind('/');
    if (slash == std::string::npos) return "_rels/" + sourcePart + ".rels";
    return sourcePart.substr(0, slash) + "/_rels/" + sourcePart.substr(slash + 1) + ".rels";
}

bool isRelationshipAttribute(const pugi::xml_node& node, const pugi::xml_attribute& attribute) {
    const std::string_view name = attribute.name();
    const size_t colon = name.find(':');
    if (colon == std::string_view::npos || name.substr(0, colon) == "xmlns") return false;
    const std::string declaration = "xmlns:" + std::string(name.substr(0, colon));
    for (pugi::xml_node at = node; at; at = at.parent()) {
        if (const pugi::xml_attribute ns = at.attribute(declaration.c_str())) return isRelationshipsNamespace(ns.value());
    }
    return false;
}

std::string relationshipIdOf(const pugi::xml_node& element) {
    const std::optional<std::string> prefix = relationshipsPrefix(element);
    return prefix ? element.attribute((*prefix + ":id").c_str()).value() : std::string();
}

void setRelationshipId(pugi::xml_node element, const std::string& id) {
    std::optional<std::string> prefix = relationshipsPrefix(element);
    if (!prefix) {
        // Declared once on the part's root, unless the root gives r another meaning.
        pugi::xml_node root = element;
        while (root.parent().type() == pugi::node_element) root = root.parent();
        prefix = "r";
        (root.attribute("xmlns:r") ? element : root).append_attribute("xmlns:r") = ns::kRelationships;
    }
    const std::string name = *prefix + ":id";
    if (!element.attribute(name.c_str())) element.append_attribute(name.c_str());
    element.attribute(name.c_str()).set_value(id.c_str());
}

}  // namespace kbx::ooxml
