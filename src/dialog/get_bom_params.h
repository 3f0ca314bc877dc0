#pragma once
// GetBomParams: asks the user for a template and options through the options
// dialog, then saves a working copy of the template in the temporary
// directory and hands back its path and the template's sheet names.

#include <cstdint>
#include <ctime>
#include <string>

#include "value/variant.h"

namespace kbx::dialog {

int32_t GetBomParams(const std::string& KestDBDir, Variant& Profiles, int32_t& reverse, int32_t& EmBed,
                     std::string& templte, std::string& ExcelFileName);

// The extension from the file-type hint: trimmed of blanks, upper case,
// "XLS" when empty.
std::string extensionFromHint(const std::string& hint);

// The workbook format a working copy of this extension is saved in: 51 for
// XLSX, 52 for XLSM, -4143 for XLS. Any other extension raises error 5.
int32_t workingCopyFormat(const std::string& extension);

// The template proposed from KestDBDir: doubled "/" collapsed, the default
// name "KestDBBomTempl.<ext>" when no file name is given, a leading "//"
// restored when KestDBDir started with one.
std::string proposeTemplatePath(const std::string& KestDBDir, const std::string& extension);

// "<temporary directory>/<seconds since 1.1.1970 local time>KestDBBom.<ext>";
// when that file exists, "_2", "_3", ... go before "KestDBBom." until the
// name is free.
std::string workingCopyPath(const std::string& extension, std::time_t now);

}  // namespace kbx::dialog
