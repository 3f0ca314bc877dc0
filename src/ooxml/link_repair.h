#pragma once
// Links to parts a package lacks: some writers leave relationships whose
// target part is missing, which readers refuse. They are dropped on opening,
// with the XML elements that use them.

#include <pugixml.hpp>

#include <set>
#include <string>
#include <vector>

namespace kbx::ooxml {

class Package;

// A relationship that was dropped: its source part ("" for the package),
// its id and the missing part it named.
struct DroppedLink {
    std::string part;
    std::string id;
    std::string missingTarget;
};

// Drops the relationships of `part` whose target part the package lacks,
// with the elements of `root` (the part's parsed XML, or none) that use them:
// a page setup only loses its link to printer settings, and a container left
// empty (<tableParts>, <hyperlinks>, ...) goes too, else its count is corrected.
std::vector<DroppedLink> dropDanglingRelationships(Package& package, const std::string& part, pugi::xml_node root);

// The same for every part but those in `handled`, parsed and rewritten only
// when it has such a link. A part or relationship set that is no XML (a zip
// tool's stray entries such as __MACOSX/) is left as it is.
std::vector<DroppedLink> dropDanglingRelationshipsBelow(Package& package, const std::set<std::string>& handled);

}  // namespace kbx::ooxml
