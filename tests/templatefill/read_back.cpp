#include "read_back.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/test_support.h"

namespace kbx::test {

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::string piece;
    std::istringstream in(text);
    while (std::getline(in, piece, separator)) pieces.push_back(piece);
    if (!text.empty() && text.back() == separator) pieces.emplace_back();
    return pieces;
}

}  // namespace

std::string ReadBack::value(const std::string& coordinate) const {
    auto found = cells.find(coordinate);
    return found == cells.end() ? std::string() : found->second.value;
}

const ReadBackCell& ReadBack::cell(const std::string& coordinate) const {
    static const ReadBackCell none;
    auto found = cells.find(coordinate);
    if (found == cells.end()) {
        ADD_FAILURE() << "no cell " << coordinate << " in the read-back workbook";
        return none;
    }
    return found->second;
}

ReadBack readBack(const std::string& workbook, const std::string& sheet) {
    const std::string script = readFile(dataFile("templatefill/read_back.py"));
    ReadBack result;
    for (const std::string& line : split(runPython(script, {workbook, sheet}), '\n')) {
        const std::vector<std::string> f = split(line, '\t');
        if (f.size() == 3 && f[0] == "workbook") {
            result.sheetNames = split(f[1], ',');
            result.activeSheet = f[2];
        } else if (f.size() == 4 && f[0] == "sheet") {
            result.mergedRanges = f[1];
            result.images = std::stoi(f[2]);
            result.printArea = f[3];
        } else if (f.size() == 13 && f[0] == "cell") {
            result.cells[f[1]] = {f[2], f[3], f[4], f[5] == "1", f[6] == "1", f[7], f[8], f[9], f[10], f[11], f[12]};
        } else if (!line.empty()) {
            ADD_FAILURE() << "unexpected read-back line: " << line;
        }
    }
    return result;
}

}  // namespace kbx::test
