#pragma once
// CreateSummaryExcel and CreateSummaryTemplate: the summary list.

#include <cstdint>
#include <string>

#include "value/variant.h"

namespace kbx::summary {

Variant CreateSummaryExcel(const Variant& PosNames, const Variant& HeadNames, const Variant& PosVals,
                           int32_t RecordSize, const std::string& TemplateFile, const std::string& ExcelFile,
                           int32_t Language, int32_t Company, int32_t PosPerSheet);

Variant CreateSummaryTemplate(const Variant& Names);

}  // namespace kbx::summary
