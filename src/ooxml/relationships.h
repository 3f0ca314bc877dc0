#pragma once
// Relationship parts (_rels/*.rels): the links from one part to others, and
// the r:id attributes by which a part's XML names them.

#include <pugixml.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kbx::ooxml {

struct Relationship {
    std::string id;
    std::string type;
    std::string target;
    bool external = false;
    // Whether the type is `kind` ("worksheet", "styles", ...) in either
    // variant of the format.
    bool is(std::string_view kind) const;
    // Whether the target is a part of the package: not an external one, not a
    // place in the workbook ("#Sheet1!A1"), and never that of a hyperlink.
    bool namesPart() const;
};

// The relationship type of `kind` as this engine writes it.
std::string relationshipType(std::string_view kind);

struct Relationships {
    std::vector<Relationship> items;
    const Relationship* find(const std::string& id) const;
    // The first relationship of a kind ("styles", "theme", ...), or nullptr.
    const Relationship* firstOfKind(std::string_view kind) const;
    // Adds an internal relationship of `kind` with a fresh id ("rIdN", the
    // lowest N above the count that is free) and returns the id.
    std::string add(std::string_view kind, const std::string& target);
    // Removes the relationship with this id.
    void remove(const std::string& id);

    // The relationship part's XML, and the relationships it holds.
    std::string serialize() const;
    static Relationships parse(const pugi::xml_document& part);

private:
    // The ids in use, for add(); rebuilt when the items were added or
    // removed by hand (their count differs from the one the set was made for).
    std::unordered_set<std::string> ids_;
    size_t idsCounted_ = 0;
};

// The relationship part of a part ("" for the package itself).
std::string relationshipsPartName(const std::string& sourcePart);

// Whether an attribute of `node` is in the relationships namespace (r:id, r:embed, ...).
bool isRelationshipAttribute(const pugi::xml_node& node, const pugi::xml_attribute& attribute);
// The r:id of an element, whatever prefix its document binds; "" when it has none.
std::string relationshipIdOf(const pugi::xml_node& element);
// Gives an element an r:id, binding the prefix r (on the part's root where it
// is free) when the element's scope binds none to the relationships namespace.
void setRelationshipId(pugi::xml_node element, const std::string& id);

}  // namespace kbx::ooxml
