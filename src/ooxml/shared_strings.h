#pragma once
// The shared-string table (xl/sharedStrings.xml). Entries read from the
// template keep their XML (rich text, phonetics); new strings are appended.

#include <pugixml.hpp>

#include "ooxml/deflate.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <string>
#include <vector>

namespace kbx::ooxml {

class SharedStrings {
public:
    void load(const std::string& text, const std::string& file);
    size_t size() const { return texts_.size(); }
    std::string_view text(uint32_t index) const { return texts_[index]; }
    // Index of a plain string, appended when it is not in the table yet.
    uint32_t intern(std::string_view text);
    bool dirty() const { return texts_.size() > written_; }
    bool exists() const { return loaded_; }
    // The table's XML, deflated as it is written.
    DeflatedPart serializeDeflated();

private:
    void writeXml(PieceBuffer& out);
    std::string_view store(std::string_view text);
    void grow();

    pugi::xml_document doc_;
    bool loaded_ = false;
    // The texts live in blocks that never move, so a text stays where it is.
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t blockUsed_ = 0, blockSize_ = 0;
    std::vector<std::string_view> texts_;
    // Open addressing over the texts: a slot holds a text's hash (high 32
    // bits) and its index + 1 (0 is free), so that a probe compares texts only
    // when their hashes agree and growing the table hashes nothing again.
    std::vector<uint64_t> slots_;
    size_t loadedCount_ = 0;  // items of the table as read; later ones were added
    size_t written_ = 0;      // items already in the last serialised table
};

// The plain text of a string item (<si>, <is>): its <t> or the runs' <t>.
std::string stringItemText(const pugi::xml_node& item);

}  // namespace kbx::ooxml
