#include "ooxml/sheet_copy_parts.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <vector>

#include "ooxml/package.h"
#include "ooxml/part_names.h"
#include "ooxml/xml_util.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::ooxml {

namespace {

std::optional<int64_t> parseInteger(std::string_view text) {
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// Number of characters (code points) of UTF-8 text.
size_t characterCount(std::string_view text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The first `count` characters of UTF-8 text.
std::string firstCharacters(std::string_view text, size_t count) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == count) return std::string(text.substr(0, i));
            ++seen;
        }
    }
    return std::string(text);
}

}  // namespace

std::string sheetCopyName(const std::string& name, const std::function<bool(const std::string&)>& isTaken) {
    static const std::regex numbered(R"(^(.*) \(([0-9]{1,6})\)$)");
    std::string base = name;
    int64_t next = 2;
    std::smatch match;
    if (std::regex_match(name, match, numbered)) {
        base = match[1].str();
        next = parseInteger(match[2].str()).value_or(1) + 1;
    }
    for (int64_t n = next; n < next + 100000; ++n) {
        const std::string suffix = " (" + std::to_string(n) + ")";
        const size_t room = kMaxSheetNameLength - std::min(suffix.size(), kMaxSheetNameLength);
        std::string trimmed = characterCount(base) > room ? firstCharacters(base, room) : base;
        const std::string candidate = trimmed + suffix;
        if (!isTaken(candidate)) return candidate;
    }
    raiseSpreadsheet("No free name is left for a copy of the sheet \"" + name + "\".");
}

namespace {

constexpr int kMaxCopyDepth = 8;
// Relationships whose targets the copy shares with the source.
bool isSharedTarget(const Relationship& relationship) {
    static const char* const shared[] = {"image",  "hdphoto", "video",        "audio",
                                         "media", "pivotCacheDefinition", "externalLink", "person"};
    return std::any_of(std::begin(shared), std::end(shared), [&](const char* kind) { return relationship.is(kind); });
}

// "xl/drawings/drawing1.xml" -> "xl/drawings/drawing" and ".xml".
std::pair<std::string, std::string> namePattern(const std::string& part) {
    const size_t slash = part.rfind('/');
    size_t dot = part.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = part.size();
    size_t stem = dot;
    while (stem > 0 && part[stem - 1] >= '0' && part[stem - 1] <= '9' && stem - 1 > slash + 1) --stem;
    return {part.substr(0, stem), part.substr(dot)};
}

class SheetPartsCopier {
public:
    SheetPartsCopier(Package& package, const std::set<std::string>& reservedNames)
        : package_(package), reservedNames_(reservedNames) {}

    void copyRelationships(const std::string& source, const std::string& target, int depth) {
        Relationships rels = package_.relationships(source);
        if (rels.items.empty()) return;
        for (Relationship& r : rels.items) {
            if (!r.namesPart()) continue;
            const std::string part = package_.resolveTarget(source, r.target);
            if (isSharedTarget(r) || !package_.hasPart(part)) {
                r.target = relativeTarget(target, part);
                continue;
            }
            r.target = relativeTarget(target, duplicate(part, depth + 1));
        }
        package_.setRelationships(target, rels);
    }

    void mapPart(const std::string& source, const std::string& copy) { copies_[source] = copy; }

private:
    std::string duplicate(const std::string& part, int depth) {
        if (const auto found = copies_.find(part); found != copies_.end()) return found->second;
        if (depth > kMaxCopyDepth) return part;
        const auto [prefix, suffix] = namePattern(part);
        const std::string copy = package_.uniquePartName(prefix, suffix);
        copies_[part] = copy;

        const std::string type = package_.contentType(part);
        std::string data = package_.readPart(part);
        if (type == contentType::kTable) data = renamedTable(data, part);
        if (type.find("vmlDrawing") != std::string::npos || lowerCase(suffix) == ".vml") data = renumberedVml(data);
        package_.writePart(copy, std::move(data));
        if (!type.empty()) package_.setOverride(copy, type);
        copyRelationships(part, copy, depth);
        return copy;
    }

    void collectTables() {
        if (tablesCollected_) return;
        tablesCollected_ = true;
        for (const std::string& part : package_.partNames()) {
            if (package_.contentType(part) != contentType::kTable) continue;
            pugi::xml_document doc;
            parseXml(doc, package_.readPart(part), package_.fileName(), part);
            const pugi::xml_node table = doc.document_element();
            tableNames_.insert(lowerCase(table.attribute("name").value()));
            tableNames_.insert(lowerCase(table.attribute("displayName").value()));
            highestTableId_ = std::max<int64_t>(highestTableId_, table.attribute("id").as_llong(0));
        }
    }

    bool nameTaken(const std::string& name) const {
        const std::string lower = lowerCase(name);
        return tableNames_.count(lower) || reservedNames_.count(lower);
    }

    std::string renamedTable(const std::string& data, const std::string& part) {
        collectTables();
        pugi::xml_document doc;
        parseXml(doc, data, package_.fileName(), part);
        pugi::xml_node table = doc.document_element();
        std::string base = table.attribute("displayName").value();
        static const std::regex numbered(R"(^(.*)_[0-9]{1,6}$)");
        std::smatch match;
        if (std::regex_match(base, match, numbered)) base = match[1].str();
        if (base.empty()) base = "Table";
        std::string name;
        for (int n = 2; name.empty() || nameTaken(name); ++n) name = base + "_" + std::to_string(n);
        tableNames_.insert(lowerCase(name));
        const auto set = [&](const char* attribute, const std::string& value) {
            if (!table.attribute(attribute)) table.append_attribute(attribute);
            table.attribute(attribute).set_value(value.c_str());
        };
        set("id", std::to_string(++highestTableId_));
        set("name", name);
        set("displayName", name);
        return serializeXml(doc);
    }

    // Shapes of a VML drawing are numbered in blocks of 1024 per drawing
    // (o:idmap); the copy takes a block no other drawing uses.
    std::string renumberedVml(const std::string& data) {
        static const std::regex idmap(R"re((:idmap\b[^>]*\bdata=")([^"]*)("))re");
        static const std::regex shapeId(R"(_x0000_s([0-9]{1,9}))");
        if (!highestVmlBlock_) {
            int64_t highest = 0;
            for (const std::string& part : package_.partNames()) {
                if (lowerCase(namePattern(part).second) != ".vml") continue;
                const std::string text = package_.readPart(part);
                for (std::sregex_iterator it(text.begin(), text.end(), idmap), end; it != end; ++it)
                    highest = std::max(highest, highestNumberIn((*it)[2].str()));
            }
            highestVmlBlock_ = highest;
        }
        std::smatch match;
        if (!std::regex_search(data, match, idmap)) return data;
        const int64_t block = ++*highestVmlBlock_;
        return renumberShapes(match.prefix().str(), block, shapeId) + match[1].str() + std::to_string(block) +
               match[3].str() + renumberShapes(match.suffix().str(), block, shapeId);
    }

    static int64_t highestNumberIn(const std::string& list) {
        int64_t highest = 0;
        size_t start = 0;
        while (start <= list.size()) {
            const size_t comma = std::min(list.find(',', start), list.size());
            highest = std::max(highest, parseInteger(list.substr(start, comma - start)).value_or(0));
            start = comma + 1;
        }
        return highest;
    }

    static std::string renumberShapes(const std::string& text, int64_t block, const std::regex& shapeId) {
        std::string out;
        auto last = text.cbegin();
        for (std::sregex_iterator it(text.begin(), text.end(), shapeId), end; it != end; ++it) {
            out.append(last, (*it)[0].first);
            const int64_t old = parseInteger((*it)[1].str()).value_or(0);
            out += "_x0000_s" + std::to_string(block * 1024 + old % 1024);
            last = (*it)[0].second;
        }
        out.append(last, text.cend());
        return out;
    }

    Package& package_;
    const std::set<std::string>& reservedNames_;
    std::map<std::string, std::string> copies_;
    bool tablesCollected_ = false;
    std::set<std::string> tableNames_;
    int64_t highestTableId_ = 0;
    std::optional<int64_t> highestVmlBlock_;
};

}  // namespace

void copySheetRelatedParts(Package& package, const std::string& sourceSheetPart, const std::string& targetSheetPart,
                           const std::set<std::string>& reservedNames) {
    SheetPartsCopier copier(package, reservedNames);
    copier.mapPart(sourceSheetPart, targetSheetPart);
    copier.copyRelationships(sourceSheetPart, targetSheetPart, 0);
}

}  // namespace kbx::ooxml
