#include "ooxml/sheet_references.h"

#include <cctype>
#include <functional>
#include <optional>
#include <vector>

#include "ooxml/package.h"
#include "ooxml/xml_util.h"
#include "value/cell_reference.h"
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

bool isReferenceCharacter(char c) { return isNameCharacter(c) || c == '$'; }

// One part of a reference: "$A", "A", "$12", "12" (letters or digits, not both).
struct ReferencePart {
    bool absolute = false;
    int32_t value = 0;
    bool column = false;
};

// Reads a part at `at` of `word`; nullopt when there is none.
std::optional<ReferencePart> readPart(std::string_view word, size_t& at, bool column) {
    ReferencePart part{false, 0, column};
    size_t i = at;
    if (i < word.size() && word[i] == '$') {
        part.absolute = true;
        ++i;
    }
    const size_t start = i;
    while (i < word.size() && (column ? std::isalpha(static_cast<unsigned char>(word[i]))
                                      : std::isdigit(static_cast<unsigned char>(word[i]))))
        ++i;
    const std::string_view text = word.substr(start, i - start);
    part.value = column ? columnOfLetters(text) : rowOfDigits(text);
    if (part.value == 0) return std::nullopt;
    at = i;
    return part;
}

// The parts of a word that is a cell ("B$2"), a column ("$B") or a row ("2")
// reference, or nothing.
std::vector<ReferencePart> referenceParts(std::string_view word) {
    size_t at = 0;
    std::vector<ReferencePart> parts;
    if (auto column = readPart(word, at, true)) parts.push_back(*column);
    if (auto row = readPart(word, at, false)) parts.push_back(*row);
    if (at != word.size()) parts.clear();
    return parts;
}

// The part moved by its offset; false when it leaves the sheet.
bool shiftPart(ReferencePart& part, int32_t rows, int32_t columns, std::string& out) {
    if (!part.absolute) part.value += part.column ? columns : rows;
    if (part.value < 1 || part.value > (part.column ? kMaxColumns : kMaxRows)) return false;
    if (part.absolute) out += '$';
    out += part.column ? columnName(part.value) : std::to_string(part.value);
    return true;
}

// A word moved by the offset, or the word unchanged when it is no reference:
// a cell reference alone, a column or row only beside a colon and another of its kind.
std::string shiftWord(std::string_view word, std::string_view partner, int32_t rows, int32_t columns) {
    std::vector<ReferencePart> parts = referenceParts(word);
    const std::vector<ReferencePart> others = partner.empty() ? std::vector<ReferencePart>() : referenceParts(partner);
    const bool cell = parts.size() == 2;
    const bool line = parts.size() == 1 && others.size() == 1 && others[0].column == parts[0].column;
    if (!cell && !line) return std::string(word);
    std::string out;
    for (ReferencePart& part : parts)
        if (!shiftPart(part, rows, columns, out)) return "#REF!";
    return out;
}

// The word of reference characters that ends just before `end` or starts at `start`.
std::string_view wordBefore(std::string_view formula, size_t end) {
    size_t start = end;
    while (start > 0 && isReferenceCharacter(formula[start - 1])) --start;
    return formula.substr(start, end - start);
}

std::string_view wordFrom(std::string_view formula, size_t start) {
    size_t end = start;
    while (end < formula.size() && isReferenceCharacter(formula[end])) ++end;
    return formula.substr(start, end - start);
}

}  // namespace

std::string shiftRelativeReferences(std::string_view formula, int32_t rows, int32_t columns) {
    std::string out;
    size_t i = 0;
    while (i < formula.size()) {
        const char c = formula[i];
        if (c == '"' || c == '\'') {
            std::string raw, text;
            i = readQuoted(formula, i, c, raw, text);
            out += raw;
        } else if (c == '[') {
            // Structured references and other workbooks' indexes, nested brackets included.
            int depth = 0;
            do {
                depth += formula[i] == '[' ? 1 : formula[i] == ']' ? -1 : 0;
                out += formula[i++];
            } while (i < formula.size() && depth > 0);
        } else if (isReferenceCharacter(c) && (i == 0 || !isReferenceCharacter(formula[i - 1]))) {
            const std::string_view word = wordFrom(formula, i);
            const size_t end = i + word.size();
            const char next = end < formula.size() ? formula[end] : '\0';
            std::string_view partner;
            if (next == ':') partner = wordFrom(formula, end + 1);
            else if (i > 0 && formula[i - 1] == ':') partner = wordBefore(formula, i - 1);
            out += next == '(' || next == '!' ? std::string(word) : shiftWord(word, partner, rows, columns);
            i = end;
        } else {
            out += c;
            ++i;
        }
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
