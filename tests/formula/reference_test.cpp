// Every formula of the reference workbooks (tests/data/make_formulas.py),
// computed by the formula layer and compared with the values LibreOffice
// computed and stored: numbers to 1e-12 relative, text exactly, errors by
// code. The cells come from formula_cases.tsv, the same workbooks as a table.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "formula/memory_book.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

using formula::Value;

struct Line {
    std::vector<std::string> fields;
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

std::vector<Line> readTable() {
    std::ifstream in(std::string(KBX_TEST_DATA_DIR) + "/formula_cases.tsv");
    std::vector<Line> lines;
    for (std::string text; std::getline(in, text);) {
        Line line;
        std::stringstream fields(text);
        for (std::string field; std::getline(fields, field, '\t');) line.fields.push_back(unescaped(field));
        if (!text.empty() && text.back() == '\t') line.fields.emplace_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

Value typedValue(const std::string& kind, const std::string& text) {
    if (kind == "n") return std::stod(text);
    if (kind == "b") return text == "TRUE";
    if (kind == "e") return *formula::errorFromText(text);
    if (kind == "s") return text;
    return Value();
}

std::string shown(const Value& v) {
    if (v.isNumber()) return formula::numberText(v.number()) + " (number)";
    if (v.isText()) return "\"" + v.text() + "\"";
    if (v.isBoolean()) return v.boolean() ? "TRUE" : "FALSE";
    if (v.isError()) return formula::errorText(v.error());
    return "(blank)";
}

bool same(const Value& expected, const Value& actual) {
    if (expected.isNumber() && actual.isNumber()) {
        const double e = expected.number(), a = actual.number();
        return std::fabs(e - a) <= 1e-12 * std::max(std::fabs(e), 1.0);
    }
    // An empty text is stored as no value.
    if (expected.isBlank()) return actual.isBlank() || (actual.isText() && actual.text().empty());
    return expected == actual;
}

void checkWorkbook(const std::string& workbook, bool date1904) {
    const std::vector<Line> lines = readTable();
    std::vector<std::string> sheets;
    for (const Line& l : lines) {
        if (l.fields[0] == "cell" && l.fields[1] == workbook &&
            std::find(sheets.begin(), sheets.end(), l.fields[2]) == sheets.end()) {
            sheets.push_back(l.fields[2]);
        }
    }
    MemoryBook book(sheets);
    book.useDate1904 = date1904;
    const auto sheet = [&](const std::string& name) { return int32_t(*book.sheetIndex(name)); };
    std::vector<const Line*> formulas;
    for (const Line& l : lines) {
        if (l.fields[1] != workbook) continue;
        if (l.fields[0] == "name") book.defineName(l.fields[3], l.fields[2].empty() ? -1 : sheet(l.fields[2]), l.fields[4]);
        else if (l.fields[4].empty()) book.set(sheet(l.fields[2]), l.fields[3], typedValue(l.fields[5], l.fields[6]));
        else formulas.push_back(&l);
    }
    for (const Line* l : formulas) book.setFormula(sheet(l->fields[2]), l->fields[3], l->fields[4]);
    book.recalculate();
    ASSERT_GT(formulas.size(), 5u);
    for (const Line* l : formulas) {
        const auto& f = l->fields;
        const Value expected = typedValue(f[5], f[6]);
        const Value actual = book.value(sheet(f[2]), f[3]);
        EXPECT_EQ(book.notComputedReason(sheet(f[2]), f[3]), "") << f[2] << "!" << f[3] << " =" << f[4];
        EXPECT_TRUE(same(expected, actual))
            << f[2] << "!" << f[3] << " =" << f[4] << ": expected " << shown(expected) << ", computed " << shown(actual);
    }
}

TEST(FormulaReference, EveryCaseOfThe1900WorkbookAsLibreOfficeComputedIt) { checkWorkbook("formulas.xlsx", false); }

TEST(FormulaReference, EveryCaseOfThe1904WorkbookAsLibreOfficeComputedIt) { checkWorkbook("formulas1904.xlsx", true); }

}  // namespace
}  // namespace kbx::test
