#pragma once
// GetBomParams: asks the user for a template and options and writes a working copy.

#include <cstdint>
#include <string>

#include "value/variant.h"

namespace kbx::dialog {

int32_t GetBomParams(const std::string& KestDBDir, Variant& Profiles, int32_t& reverse, int32_t& EmBed,
                     std::string& templte, std::string& ExcelFileName);

}  // namespace kbx::dialog
