#include "ooxml/styles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "value/number_format.h"
#include "ooxml/schema_order.h"
#include "ooxml/xml_util.h"

namespace kbx::ooxml {

namespace {

bool flagValue(const pugi::xml_node& node) {
    const pugi::xml_attribute val = node.attribute("val");
    if (!val) return true;
    const std::string_view v = val.value();
    return !(v == "0" || v == "false");
}

std::string numberText(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

ColorSpec parseColor(const pugi::xml_node& node) {
    ColorSpec color;
    if (!node) return color;
    if (node.attribute("rgb")) {
        color.kind = ColorSpec::Kind::Rgb;
        color.argb = static_cast<uint32_t>(std::strtoul(node.attribute("rgb").value(), nullptr, 16));
    } else if (node.attribute("theme")) {
        color.kind = ColorSpec::Kind::Theme;
        color.index = node.attribute("theme").as_int();
    } else if (node.attribute("indexed")) {
        color.kind = ColorSpec::Kind::Indexed;
        color.index = node.attribute("indexed").as_int();
    } else if (node.attribute("auto")) {
        color.kind = ColorSpec::Kind::Auto;
    }
    color.tint = node.attribute("tint").as_double(0);
    return color;
}

void writeColor(pugi::xml_node node, const ColorSpec& color) {
    char buf[16];
    switch (color.kind) {
        case ColorSpec::Kind::None: return;
        case ColorSpec::Kind::Auto: node.append_attribute("auto") = "1"; break;
        case ColorSpec::Kind::Rgb:
            std::snprintf(buf, sizeof buf, "%08X", color.argb);
            node.append_attribute("rgb") = buf;
            break;
        case ColorSpec::Kind::Indexed: node.append_attribute("indexed") = color.index; break;
        case ColorSpec::Kind::Theme: node.append_attribute("theme") = color.index; break;
    }
    if (color.tint != 0) node.append_attribute("tint") = numberText(color.tint).c_str();
}

// Applies a tint to a colour the way spreadsheet themes define it (on lightness).
uint32_t applyTint(uint32_t rgb, double tint) {
    if (tint == 0) return rgb;
    double r = ((rgb >> 16) & 0xFF) / 255.0, g = ((rgb >> 8) & 0xFF) / 255.0, b = (rgb & 0xFF) / 255.0;
    const double maxC = std::max({r, g, b}), minC = std::min({r, g, b});
    double h = 0, s = 0, l = (maxC + minC) / 2;
    if (maxC != minC) {
        const double d = maxC - minC;
        s = l > 0.5 ? d / (2 - maxC - minC) : d / (maxC + minC);
        if (maxC == r) h = (g - b) / d + (g < b ? 6 : 0);
        else if (maxC == g) h = (b - r) / d + 2;
        else h = (r - g) / d + 4;
        h /= 6;
    }
    l = tint < 0 ? l * (1 + tint) : l * (1 - tint) + tint;
    const auto hue = [](double p, double q, double t) {
        if (t < 0) t += 1;
        if (t > 1) t -= 1;
        if (t < 1.0 / 6) return p + (q - p) * 6 * t;
        if (t < 0.5) return q;
        if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
        return p;
    };
    if (s == 0) {
        r = g = b = l;
    } else {
        const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
        const double p = 2 * l - q;
        r = hue(p, q, h + 1.0 / 3);
        g = hue(p, q, h);
        b = hue(p, q, h - 1.0 / 3);
    }
    const auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return (byte(r) << 16) | (byte(g) << 8) | byte(b);
}

}  // namespace

const std::vector<uint32_t>& standardPalette() {
    static const std::vector<uint32_t> palette = {
        0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
        0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
        0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
        0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
        0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
        0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};
    return palette;
}

std::string FontSpec::key() const {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.17g|%d%d%d%d%d|%d|%08X|%d|%.17g|%d|%d|", size, bold, italic, strike, outline,
                  shadow, static_cast<int>(color.kind), color.argb, color.index, color.tint, family, charset);
    return std::string(buf) + name + '|' + underline + '|' + vertAlign + '|' + scheme + '|' + extra;
}

std::string XfSpec::key() const {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d|%d|%d|%d|%d|", numFmtId, fontId, fillId, borderId, xfId);
    return std::string(buf) + horizontal + '|' + vertical + '|' + rest;
}

void StyleSheet::load(const std::string& text, const std::string& file) {
    parseXml(doc_, text, file, "xl/styles.xml");
    const pugi::xml_node root = doc_.document_element();
    prefix_ = prefixOf(root);
    numFmtsNode_ = childNamed(root, "numFmts");
    for (pugi::xml_node node : numFmtsNode_.children()) {
        if (localName(node) != "numFmt") continue;
        const int id = node.attribute("numFmtId").as_int(-1);
        const std::string code = node.attribute("formatCode").value();
        numFmts_[id] = code;
        numFmtIds_.emplace(code, id);
    }
    if (const pugi::xml_node colors = childNamed(childNamed(root, "colors"), "indexedColors")) {
        for (pugi::xml_node node : colors.children()) {
            indexedColors_.push_back(
                static_cast<uint32_t>(std::strtoul(node.attribute("rgb").value(), nullptr, 16)) & 0xFFFFFF);
        }
    }
    fontsNode_ = childNamed(root, "fonts");
    for (pugi::xml_node node : fontsNode_.children()) {
        if (localName(node) != "font") continue;
        fonts_.push_back(parseFont(node));
        fontIndex_.emplace(fonts_.back().key(), static_cast<int>(fonts_.size() - 1));
    }
    if (fonts_.empty()) {
        fontsNode_ = childInSchemaOrder(root, "fonts");
        FontSpec standard;
        standard.name = "Calibri";
        standard.family = 2;
        standard.scheme = "minor";
        internFont(standard);
    }
    size_t fills = 0, borders = 0, styleXfs = 0;
    for (pugi::xml_node n : childNamed(root, "fills").children()) fills += localName(n) == "fill";
    for (pugi::xml_node n : childNamed(root, "borders").children()) borders += localName(n) == "border";
    for (pugi::xml_node n : childNamed(root, "cellStyleXfs").children()) styleXfs += localName(n) == "xf";
    cellXfsNode_ = childNamed(root, "cellXfs");
    for (pugi::xml_node node : cellXfsNode_.children()) {
        if (localName(node) != "xf") continue;
        XfSpec spec = parseXf(node);
        if (spec.fontId < 0 || static_cast<size_t>(spec.fontId) >= fonts_.size() ||
            (fills > 0 && (spec.fillId < 0 || static_cast<size_t>(spec.fillId) >= fills)) ||
            (borders > 0 && (spec.borderId < 0 || static_cast<size_t>(spec.borderId) >= borders)) ||
            (styleXfs > 0 && (spec.xfId < 0 || static_cast<size_t>(spec.xfId) >= styleXfs))) {
            raiseBadFile(file, "cell format " + std::to_string(xfs_.size()) + " refers to a font, fill, border "
                               "or style index out of range");
        }
        xfs_.push_back(std::move(spec));
        xfNodes_.push_back(node);
        xfIndex_.emplace(xfs_.back().key(), static_cast<uint32_t>(xfs_.size() - 1));
    }
    if (xfs_.empty()) {
        cellXfsNode_ = childInSchemaOrder(root, "cellXfs");
        internCellFormat(XfSpec{});
    }
}

void StyleSheet::createDefault() {
    static const char* kDefault =
        "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<fonts count=\"1\"><font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/><family val=\"2\"/>"
        "<scheme val=\"minor\"/></font></fonts>"
        "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
        "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
        "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
        "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
        "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
        "<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium2\" "
        "defaultPivotStyle=\"PivotStyleLight16\"/></styleSheet>";
    pugi::xml_document part;
    startPart(part, kDefault);
    load(serializeXml(part), "(new workbook)");
    dirty_ = true;
}

const FontSpec& StyleSheet::font(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= fonts_.size()) return fonts_.front();
    return fonts_[static_cast<size_t>(index)];
}

FontSpec StyleSheet::parseFont(const pugi::xml_node& node) const {
    FontSpec font;
    font.name.clear();
    for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        const std::string_view name = localName(child);
        if (name == "b") font.bold = flagValue(child);
        else if (name == "i") font.italic = flagValue(child);
        else if (name == "strike") font.strike = flagValue(child);
        else if (name == "outline") font.outline = flagValue(child);
        else if (name == "shadow") font.shadow = flagValue(child);
        else if (name == "u") {
            const std::string v = child.attribute("val") ? child.attribute("val").value() : "single";
            font.underline = v == "none" ? "" : v;
        } else if (name == "vertAlign") {
            const std::string v = child.attribute("val").value();
            font.vertAlign = v == "baseline" ? "" : v;
        } else if (name == "sz") font.size = child.attribute("val").as_double(11);
        else if (name == "color") font.color = parseColor(child);
        else if (name == "name" || name == "rFont") font.name = child.attribute("val").value();
        else if (name == "family") font.family = child.attribute("val").as_int(-1);
        else if (name == "charset") font.charset = child.attribute("val").as_int(-1);
        else if (name == "scheme") font.scheme = child.attribute("val").value();
        else font.extra += serializeNode(child);
    }
    return font;
}

void StyleSheet::writeFont(pugi::xml_node node, const FontSpec& spec) const {
    const auto add = [&](const char* name) { return node.append_child((prefix_ + name).c_str()); };
    if (spec.bold) add("b");
    if (spec.italic) add("i");
    if (spec.strike) add("strike");
    if (!spec.extra.empty()) node.append_buffer(spec.extra.data(), spec.extra.size());
    if (spec.outline) add("outline");
    if (spec.shadow) add("shadow");
    if (!spec.underline.empty()) {
        pugi::xml_node u = add("u");
        if (spec.underline != "single") u.append_attribute("val") = spec.underline.c_str();
    }
    if (!spec.vertAlign.empty()) add("vertAlign").append_attribute("val") = spec.vertAlign.c_str();
    add("sz").append_attribute("val") = numberText(spec.size).c_str();
    if (spec.color.kind != ColorSpec::Kind::None) writeColor(add("color"), spec.color);
    if (!spec.name.empty()) add("name").append_attribute("val") = spec.name.c_str();
    if (spec.family >= 0) add("family").append_attribute("val") = spec.family;
    if (spec.charset >= 0) add("charset").append_attribute("val") = spec.charset;
    if (!spec.scheme.empty()) add("scheme").append_attribute("val") = spec.scheme.c_str();
}

XfSpec StyleSheet::parseXf(const pugi::xml_node& node) const {
    XfSpec spec;
    spec.numFmtId = node.attribute("numFmtId").as_int(0);
    spec.fontId = node.attribute("fontId").as_int(0);
    spec.fillId = node.attribute("fillId").as_int(0);
    spec.borderId = node.attribute("borderId").as_int(0);
    spec.xfId = node.attribute("xfId").as_int(0);
    const pugi::xml_node alignment = childNamed(node, "alignment");
    spec.horizontal = alignment.attribute("horizontal").value();
    spec.vertical = alignment.attribute("vertical").value();
    if (spec.horizontal == "general") spec.horizontal.clear();
    if (spec.vertical == "bottom") spec.vertical.clear();
    pugi::xml_document scratch;
    pugi::xml_node copy = scratch.append_copy(node);
    for (const char* name : {"numFmtId", "fontId", "fillId", "borderId", "xfId", "applyNumberFormat", "applyFont",
                             "applyAlignment"}) {
        copy.remove_attribute(name);
    }
    if (pugi::xml_node a = childNamed(copy, "alignment")) {
        a.remove_attribute("horizontal");
        a.remove_attribute("vertical");
        if (!a.first_attribute() && !a.first_child()) copy.remove_child(a);
    }
    spec.rest = serializeNode(copy);
    return spec;
}

void StyleSheet::writeXf(pugi::xml_node node, const XfSpec& spec, const pugi::xml_node&) const {
    node.append_attribute("numFmtId") = spec.numFmtId;
    node.append_attribute("fontId") = spec.fontId;
    node.append_attribute("fillId") = spec.fillId;
    node.append_attribute("borderId") = spec.borderId;
    node.append_attribute("xfId") = spec.xfId;
    if (spec.numFmtId != 0) node.append_attribute("applyNumberFormat") = "1";
    if (spec.fontId != 0) node.append_attribute("applyFont") = "1";
    if (!spec.horizontal.empty() || !spec.vertical.empty()) {
        pugi::xml_node alignment = childInSchemaOrder(node, "alignment");
        if (!spec.horizontal.empty()) alignment.append_attribute("horizontal") = spec.horizontal.c_str();
        if (!spec.vertical.empty()) alignment.append_attribute("vertical") = spec.vertical.c_str();
    }
    if (childNamed(node, "alignment")) node.append_attribute("applyAlignment") = "1";
}

uint32_t StyleSheet::internCellFormat(const XfSpec& spec) {
    const std::string key = spec.key();
    if (const auto it = xfIndex_.find(key); it != xfIndex_.end()) return it->second;
    pugi::xml_node node;
    if (spec.rest.empty()) {
        node = cellXfsNode_.append_child((prefix_ + "xf").c_str());
    } else {
        cellXfsNode_.append_buffer(spec.rest.data(), spec.rest.size());
        node = cellXfsNode_.last_child();
    }
    writeXf(node, spec, {});
    xfs_.push_back(spec);
    xfNodes_.push_back(node);
    const auto index = static_cast<uint32_t>(xfs_.size() - 1);
    xfIndex_.emplace(key, index);
    dirty_ = true;
    return index;
}

int StyleSheet::internFont(const FontSpec& spec) {
    const std::string key = spec.key();
    if (const auto it = fontIndex_.find(key); it != fontIndex_.end()) return it->second;
    writeFont(fontsNode_.append_child((prefix_ + "font").c_str()), spec);
    fonts_.push_back(spec);
    const int index = static_cast<int>(fonts_.size() - 1);
    fontIndex_.emplace(key, index);
    dirty_ = true;
    return index;
}

std::string StyleSheet::numberFormatCode(int id) const {
    if (const auto it = numFmts_.find(id); it != numFmts_.end()) return it->second;
    if (auto builtin = builtinNumberFormat(id)) return *builtin;
    return "General";
}

int StyleSheet::internNumberFormat(const std::string& code) {
    if (const auto it = numFmtIds_.find(code); it != numFmtIds_.end()) return it->second;
    if (code == "General") return 0;
    const int builtin = builtinNumberFormatId(code);
    if (builtin >= 0 && numFmts_.find(builtin) == numFmts_.end()) return builtin;
    int id = 164;
    for (const auto& [existing, text] : numFmts_) id = std::max(id, existing + 1);
    if (!numFmtsNode_) numFmtsNode_ = childInSchemaOrder(doc_.document_element(), "numFmts");
    pugi::xml_node node = numFmtsNode_.append_child((prefix_ + "numFmt").c_str());
    node.append_attribute("numFmtId") = id;
    node.append_attribute("formatCode") = code.c_str();
    numFmts_[id] = code;
    numFmtIds_[code] = id;
    dirty_ = true;
    return id;
}

uint32_t StyleSheet::resolveRgb(const ColorSpec& color) const {
    switch (color.kind) {
        case ColorSpec::Kind::Rgb: return applyTint(color.argb & 0xFFFFFF, color.tint);
        case ColorSpec::Kind::Indexed: {
            const auto i = static_cast<size_t>(std::max(color.index, 0));
            if (i < indexedColors_.size()) return indexedColors_[i];
            static constexpr uint32_t kFirstEight[8] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                                        0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF};
            if (i < 8) return kFirstEight[i];
            if (i < 64) return standardPalette()[i - 8];
            return 0;
        }
        case ColorSpec::Kind::Theme: {
            const auto i = static_cast<size_t>(std::max(color.index, 0));
            static const std::vector<uint32_t> kOfficeTheme = {0xFFFFFF, 0x000000, 0xE7E6E6, 0x44546A,
                                                               0x4472C4, 0xED7D31, 0xA5A5A5, 0xFFC000,
                                                               0x5B9BD5, 0x70AD47, 0x0563C1, 0x954F72};
            const std::vector<uint32_t>& theme = themeColors_.empty() ? kOfficeTheme : themeColors_;
            return applyTint(i < theme.size() ? theme[i] : 0, color.tint);
        }
        default: return 0;
    }
}

std::string StyleSheet::serialize() {
    const auto setCount = [](pugi::xml_node node, size_t count) {
        if (!node) return;
        if (!node.attribute("count")) node.append_attribute("count");
        node.attribute("count").set_value(static_cast<unsigned long long>(count));
    };
    size_t numFmtCount = 0;
    for (pugi::xml_node n : numFmtsNode_.children()) numFmtCount += localName(n) == "numFmt";
    setCount(numFmtsNode_, numFmtCount);
    setCount(fontsNode_, fonts_.size());
    setCount(cellXfsNode_, xfs_.size());
    dirty_ = false;
    return serializeXml(doc_);
}

}  // namespace kbx::ooxml
