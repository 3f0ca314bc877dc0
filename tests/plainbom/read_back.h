#pragma once
// Reads a saved workbook back through openpyxl (tests/data/plainbom/read_back.py)
// into a map of "key" -> "value" lines.

#include <map>
#include <sstream>
#include <string>

#include "support/test_support.h"

namespace kbx::test {

class ReadBack {
public:
    explicit ReadBack(const std::string& workbook) {
        std::istringstream lines(runPython(readFile(dataFile("plainbom/read_back.py")), {workbook}));
        std::string line;
        while (std::getline(lines, line)) {
            const size_t tab = line.find('\t');
            if (tab != std::string::npos) entries_[line.substr(0, tab)] = line.substr(tab + 1);
        }
    }
    // The value of a key, or "" when the reader printed none.
    std::string operator[](const std::string& key) const {
        auto found = entries_.find(key);
        return found == entries_.end() ? "" : found->second;
    }
    std::string cell(const std::string& sheetAndCell) const { return (*this)["cell " + sheetAndCell]; }
    bool has(const std::string& key) const { return entries_.count(key) != 0; }
    // Number of keys that start with `prefix`.
    size_t count(const std::string& prefix) const {
        size_t n = 0;
        for (const auto& [key, value] : entries_) n += key.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

private:
    std::map<std::string, std::string> entries_;
};

}  // namespace kbx::test
