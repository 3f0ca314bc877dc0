#include "ooxml/stored_formula.h"

#include <pugixml.hpp>

#include <string_view>

#include "value/cell_reference.h"

namespace kbx::ooxml {

namespace {

// "B2:D9" or "B2" into its corners; false when malformed.
bool readRange(std::string_view ref, StoredFormula& formula) {
    const size_t colon = ref.find(':');
    const std::string_view first = ref.substr(0, colon);
    const std::string_view last = colon == std::string_view::npos ? first : ref.substr(colon + 1);
    return parseCellReference(first, formula.top, formula.left) &&
           parseCellReference(last, formula.bottom, formula.right) && formula.top <= formula.bottom &&
           formula.left <= formula.right;
}

StoredFormula::Kind kindNamed(std::string_view type) {
    if (type.empty() || type == "normal") return StoredFormula::Kind::Normal;
    if (type == "shared") return StoredFormula::Kind::Shared;
    if (type == "array") return StoredFormula::Kind::Array;
    if (type == "dataTable") return StoredFormula::Kind::DataTable;
    return StoredFormula::Kind::Unknown;
}

}  // namespace

StoredFormula readStoredFormula(const std::string& element) {
    StoredFormula formula;
    // Most formulas are a plain <f> with text that needs no unescaping.
    constexpr std::string_view open = "<f>", close = "</f>";
    const std::string_view xml(element);
    if (xml.starts_with(open) && xml.ends_with(close) && xml.size() >= open.size() + close.size()) {
        const std::string_view text = xml.substr(open.size(), xml.size() - open.size() - close.size());
        if (text.find_first_of("&<") == std::string_view::npos) {
            formula.text = text;
            return formula;
        }
    }
    pugi::xml_document doc;
    if (!doc.load_buffer(element.data(), element.size(), pugi::parse_default | pugi::parse_ws_pcdata)) {
        formula.kind = StoredFormula::Kind::Unknown;
        return formula;
    }
    const pugi::xml_node f = doc.document_element();
    formula.kind = kindNamed(f.attribute("t").value());
    formula.text = f.text().get();
    formula.sharedIndex = f.attribute("si").as_llong(-1);
    const pugi::xml_attribute ref = f.attribute("ref");
    if (ref && !readRange(ref.value(), formula)) formula.kind = StoredFormula::Kind::Unknown;
    if (formula.kind == StoredFormula::Kind::Array && !ref) formula.kind = StoredFormula::Kind::Unknown;
    return formula;
}

}  // namespace kbx::ooxml
