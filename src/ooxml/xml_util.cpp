#include "ooxml/xml_util.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>

#include "value/runtime_error.h"

namespace kbx::ooxml {

void raiseBadFile(const std::string& file, const std::string& what) {
    raiseSpreadsheet("The file '" + file + "' cannot be read: " + what + ".");
}

void parseXml(pugi::xml_document& doc, const std::string& text, const std::string& file, const std::string& part) {
    if (!isValidUtf8(text)) raiseBadFile(file, "the part '" + part + "' is not valid UTF-8");
    const pugi::xml_parse_result result =
        doc.load_buffer(text.data(), text.size(), pugi::parse_full | pugi::parse_ws_pcdata, pugi::encoding_utf8);
    if (!result) {
        raiseBadFile(file, "the part '" + part + "' is not well-formed XML (" + result.description() + " at offset " +
                               std::to_string(result.offset) + ")");
    }
    for (pugi::xml_node node : doc.children()) {
        if (node.type() == pugi::node_doctype) {
            raiseBadFile(file, "the part '" + part + "' holds a document type declaration");
        }
    }
    if (!doc.document_element()) raiseBadFile(file, "the part '" + part + "' has no root element");
}

namespace {
struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};
}  // namespace

std::string serializeXml(const pugi::xml_document& doc) {
    StringWriter writer;
    doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(writer.out);
}

namespace {
void appendDeclaration(pugi::xml_document& doc) {
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    declaration.append_attribute("standalone") = "yes";
}
}  // namespace

pugi::xml_node startPart(pugi::xml_document& doc, const char* rootName, const char* namespaceUri) {
    doc.reset();
    appendDeclaration(doc);
    pugi::xml_node root = doc.append_child(rootName);
    if (namespaceUri != nullptr) root.append_attribute("xmlns") = namespaceUri;
    return root;
}

void startPart(pugi::xml_document& doc, std::string_view rootXml) {
    doc.reset();
    appendDeclaration(doc);
    doc.append_buffer(rootXml.data(), rootXml.size(), pugi::parse_full | pugi::parse_ws_pcdata, pugi::encoding_utf8);
}

std::string serializeNode(const pugi::xml_node& node) {
    StringWriter writer;
    node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(writer.out);
}

std::string_view localName(const pugi::xml_node& node) {
    std::string_view name = node.name();
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node childNamed(const pugi::xml_node& parent, std::string_view local) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && localName(child) == local) return child;
    }
    return {};
}

std::string prefixOf(const pugi::xml_node& node) {
    std::string_view name = node.name();
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(name.substr(0, colon + 1));
}

void appendEscaped(std::string& out, std::string_view text, bool attribute) {
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (ch) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"':
                if (attribute) {
                    out += "&quot;";
                } else {
                    out += ch;
                }
                break;
            default:
                if (c < 0x20 && ch != '\t' && ch != '\n') {
                    char buf[10];
                    std::snprintf(buf, sizeof buf, "_x%04X_", c);
                    out += buf;
                } else if (attribute && (ch == '\t' || ch == '\n')) {
                    out += ch == '\t' ? "&#9;" : "&#10;";
                } else {
                    out += ch;
                }
        }
    }
}

const std::string& splicingMarker() {
    static const std::string marker = [] {
        std::random_device device;
        std::mt19937_64 generator(device());
        char buf[40];
        std::snprintf(buf, sizeof buf, "kbx%016llxsplice", static_cast<unsigned long long>(generator()));
        return std::string(buf);
    }();
    return marker;
}

std::string decodeEscapedText(std::string_view text) {
    if (text.find("_x") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            unsigned value = 0;
            bool hex = true;
            for (size_t k = i + 2; k < i + 6; ++k) {
                const char h = text[k];
                value <<= 4;
                if (h >= '0' && h <= '9') {
                    value |= static_cast<unsigned>(h - '0');
                } else if (h >= 'A' && h <= 'F') {
                    value |= static_cast<unsigned>(h - 'A' + 10);
                } else if (h >= 'a' && h <= 'f') {
                    value |= static_cast<unsigned>(h - 'a' + 10);
                } else {
                    hex = false;
                }
            }
            if (hex && value < 0x80) {
                out += static_cast<char>(value);
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

}  // namespace kbx::ooxml
