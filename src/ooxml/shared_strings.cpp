#include "ooxml/shared_strings.h"

#include "ooxml/xml_util.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {


std::string stringItemText(const pugi::xml_node& item) {
    std::string text;
    for (pugi::xml_node child : item.children()) {
        const std::string_view name = localName(child);
        if (name == "t") {
            text += child.text().get();
        } else if (name == "r") {
            text += childNamed(child, "t").text().get();
        }
    }
    return decodeEscapedText(text);
}

void SharedStrings::load(const std::string& text, const std::string& file) {
    parseXml(doc_, text, file, "xl/sharedStrings.xml");
    loaded_ = true;
    for (pugi::xml_node item : doc_.document_element().children()) {
        if (localName(item) == "si") texts_.push_back(stringItemText(item));
    }
    loadedCount_ = written_ = texts_.size();
}

void SharedStrings::buildLookup() {
    for (uint32_t i = 0; i < texts_.size(); ++i) lookup_.emplace(texts_[i], i);
    lookupBuilt_ = true;
}

uint32_t SharedStrings::intern(const std::string& text) {
    if (!lookupBuilt_) buildLookup();
    // One hash look-up: the text is stored first and taken back when known.
    const auto index = static_cast<uint32_t>(texts_.size());
    const auto [it, added] = lookup_.try_emplace(texts_.emplace_back(text), index);
    if (!added) texts_.pop_back();
    return it->second;
}

std::string SharedStrings::serialize() {
    if (!loaded_) {
        pugi::xml_node decl = doc_.append_child(pugi::node_declaration);
        decl.append_attribute("version") = "1.0";
        decl.append_attribute("encoding") = "UTF-8";
        decl.append_attribute("standalone") = "yes";
        doc_.append_child("sst").append_attribute("xmlns") =
            "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
        loaded_ = true;
    }
    pugi::xml_node root = doc_.document_element();
    root.remove_attribute("count");
    if (!root.attribute("uniqueCount")) root.append_attribute("uniqueCount");
    root.attribute("uniqueCount").set_value(static_cast<unsigned long long>(texts_.size()));
    // New items are spliced in as text: much faster than building nodes for each.
    const std::string& kMarker = splicingMarker();
    pugi::xml_node marker = root.append_child(pugi::node_pcdata);
    marker.set_value(kMarker.c_str());
    std::string xml = serializeXml(doc_);
    root.remove_child(marker);
    const std::string prefix = prefixOf(root);
    const std::string open = "<" + prefix + "si><" + prefix + "t xml:space=\"preserve\">";
    const std::string close = "</" + prefix + "t></" + prefix + "si>";
    std::string items;
    items.reserve((texts_.size() - loadedCount_) * (open.size() + close.size() + 16));
    for (size_t i = loadedCount_; i < texts_.size(); ++i) {
        items += open;
        appendEscaped(items, texts_[i], false);
        items += close;
    }
    const size_t at = xml.rfind(kMarker);
    if (at == std::string::npos) raiseSpreadsheet("The shared-string table cannot be saved.");
    xml.replace(at, kMarker.size(), items);
    written_ = texts_.size();
    return xml;
}

}  // namespace kbx::ooxml
