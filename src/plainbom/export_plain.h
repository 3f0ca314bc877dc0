#pragma once
// ExportPlain2: the paged plain BOM export.

#include <cstdint>
#include <string>

#include "value/variant.h"

namespace kbx::plainbom {

Variant ExportPlain2(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize, const Variant& PosNames,
                     const Variant& PosVals, const std::string& TemplateFile, const std::string& ExcelFile,
                     int32_t Language, int32_t Company, int32_t PosPerSheet, int32_t InsertEmptyRows,
                     const std::string& TargetSheetName);

}  // namespace kbx::plainbom
