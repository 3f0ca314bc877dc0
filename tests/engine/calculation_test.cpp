// Formulas computed by the engine. The reference workbooks of
// tests/data/make_formulas.py, saved by openpyxl without their stored values,
// are computed and compared case by case with what LibreOffice computed
// (formula_cases.tsv): numbers to 1e-12 relative, text exactly, errors by code.
// calc.xlsx (tests/data/make_data.py) holds what files store besides plain
// formulas: shared and array formulas, defined names, a function no program
// knows and a reference cycle, each with a stored result.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <sstream>

#include "engine/engine.h"
#include "support/test_support.h"
#include "value/cell_reference.h"

namespace kbx::test {
namespace {

using Cells = ReadBack::Cells;

// A formula cell of formula_cases.tsv and the value LibreOffice stored for it:
// kind n (number), s (text), b (boolean), e (error) or blank.
struct Case {
    std::string sheet, cell, formula, kind, value;
};

std::string unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
    }
    return out;
}

std::vector<Case> formulaCases(const std::string& workbook) {
    std::ifstream in(dataFile("formula_cases.tsv"));
    std::vector<Case> cases;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            f.push_back(unescaped(line.substr(start, tab - start)));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (f.size() == 7 && f[0] == "cell" && f[1] == workbook && !f[4].empty())
            cases.push_back({f[2], f[3], f[4], f[5], f[6]});
    }
    return cases;
}

bool sameNumber(double expected, double actual) {
    return std::fabs(expected - actual) <= 1e-12 * std::max(std::fabs(expected), 1.0);
}

std::string shown(const Variant& v) {
    switch (v.type()) {
        case VarType::Empty:
            return "(empty)";
        case VarType::Boolean:
            return v.asBoolean() ? "TRUE" : "FALSE";
        case VarType::Double: {
            std::ostringstream text;
            text << std::setprecision(17) << v.asDouble() << " (number)";
            return text.str();
        }
        case VarType::String:
            return "\"" + v.asString() + "\"";
        default:
            return "(type " + std::to_string(int(v.type())) + ")";
    }
}

// What is wrong with a cell's value as the engine answers it (errors read as
// their text); "" when it is right. An empty text is stored as no value.
std::string mismatch(const Case& c, const Variant& v) {
    const bool right = c.kind == "n"       ? v.type() == VarType::Double && sameNumber(std::stod(c.value), v.asDouble())
                       : c.kind == "b"     ? v.type() == VarType::Boolean && v.asBoolean() == (c.value == "TRUE")
                       : c.kind != "blank" ? v.isString() && v.asString() == c.value
                                           : v.isEmpty() || (v.isString() && v.asString().empty());
    return right ? "" : "expected " + c.kind + " " + c.value + ", computed " + shown(v);
}

// The same for the value openpyxl reads stored with the cell (a date as its serial).
std::string mismatch(const Case& c, const ReadBack& saved) {
    const std::string at = c.sheet + "!" + c.cell, type = saved["type " + at];
    const bool date = saved.has("serial " + at), number = date || type == "int" || type == "float";
    const std::string value = date ? saved["serial " + at] : saved.value(at);
    const std::map<std::string, std::string> types = {{"b", "bool"}, {"s", "str"}, {"e", "error"}};
    const bool right = c.kind == "n"       ? number && sameNumber(std::stod(c.value), std::stod(value))
                       : c.kind == "b"     ? type == "bool" && value == (c.value == "TRUE" ? "True" : "False")
                       : c.kind != "blank" ? type == types.at(c.kind) && value == c.value
                                           : value.empty();
    return right ? "" : "expected " + c.kind + " " + c.value + ", stored " + type + " " + value;
}

struct Calculation : ::testing::Test {
    TempDir dir;
    std::shared_ptr<sheet::Application> app = engine::createApplication();
    std::shared_ptr<sheet::Workbook> open(const std::string& file, bool readOnly = true) {
        return app->GetWorkbooks().Open(file, Variant(false), readOnly);
    }
    Variant value(sheet::Workbook& book, const std::string& sheet, const std::string& a1) {
        int32_t row = 0, column = 0;
        EXPECT_TRUE(parseCellReference(a1, row, column)) << a1;
        return book.GetSheets().Item(sheet)->Cells(row, column)->Value2();
    }
    // The reference workbook as openpyxl saves it: every formula without a stored value.
    std::string withoutValues(const std::string& name) {
        runPython(
            "import openpyxl, sys\n"
            "openpyxl.load_workbook(sys.argv[1]).save(sys.argv[2])\n"
            "formulas = openpyxl.load_workbook(sys.argv[2])\n"
            "stored = openpyxl.load_workbook(sys.argv[2], data_only=True)\n"
            "assert all(stored[ws.title][c.coordinate].value is None\n"
            "           for ws in formulas for row in ws.iter_rows() for c in row if c.data_type == 'f')\n",
            {dataFile(name), dir.file(name)});
        return dir.file(name);
    }
    void checkReference(const std::string& name) {
        const std::vector<Case> cases = formulaCases(name);
        ASSERT_GT(cases.size(), 5u);
        auto book = open(withoutValues(name));
        app->Calculate();
        for (const Case& c : cases)
            EXPECT_EQ(mismatch(c, value(*book, c.sheet, c.cell)), "") << c.sheet << "!" << c.cell << " =" << c.formula;
        book->SaveCopyAs(dir.file("computed.xlsx"));
        const ReadBack saved(dir.file("computed.xlsx"), {"xl/workbook.xml"}, Cells::Computed);
        for (const Case& c : cases)
            EXPECT_EQ(mismatch(c, saved), "") << c.sheet << "!" << c.cell << " =" << c.formula << " saved";
        EXPECT_EQ(saved["xml xl/workbook.xml"].find("fullCalcOnLoad"), std::string::npos);
    }
};

TEST_F(Calculation, EveryCaseOfThe1900WorkbookAsLibreOfficeComputedIt) { checkReference("formulas.xlsx"); }

TEST_F(Calculation, EveryCaseOfThe1904WorkbookAsLibreOfficeComputedIt) { checkReference("formulas1904.xlsx"); }

// calc.xlsx computed, as LibreOffice computes it too; a formula that cannot be
// computed (FOO, the cycle without iteration, a cell reading FOO's cell) keeps
// its stored value, the log names the first, and the saved workbook asks the
// reader to recalculate.
TEST_F(Calculation, SharedArrayAndNamedFormulasComputedTheOthersKeepTheirStoredValues) {
    struct Row {
        const char* file;
        double cycleF1, cycleF2, tolerance;
        const char* notComputed;
    };
    const std::string kept = " formula cells were not computed and kept their stored values (first: 'Calc'!E1, ";
    for (const Row& row : {Row{"calc.xlsx", 7, 3, 0, "4"}, Row{"calc_iterate.xlsx", 2, 1, 0.001, "2"}}) {
        SCOPED_TRACE(row.file);
        MethodRun run;
        auto book = open(copyData(dir, row.file));
        app->Calculate();
        const std::tuple<const char*, const char*, Variant> cells[] = {
            {"Calc", "B1", 20.0},   {"Calc", "B2", 30.0}, {"Calc", "B3", 50.0},  // one shared formula
            {"Calc", "C1", 38.0},   {"Calc", "C2", 4.0},  {"Calc", "C4", 10.0}, {"Calc", "C5", Variant()},
            {"Calc", "H1", 2.0},    {"Calc", "I1", 4.0},  {"Calc", "I2", 6.0},   // array formulas
            {"Calc", "D1", 1.0},    {"Calc", "D2", 6.0},  {"Other", "A1", 2.0},  // names of sheet and workbook scope
            {"Calc", "D3", true},                                                // ISNA of an error value
            {"Other", "A2", 100.0}, {"Calc", "E1", 42.0}, {"Calc", "E2", 43.0}, {"Calc", "E3", 3.0}};
        for (const auto& [sheet, cell, expected] : cells)
            EXPECT_EQ(shown(value(*book, sheet, cell)), shown(expected)) << sheet << "!" << cell;
        EXPECT_NEAR(value(*book, "Calc", "F1").asDouble(), row.cycleF1, row.tolerance);
        EXPECT_NEAR(value(*book, "Calc", "F2").asDouble(), row.cycleF2, row.tolerance);
        book->SaveCopyAs(dir.file("saved.xlsx"));
        const ReadBack saved(dir.file("saved.xlsx"), {"xl/workbook.xml"}, Cells::Computed);
        saved.expect({"value Calc!B3=50", "value Calc!C4=10", "value Calc!I2=6", "value Calc!D2=6",
                      "value Calc!D3=True", "value Other!A2=100", "value Calc!E1=42", "value Calc!E2=43",
                      "value Calc!E3=3"});
        EXPECT_NEAR(std::stod(saved.value("Calc!F1")), row.cycleF1, row.tolerance);
        EXPECT_NE(saved["xml xl/workbook.xml"].find("fullCalcOnLoad=\"1\""), std::string::npos);
        const std::vector<std::string> log = run.log();
        EXPECT_EQ(
            std::count_if(log.begin(), log.end(),
                          [&](const std::string& line) { return line.find(row.notComputed + kept) != line.npos; }),
            1)
            << ::testing::PrintToString(log);
    }
}

// Save, SaveAs and SaveCopyAs compute what changed since the last calculation,
// and the volatile RAND; values are stored typed.
TEST_F(Calculation, EverySaveComputesFirst) {
    const std::pair<const char*, std::function<void(sheet::Workbook&, const std::string&)>> saves[] = {
        {"Save", [](sheet::Workbook& book, const std::string&) { book.Save(); }},
        {"SaveAs", [](sheet::Workbook& book, const std::string& file) { book.SaveAs(file); }},
        {"SaveCopyAs", [](sheet::Workbook& book, const std::string& file) { book.SaveCopyAs(file); }}};
    for (const auto& [method, save] : saves) {
        SCOPED_TRACE(method);
        auto book = open(copyData(dir, "calc.xlsx", std::string(method) + ".xlsx"), false);
        app->Calculate();  // the changes below come after a calculation
        book->GetSheets().Item("Calc")->Cells(1, 1)->SetValue(Variant(4.0));
        book->GetSheets().Item("List")->Cells(2, 3)->SetValue(Variant(100.0));
        const std::string target = std::string(method) == "Save" ? book->FullName() : dir.file("target.xlsx");
        save(*book, target);
        const ReadBack saved(target, {}, Cells::Computed);
        saved.expect({"value Calc!B1=40", "value Calc!I1=8", "value Calc!D1=2", "value Calc!E3=5", "value Other!A1=4",
                      "value Other!A2=120", "value List!C13=154", "type List!C13=int", "value List!D13=big",
                      "type List!D13=str", "value List!F13=True", "type List!F13=bool", "value List!G13=#DIV/0!",
                      "type List!G13=error", "value Calc!E1=42"});
        const double random = std::stod(saved.value("Calc!G1"));
        EXPECT_TRUE(random >= 0 && random < 1) << random;
        book->Close(false);
    }
}

TEST_F(Calculation, RangeAndApplicationCalculateComputeTheOpenWorkbooks) {
    auto book = open(copyData(dir, "calc.xlsx"));
    auto calc = book->GetSheets().Item("Calc");
    calc->Cells(2, 1)->SetValue(Variant(7.0));
    calc->Cells(2, 2)->Calculate();
    EXPECT_EQ(shown(calc->Cells(2, 2)->Value2()), shown(70.0));
    EXPECT_EQ(shown(value(*book, "Other", "A2")), shown(140.0));
    auto list = book->GetSheets().Item("List");
    const std::pair<int32_t, const char*> texts[] = {{2, "10"},   {3, "55.0"},    {4, "small"},     {5, "1.83"},
                                                     {6, "TRUE"}, {7, "#DIV/0!"}, {8, "29.02.2024"}};
    for (const auto& [column, text] : texts) EXPECT_EQ(list->Cells(13, column)->Text(), text) << column;
    // The application computes every open workbook; the volatile RAND takes a new value each time.
    auto other = open(copyData(dir, "calc_iterate.xlsx"));
    other->GetSheets().Item("Calc")->Cells(1, 1)->SetValue(Variant(3.0));
    const Variant first = value(*book, "Calc", "G1");
    app->Calculate();
    EXPECT_EQ(shown(value(*other, "Calc", "B1")), shown(30.0));
    const Variant second = value(*book, "Calc", "G1");
    ASSERT_EQ(second.type(), VarType::Double);
    EXPECT_TRUE(second.asDouble() >= 0 && second.asDouble() < 1) << second.asDouble();
    EXPECT_NE(first, second);
    // Formulas naming a renamed sheet follow it, also after a calculation.
    calc->SetName("Sums");
    calc->Cells(1, 1)->SetValue(Variant(4.0));
    app->Calculate();
    EXPECT_EQ(shown(value(*book, "Other", "A2")), shown(40.0 + 70.0 + 50.0));
}

}  // namespace
}  // namespace kbx::test
