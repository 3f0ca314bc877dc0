#include "ooxml/theme.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>

#include "ooxml/styles.h"
#include "ooxml/xml_util.h"
#include "value/text_case.h"

namespace kbx::ooxml {

std::vector<uint32_t> themeColorsOf(const pugi::xml_document& theme) {
    pugi::xml_node scheme = childNamed(childNamed(theme.document_element(), "themeElements"), "clrScheme");
    std::vector<uint32_t> colors;
    for (pugi::xml_node c : scheme.children()) {
        if (c.type() != pugi::node_element) continue;
        pugi::xml_node value = c.first_child();
        const char* text =
            localName(value) == "sysClr" ? value.attribute("lastClr").value() : value.attribute("val").value();
        colors.push_back(static_cast<uint32_t>(std::strtoul(text, nullptr, 16)) & 0xFFFFFF);
    }
    if (colors.size() >= 4) {
        // The scheme lists dark 1, light 1, dark 2, light 2.
        std::swap(colors[0], colors[1]);
        std::swap(colors[2], colors[3]);
    }
    return colors;
}

double maxDigitWidthOf(const FontSpec& font) {
    const std::string name = lowerCase(font.name);
    const auto named = [&name](const char* a, const char* b) {
        return name.find(a) != std::string::npos || name.find(b) != std::string::npos;
    };
    double ratio = 0.52;
    if (name.find("calibri") != std::string::npos)
        ratio = 7.0 / (11 * 96.0 / 72);
    else if (named("arial", "liberation sans"))
        ratio = 0.556;
    else if (named("times", "liberation serif"))
        ratio = 0.5;
    else if (named("courier", "consolas"))
        ratio = 0.6;
    const double size = font.size > 0 && font.size < 410 ? font.size : 11;
    return std::max(1.0, std::round(size * 96.0 / 72 * ratio));
}

}  // namespace kbx::ooxml
