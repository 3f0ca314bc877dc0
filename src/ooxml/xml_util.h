#pragma once
// XML helpers of the package layer: guarded parsing of parts, the start of a
// new part, raw serialisation, names without namespace prefixes and text escaping.

#include <pugixml.hpp>

#include <string>
#include <string_view>

#include "value/utf8.h"

namespace kbx::ooxml {

// Raises error 1004 naming the file and what is wrong with it.
[[noreturn]] void raiseBadFile(const std::string& file, const std::string& what);

// Parses a part; refuses invalid UTF-8, document type declarations and
// malformed XML with an error naming `file` and `part`.
void parseXml(pugi::xml_document& doc, const std::string& text, const std::string& file, const std::string& part);
std::string serializeXml(const pugi::xml_document& doc);
// Starts a new part in `doc`: the XML declaration and the root element
// `rootName`, whose default namespace is `namespaceUri` unless it is null.
pugi::xml_node startPart(pugi::xml_document& doc, const char* rootName, const char* namespaceUri);
// Starts a new part from its root element written out as text.
void startPart(pugi::xml_document& doc, std::string_view rootXml);
std::string serializeNode(const pugi::xml_node& node);

// The element name without its namespace prefix.
std::string_view localName(const pugi::xml_node& node);
// The first child element with that local name.
pugi::xml_node childNamed(const pugi::xml_node& parent, std::string_view local);
// The node's namespace prefix including the colon ("" for the default namespace).
std::string prefixOf(const pugi::xml_node& node);

// Appends text escaped for element content / attribute values; control
// characters that XML cannot carry are written as _xHHHH_.
void appendEscaped(std::string& out, std::string_view text, bool attribute);
// A text unlikely to occur in any document (it holds a per-process random
// number): written as a placeholder node, then replaced in the serialised text.
const std::string& splicingMarker();

// Decodes the _xHHHH_ escapes of spreadsheet text.
std::string decodeEscapedText(std::string_view text);

// The namespaces the engine writes elements and attributes in.
namespace ns {
inline constexpr const char* kSpreadsheetMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr const char* kRelationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// The same namespace in the strict variant of the format.
inline constexpr const char* kStrictRelationships = "http://purl.oclc.org/ooxml/officeDocument/relationships";
}  // namespace ns

}  // namespace kbx::ooxml
