#pragma once
// Where files go and which paths name the same file.

#include <string>

namespace kbx::files {

// The temporary directory: $TEMP, else $TMPDIR, else /tmp.
std::string temporaryDirectory();

// Whether two paths name the same file: the same inode, or the same path once
// both are made absolute and normalised. Never raises.
bool sameFile(const std::string& first, const std::string& second);

}  // namespace kbx::files
