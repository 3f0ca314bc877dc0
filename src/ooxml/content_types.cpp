#include "ooxml/content_types.h"

#include "ooxml/xml_util.h"
#include "ooxml/part_names.h"

namespace kbx::ooxml {

namespace {

constexpr const char* kContentTypesNs = "http://schemas.openxmlformats.org/package/2006/content-types";

}  // namespace

void ContentTypes::load(const std::string& text, const std::string& file) {
    parseXml(doc_, text, file, kPartName);
    index();
}

void ContentTypes::createEmpty() {
    startPart(doc_, "Types", kContentTypesNs);
    dirty_ = true;
    index();
}

void ContentTypes::index() {
    overrides_.clear();
    overridesLower_.clear();
    defaults_.clear();
    for (pugi::xml_node node : doc_.document_element().children()) {
        if (localName(node) == "Override") {
            const std::string name = node.attribute("PartName").value();
            overrides_.emplace(name, node);
            overridesLower_.emplace(asciiLowerCase(name), node);
        } else if (localName(node) == "Default") {
            // The last Default of an extension is the one that counts.
            defaults_[asciiLowerCase(node.attribute("Extension").value())] = node;
        }
    }
}

std::string ContentTypes::typeOf(const std::string& part) const {
    if (const auto it = overridesLower_.find(asciiLowerCase("/" + part)); it != overridesLower_.end())
        return it->second.attribute("ContentType").value();
    const size_t dot = part.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : asciiLowerCase(part.substr(dot + 1));
    const auto it = defaults_.find(extension);
    return it == defaults_.end() ? std::string() : std::string(it->second.attribute("ContentType").value());
}

void ContentTypes::setOverride(const std::string& part, const std::string& type) {
    const std::string partName = "/" + part;
    if (const auto it = overrides_.find(partName); it != overrides_.end()) {
        pugi::xml_node node = it->second;
        if (type != node.attribute("ContentType").value()) {
            node.attribute("ContentType").set_value(type.c_str());
            dirty_ = true;
        }
        return;
    }
    pugi::xml_node types = doc_.document_element();
    pugi::xml_node node = types.append_child((prefixOf(types) + "Override").c_str());
    node.append_attribute("PartName") = partName.c_str();
    node.append_attribute("ContentType") = type.c_str();
    overrides_.emplace(partName, node);
    overridesLower_.emplace(asciiLowerCase(partName), node);
    dirty_ = true;
}

void ContentTypes::removeOverride(const std::string& part) {
    const std::string partName = "/" + part;
    if (!overrides_.count(partName)) return;
    pugi::xml_node types = doc_.document_element();
    for (pugi::xml_node node = types.first_child(); node;) {
        pugi::xml_node next = node.next_sibling();
        if (localName(node) == "Override" && partName == node.attribute("PartName").value()) {
            types.remove_child(node);
            dirty_ = true;
        }
        node = next;
    }
    index();
}

void ContentTypes::ensureDefault(const std::string& extension, const std::string& type) {
    if (defaults_.count(asciiLowerCase(extension))) return;
    pugi::xml_node types = doc_.document_element();
    pugi::xml_node node = types.prepend_child((prefixOf(types) + "Default").c_str());
    node.append_attribute("Extension") = extension.c_str();
    node.append_attribute("ContentType") = type.c_str();
    defaults_.emplace(asciiLowerCase(extension), node);
    dirty_ = true;
}

std::string ContentTypes::serialize() {
    dirty_ = false;
    return serializeXml(doc_);
}

}  // namespace kbx::ooxml
