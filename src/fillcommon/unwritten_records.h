#pragma once
// The one log line of a fill that ends before every record of PosVals is
// written, so that no record is dropped without a trace.

#include <cstdint>
#include <string>

#include "value/variant.h"

namespace kbx::fillcommon {

// Logs "In '<file>', records 2 to 5 were not written: <why>" for the records
// of PosVals from `recordOffset` on; nothing when none is left.
void logUnwrittenRecords(const std::string& file, const Variant& PosVals, int32_t RecordSize, int64_t recordOffset,
                         const std::string& why);

}  // namespace kbx::fillcommon
