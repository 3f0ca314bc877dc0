#include "ooxml/sheet_references.h"

#include <functional>

#include "ooxml/package.h"
#include "ooxml/xml_util.h"
#include "value/text_case.h"

namespace kbx::ooxml {

namespace {

bool isNameCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == '\\' || u >= 0x80;
}

std::string quotedSheetName(const std::string& name) {
    std::string out = "'";
    for (char c : name) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// Copies a string literal or quoted name starting at `at` (the quote) into
// `out`; returns the index after it and, for quoted names, the unescaped text.
size_t readQuoted(std::string_view formula, size_t at, char quote, std::string& raw, std::string& text) {
    size_t i = at + 1;
    raw = quote;
    text.clear();
    while (i < formula.size()) {
        const char c = formula[i];
        raw += c;
        ++i;
        if (c != quote) {
            text += c;
            continue;
        }
        if (i < formula.size() && formula[i] == quote) {
            raw += quote;
            text += quote;
            ++i;
            continue;
        }
        break;
    }
    return i;
}

}  // namespace

std::string repointSheetReferences(std::string_view formula, const std::string& from, const std::string& to) {
    std::string out;
    out.reserve(formula.size() + to.size());
    size_t i = 0;
    while (i < formula.size()) {
        const char c = formula[i];
        const bool afterBook = !out.empty() && out.back() == ']';  // [1]Sheet!A1: another workbook
        if (c == '"' || c == '\'') {
            std::string raw;
            std::string text;
            i = readQuoted(formula, i, c, raw, text);
            const bool isSheet = c == '\'' && i < formula.size() && formula[i] == '!';
            out += isSheet && !afterBook && equalIgnoringCase(text, from) ? quotedSheetName(to) : raw;
            continue;
        }
        if (isNameCharacter(c) && (out.empty() || !isNameCharacter(out.back()))) {
            size_t end = i;
            while (end < formula.size() && isNameCharacter(formula[end])) ++end;
            const std::string_view word = formula.substr(i, end - i);
            const bool isSheet = end < formula.size() && formula[end] == '!';
            out += isSheet && !afterBook && equalIgnoringCase(word, from) ? quotedSheetName(to) : std::string(word);
            i = end;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

namespace {

// Whether XML text may name the sheet (its name, as escaped in XML, appears in it).
bool mayName(const std::string& xml, const std::string& sheet) {
    std::string escaped;
    appendEscaped(escaped, sheet, false);
    return lowerCase(xml).find(lowerCase(escaped)) != std::string::npos;
}

// Repoints the text of every element named `local` under `root`; whether any changed.
bool repointElements(pugi::xml_node root, std::string_view local, const std::string& from, const std::string& to) {
    bool changed = false;
    const std::function<void(pugi::xml_node)> visit = [&](pugi::xml_node node) {
        for (pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element) continue;
            if (localName(child) == local) {
                const std::string text = child.text().get();
                const std::string repointed = repointSheetReferences(text, from, to);
                if (repointed != text) {
                    child.text().set(repointed.c_str());
                    changed = true;
                }
            }
            visit(child);
        }
    };
    visit(root);
    return changed;
}

}  // namespace

std::string repointSheetReferencesInXml(const std::string& element, const std::string& from, const std::string& to) {
    if (!mayName(element, from)) return element;
    pugi::xml_document doc;
    if (!doc.load_string(element.c_str(), pugi::parse_default | pugi::parse_ws_pcdata)) return element;
    return repointElements(doc, localName(doc.document_element()), from, to) ? serializeNode(doc.document_element())
                                                                             : element;
}

void renameSheetInCharts(Package& package, const std::string& from, const std::string& to) {
    for (const std::string& part : package.partNames()) {
        const std::string type = package.contentType(part);
        const bool chart = type.find("drawingml.chart+xml") != std::string::npos;
        if (!chart && type.find("pivotCacheDefinition+xml") == std::string::npos) continue;
        const std::string xml = package.readPart(part);
        if (!mayName(xml, from)) continue;
        pugi::xml_document doc;
        parseXml(doc, xml, package.fileName(), part);
        bool changed = chart && repointElements(doc, "f", from, to);
        pugi::xml_node source = childNamed(childNamed(doc.document_element(), "cacheSource"), "worksheetSource");
        if (!chart && equalIgnoringCase(source.attribute("sheet").value(), from)) {
            source.attribute("sheet").set_value(to.c_str());
            changed = true;
        }
        if (changed) package.writePart(part, serializeXml(doc));
    }
}

}  // namespace kbx::ooxml
