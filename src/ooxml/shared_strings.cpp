#include "ooxml/shared_strings.h"

#include <algorithm>
#include <functional>

#include "ooxml/xml_util.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {


std::string stringItemText(const pugi::xml_node& item) {
    std::string text;
    for (pugi::xml_node child : item.children()) {
        const std::string_view name = localName(child);
        if (name == "t") {
            text += child.text().get();
        } else if (name == "r") {
            text += childNamed(child, "t").text().get();
        }
    }
    return decodeEscapedText(text);
}

namespace {

constexpr size_t kBlockSize = 1 << 20;
constexpr size_t kFirstSlots = 1 << 16;

uint32_t hashOf(std::string_view text) { return static_cast<uint32_t>(std::hash<std::string_view>{}(text)); }

}  // namespace

void SharedStrings::load(const std::string& text, const std::string& file) {
    parseXml(doc_, text, file, "xl/sharedStrings.xml");
    loaded_ = true;
    for (pugi::xml_node item : doc_.document_element().children()) {
        if (localName(item) == "si") texts_.push_back(store(stringItemText(item)));
    }
    loadedCount_ = written_ = texts_.size();
}

std::string_view SharedStrings::store(std::string_view text) {
    // The first text gets a block even when it is empty (a table may start with "").
    if (blocks_.empty() || text.size() > blockSize_ - blockUsed_) {
        blockSize_ = std::max(kBlockSize, text.size());
        blocks_.push_back(std::unique_ptr<char[]>(new char[blockSize_]));
        blockUsed_ = 0;
    }
    char* at = blocks_.back().get() + blockUsed_;
    std::copy(text.begin(), text.end(), at);
    blockUsed_ += text.size();
    return {at, text.size()};
}

void SharedStrings::grow() {
    const bool first = slots_.empty();
    std::vector<uint64_t> old = std::move(slots_);
    size_t size = std::max(kFirstSlots, old.size() * 2);
    while (size < texts_.size() * 2) size *= 2;
    slots_.assign(size, 0);
    const size_t mask = size - 1;
    const auto place = [&](uint64_t entry) {
        size_t slot = (entry >> 32) & mask;
        while (slots_[slot] != 0) slot = (slot + 1) & mask;
        slots_[slot] = entry;
    };
    if (first) {
        // The table as read: every text hashed once, the first of equal texts found first.
        for (uint32_t i = 0; i < texts_.size(); ++i) place((static_cast<uint64_t>(hashOf(texts_[i])) << 32) | (i + 1));
    } else {
        for (const uint64_t entry : old)
            if (entry != 0) place(entry);
    }
}

uint32_t SharedStrings::intern(std::string_view text) {
    // At most half full: probes stay short.
    if ((texts_.size() + 1) * 2 > slots_.size()) grow();
    const uint32_t hash = hashOf(text);
    const size_t mask = slots_.size() - 1;
    size_t slot = hash & mask;
    for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
        const uint64_t entry = slots_[slot];
        const auto index = static_cast<uint32_t>(entry) - 1;
        if ((entry >> 32) == hash && texts_[index] == text) return index;
    }
    const auto index = static_cast<uint32_t>(texts_.size());
    texts_.push_back(store(text));
    slots_[slot] = (static_cast<uint64_t>(hash) << 32) | (index + 1);
    return index;
}

void SharedStrings::writeXml(PieceBuffer& out) {
    if (!loaded_) {
        startPart(doc_, "sst", ns::kSpreadsheetMain);
        loaded_ = true;
    }
    pugi::xml_node root = doc_.document_element();
    root.remove_attribute("count");
    if (!root.attribute("uniqueCount")) root.append_attribute("uniqueCount");
    root.attribute("uniqueCount").set_value(static_cast<unsigned long long>(texts_.size()));
    // New items are spliced in as text: much faster than building nodes for each.
    const std::string& kMarker = splicingMarker();
    pugi::xml_node marker = root.append_child(pugi::node_pcdata);
    marker.set_value(kMarker.c_str());
    const std::string xml = serializeXml(doc_);
    root.remove_child(marker);
    const size_t at = xml.rfind(kMarker);
    if (at == std::string::npos) raiseSpreadsheet("The shared-string table cannot be saved.");
    const std::string prefix = prefixOf(root);
    const std::string open = "<" + prefix + "si><" + prefix + "t xml:space=\"preserve\">";
    const std::string close = "</" + prefix + "t></" + prefix + "si>";
    std::string& text = out.text();
    text.append(xml, 0, at);
    for (size_t i = loadedCount_; i < texts_.size(); ++i) {
        text += open;
        appendEscaped(text, texts_[i], false);
        text += close;
        out.maybeFlush();
    }
    text.append(xml, at + kMarker.size());
    out.flush();
    written_ = texts_.size();
}

DeflatedPart SharedStrings::serializeDeflated() {
    Deflater deflater;
    PieceBuffer buffer([&deflater](std::string_view piece) { deflater.write(piece); });
    writeXml(buffer);
    return deflater.finish();
}

}  // namespace kbx::ooxml
