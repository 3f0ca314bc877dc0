#pragma once
// A filled workbook as the independent reader (openpyxl) sees it, through
// tests/data/templatefill/read_back.py.

#include <map>
#include <string>
#include <vector>

namespace kbx::test {

struct ReadBackCell {
    std::string type;  // s, n, b, d, or "-" for no value
    std::string value;
    std::string numberFormat;
    bool bold = false;
    bool italic = false;
    std::string size;
    std::string color;
    std::string fontName;
    std::string horizontal;
    std::string vertical;
    std::string border;  // left,right,top,bottom
};

struct ReadBack {
    std::vector<std::string> sheetNames;
    std::string activeSheet;
    std::string mergedRanges;
    int images = 0;
    std::string printArea;
    std::map<std::string, ReadBackCell> cells;  // by coordinate ("A1")

    // The cell's value text; "" for a cell without value or not listed.
    std::string value(const std::string& coordinate) const;
    const ReadBackCell& cell(const std::string& coordinate) const;
};

ReadBack readBack(const std::string& workbook, const std::string& sheet);

}  // namespace kbx::test
