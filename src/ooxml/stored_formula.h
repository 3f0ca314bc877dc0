#pragma once
// A cell's formula as the sheet stores it: the <f> element, read into its
// kind, its text and the cells it covers.

#include <cstdint>
#include <string>

namespace kbx::ooxml {

struct StoredFormula {
    // Normal: the cell's own. Shared: one text for a block of cells, held by
    // its first cell (the master) and named by index in the others. Array: one
    // formula filling a range from its top left cell. DataTable and anything
    // else: what the engine does not compute.
    enum class Kind : uint8_t { Normal, Shared, Array, DataTable, Unknown } kind = Kind::Normal;
    std::string text;
    int64_t sharedIndex = -1;
    // The range of an array formula or of a shared formula's block.
    int32_t top = 0, left = 0, bottom = 0, right = 0;
};

// Reads an <f> element written as XML; an element that cannot be read has the kind Unknown.
StoredFormula readStoredFormula(const std::string& element);

}  // namespace kbx::ooxml
