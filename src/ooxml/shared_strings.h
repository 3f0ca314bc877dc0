#pragma once
// The shared-string table (xl/sharedStrings.xml). Entries read from the
// template keep their XML (rich text, phonetics); new strings are appended.

#include <pugixml.hpp>

#include <cstdint>
#include <deque>
#include <string_view>
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
    bool dirty() const { return texts_.size() > written_; }
    bool exists() const { return loaded_; }
    std::string serialize();

private:
    void buildLookup();

    pugi::xml_document doc_;
    bool loaded_ = false;
    // A deque keeps every text at its place, so the look-up can refer to it.
    std::deque<std::string> texts_;
    size_t loadedCount_ = 0;  // items of the table as read; later ones were added
    size_t written_ = 0;      // items already in the last serialised table
    std::unordered_map<std::string_view, uint32_t> lookup_;
    bool lookupBuilt_ = false;
};

// The plain text of a string item (<si>, <is>): its <t> or the runs' <t>.
std::string stringItemText(const pugi::xml_node& item);

}  // namespace kbx::ooxml
