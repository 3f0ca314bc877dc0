#pragma once
// BOM files for the friendly commands.
//
// JSON: an object with HeadNames, HeadVals, RecordSize, PosNames, PosVals
// (and optionally Captions, the summary list's column captions).
//
// CSV (comma-separated, RFC 4180 quoting): rows whose first cell is "@head"
// carry one header field each ("@head,name,value"); the first other row names
// the position fields; every row after it is one position. Cells that read as
// numbers become numbers.

#include <string>

#include "value/data_set.h"
#include "value/variant.h"

namespace kbx::cli {

struct BomFile {
    BomDataSet data;
    Variant Captions;  // the summary's column captions; PosNames' first record when absent
};

// Reads a .csv file as CSV, anything else as JSON. A missing file raises 53,
// a malformed one 13 with the reason.
BomFile readBomFile(const std::string& path);
BomFile parseBomJson(const std::string& text);
BomFile parseBomCsv(const std::string& text);

}  // namespace kbx::cli
