#pragma once
// Worksheet::Copy.

namespace kbx::engine {

class EngineWorksheet;

// Copies `source` into a new sheet placed before `before` (same workbook):
// its cells, formats and XML, its own copies of drawings, comments and
// tables, and its own print area and print titles. The copy becomes its
// workbook's active sheet; returns it.
EngineWorksheet& copySheetBefore(EngineWorksheet& source, EngineWorksheet& before);

}  // namespace kbx::engine
