#pragma once
// The order the schema gives the child elements of a part's main elements
// (worksheet, workbook, style sheet, cell format), so that a new element goes
// where readers expect it.

#include <pugixml.hpp>

#include <string_view>

namespace kbx::ooxml {

// The child of `parent` named `local` (without prefix): the existing one, or
// a new one (with the parent's prefix) placed before the first sibling the
// schema puts after it.
pugi::xml_node childInSchemaOrder(pugi::xml_node parent, std::string_view local);

}  // namespace kbx::ooxml
