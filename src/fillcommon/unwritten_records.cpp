#include "fillcommon/unwritten_records.h"

#include "log/write_log.h"

namespace kbx::fillcommon {

void logUnwrittenRecords(const std::string& file, const Variant& PosVals, int32_t RecordSize, int64_t recordOffset,
                         const std::string& why) {
    const int64_t values = int64_t{PosVals.upperBound()} + 1;
    if (RecordSize < 1 || recordOffset >= values) return;
    const int64_t first = recordOffset / RecordSize + 1;
    const int64_t last = (values + RecordSize - 1) / RecordSize;
    const std::string records = first == last
                                    ? "record " + std::to_string(first) + " was"
                                    : "records " + std::to_string(first) + " to " + std::to_string(last) + " were";
    WriteLog("In '" + file + "', " + records + " not written: " + why);
}

}  // namespace kbx::fillcommon
