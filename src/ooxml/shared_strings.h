#pragma once
// The shared-string table (xl/sharedStrings.xml). Entries read from the
// template keep their XML (rich text, phonetics); new strings are appended.

#include <pugixml.hpp>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kbx::ooxml {

class SharedStrings {
public:
    void load(const std::string& text, const std::string& file);
    size_t size() const { return texts_.size(); }
    const std::string& text(uint32_t index) const { return texts_[index]; }
    // Index of a plain string, appended when it is not in the table yet.
    uint32_t intern(const std::string& text);
    bool dirty() const { return !added_.empty(); }
    bool exists() const { return loaded_; }
    std::string serialize();

private:
    void buildLookup();

    pugi::xml_document doc_;
    bool loaded_ = false;
    std::vector<std::string> texts_;
    std::vector<std::string> added_;
    std::unordered_map<std::string, uint32_t> lookup_;
    bool lookupBuilt_ = false;
};

// The plain text of a string item (<si>, <is>): its <t> or the runs' <t>.
std::string stringItemText(const pugi::xml_node& item);

}  // namespace kbx::ooxml
