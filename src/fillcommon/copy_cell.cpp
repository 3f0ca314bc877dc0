#include "fillcommon/copy_cell.h"

#include <memory>

namespace kbx::fillcommon {

void CopyCell(sheet::Range& destination, sheet::Range& source) {
    destination.SetValue2(source.Value2());

    std::shared_ptr<sheet::Font> destinationFont = destination.GetFont();
    std::shared_ptr<sheet::Font> sourceFont = source.GetFont();
    CopyFont(*destinationFont, *sourceFont);

    destination.SetHorizontalAlignment(source.HorizontalAlignment());
    destination.SetVerticalAlignment(source.VerticalAlignment());
}

void CopyFont(sheet::Font& destination, sheet::Font& source) {
    for (sheet::FontProperty property : sheet::kCopiedFontProperties) destination.Set(property, source.Get(property));
}

}  // namespace kbx::fillcommon
