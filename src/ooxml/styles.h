#pragma once
// The workbook's style sheet (xl/styles.xml): number formats, fonts and cell
// formats, interned so that equal formats share one index. Fonts and cell
// formats are only ever appended, so existing indexes stay valid.

#include <pugixml.hpp>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kbx::ooxml {

struct ColorSpec {
    enum class Kind { None, Auto, Rgb, Indexed, Theme } kind = Kind::None;
    uint32_t argb = 0;
    int index = 0;  // indexed or theme number
    double tint = 0;
    bool operator==(const ColorSpec&) const = default;
};

struct FontSpec {
    std::string name;
    double size = 11;
    bool bold = false, italic = false, strike = false, outline = false, shadow = false;
    std::string underline;  // "", single, double, singleAccounting, doubleAccounting
    std::string vertAlign;  // "", superscript, subscript
    ColorSpec color;
    int family = -1;
    int charset = -1;
    std::string scheme;
    std::string extra;  // other child elements, serialised
    bool operator==(const FontSpec&) const = default;
    std::string key() const;
};

struct XfSpec {
    int numFmtId = 0, fontId = 0, fillId = 0, borderId = 0, xfId = 0;
    std::string horizontal, vertical;
    std::string rest;  // everything else of the <xf>, serialised
    bool operator==(const XfSpec&) const = default;
    std::string key() const;
};

// One property set on a cell format: remembered so that the next cell that
// gets the same value on the same format finds its new format at once.
struct StyleTransition {
    uint32_t from = 0;
    uint8_t property = 0;
    uint8_t valueType = 0;
    uint64_t value = 0;
    bool operator==(const StyleTransition&) const = default;
};

struct StyleTransitionHash {
    size_t operator()(const StyleTransition& t) const {
        uint64_t h = t.value * 0x9E3779B97F4A7C15ull;
        h ^= (static_cast<uint64_t>(t.from) << 16) ^ (static_cast<uint64_t>(t.property) << 8) ^ t.valueType;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

class StyleSheet {
public:
    // Reads the style sheet part; errors name `file`.
    void load(const std::string& text, const std::string& file);
    // A minimal style sheet for a new workbook.
    void createDefault();
    // The theme's colours, for theme colours of fonts (see theme.h).
    void setThemeColors(std::vector<uint32_t> rgb) { themeColors_ = std::move(rgb); }

    bool dirty() const { return dirty_; }
    std::string serialize();

    size_t cellFormatCount() const { return xfs_.size(); }
    const XfSpec& cellFormat(uint32_t index) const { return xfs_.at(index); }
    const FontSpec& font(int index) const;
    const FontSpec& defaultFont() const { return font(0); }

    // Index of a cell format equal to `spec`, added when new.
    uint32_t internCellFormat(const XfSpec& spec);
    int internFont(const FontSpec& spec);
    // Number format code of an id and the id of a code (added when new).
    std::string numberFormatCode(int id) const;
    int internNumberFormat(const std::string& code);

    const uint32_t* findTransition(const StyleTransition& t) const {
        // A fill repeats the same few transitions: a direct-mapped cache answers most.
        RecentTransition& recent = recentTransitions_[StyleTransitionHash{}(t) % recentTransitions_.size()];
        if (recent.known && recent.transition == t) return &recent.to;
        const auto it = transitions_.find(t);
        if (it == transitions_.end()) return nullptr;
        recent = {t, it->second, true};
        return &recent.to;
    }
    void rememberTransition(const StyleTransition& t, uint32_t to) {
        transitions_[t] = to;
        RecentTransition& recent = recentTransitions_[StyleTransitionHash{}(t) % recentTransitions_.size()];
        if (recent.known && recent.transition == t) recent.to = to;
    }

    // Colour as 0xRRGGBB; automatic and missing colours are black.
    uint32_t resolveRgb(const ColorSpec& color) const;

private:
    FontSpec parseFont(const pugi::xml_node& node) const;
    XfSpec parseXf(const pugi::xml_node& node) const;
    void writeFont(pugi::xml_node node, const FontSpec& spec) const;
    void writeXf(pugi::xml_node node, const XfSpec& spec, const pugi::xml_node& base) const;

    pugi::xml_document doc_;
    std::string prefix_;
    pugi::xml_node fontsNode_, cellXfsNode_, numFmtsNode_;
    std::vector<FontSpec> fonts_;
    std::vector<XfSpec> xfs_;
    std::vector<pugi::xml_node> xfNodes_;
    std::unordered_map<std::string, int> fontIndex_;
    std::unordered_map<std::string, uint32_t> xfIndex_;
    std::unordered_map<int, std::string> numFmts_;
    std::unordered_map<std::string, int> numFmtIds_;
    std::vector<uint32_t> indexedColors_;
    std::vector<uint32_t> themeColors_;
    std::unordered_map<StyleTransition, uint32_t, StyleTransitionHash> transitions_;
    struct RecentTransition {
        StyleTransition transition;
        uint32_t to = 0;
        bool known = false;
    };
    mutable std::array<RecentTransition, 256> recentTransitions_{};
    bool dirty_ = false;
};

// The 56 colours of the standard palette, 0xRRGGBB, for ColorIndex 1..56.
const std::vector<uint32_t>& standardPalette();

}  // namespace kbx::ooxml
