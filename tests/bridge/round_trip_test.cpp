// What a trip through the 97-2003 format keeps: an openpyxl workbook with
// fonts, alignments, borders, merged cells and pictures on three sheets goes
// .xlsx -> .xls -> .xlsx through the bridge and is compared by openpyxl.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>

#include "support/test_support.h"
#include "xlsbridge/format_bridge.h"

namespace kbx::test {
namespace {

struct Kept {
    int kept = 0;
    int total = 0;
    std::string lost;
};

std::map<std::string, Kept> parseTallies(const std::string& report) {
    std::map<std::string, Kept> tallies;
    std::stringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        std::stringstream fields(line);
        std::string name, kept, total, lost;
        std::getline(fields, name, '\t');
        std::getline(fields, kept, '\t');
        std::getline(fields, total, '\t');
        std::getline(fields, lost);
        tallies[name] = {std::stoi(kept), std::stoi(total), lost};
    }
    return tallies;
}

TEST(BridgeRoundTrip, XlsxThroughXlsAndBack) {
    REQUIRE_CONVERTER();
    TempDir dir;
    const std::string original = dataFile("copyexport/rich.xlsx");
    const std::string xls = dir.file("rich.xls");
    xlsbridge::convertXlsxToXls(original, xls);
    const xlsbridge::TemporaryXlsx back = xlsbridge::convertToXlsx(xls);

    const std::string report =
        runPython(readFile(dataFile("copyexport/compare_round_trip.py")), {original, back.path()});
    std::cout << report;
    const std::map<std::string, Kept> tallies = parseTallies(report);
    ASSERT_EQ(tallies.size(), 8u) << report;
    for (const auto& [name, tally] : tallies) EXPECT_GT(tally.total, 0) << name;

    auto keptAll = [&](const std::string& name) {
        const Kept& t = tallies.at(name);
        EXPECT_EQ(t.kept, t.total) << name << " lost: " << t.lost;
    };
    for (const char* name : {"sheets", "fonts", "alignments", "borders", "merged", "pictures", "numberformats"})
        keptAll(name);
    // Every value but the logical one, which comes back as the formula =TRUE().
    const Kept& values = tallies.at("values");
    EXPECT_EQ(values.kept, values.total - 1) << values.lost;
    EXPECT_EQ(values.lost, "Erste!E1: True -> '=TRUE()'");
}

}  // namespace
}  // namespace kbx::test
