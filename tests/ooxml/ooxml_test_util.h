#pragma once
// Helpers of the engine tests: the engine application, template copies and
// the independent reader (openpyxl, python's zipfile).

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "sheet/application.h"
#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx {
std::shared_ptr<sheet::Application> createEngineApplication();
}

namespace kbx::test {

inline std::string ooxmlTemplate(const std::string& name) { return dataFile("ooxml/" + name); }

// Copies a committed template into the directory and returns the copy's path.
inline std::string copyTemplate(const TempDir& dir, const std::string& name) {
    const std::string target = dir.file(name);
    std::filesystem::copy_file(ooxmlTemplate(name), target, std::filesystem::copy_options::overwrite_existing);
    return target;
}

// Python that prints the names of the zip members whose bytes differ
// between two packages (members of the first only).
inline constexpr const char* kChangedMembersScript = R"(
import sys, zipfile
a = zipfile.ZipFile(sys.argv[1]); b = zipfile.ZipFile(sys.argv[2])
names_b = set(b.namelist())
for n in a.namelist():
    if n not in names_b: print("missing", n)
    elif a.read(n) != b.read(n): print("changed", n)
)";

}  // namespace kbx::test
