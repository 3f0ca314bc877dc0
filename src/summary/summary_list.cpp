#include "summary/summary_list.h"

#include "value/runtime_error.h"

namespace kbx::summary {

Variant CreateSummaryExcel(const Variant&, const Variant&, const Variant&, int32_t, const std::string&,
                           const std::string&, int32_t, int32_t, int32_t) {
    raise(err::ActionNotSupported, "Object doesn't support this action: CreateSummaryExcel is not available yet");
}

Variant CreateSummaryTemplate(const Variant&) {
    raise(err::ActionNotSupported, "Object doesn't support this action: CreateSummaryTemplate is not available yet");
}

}  // namespace kbx::summary
