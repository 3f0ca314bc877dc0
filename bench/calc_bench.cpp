// Computing 100,000 formula cells: row sums, a running total down 40,000 rows,
// VLOOKUP exact into a 10,000-row table, SUMIF over 10,000 rows with 100
// criteria, IF / ROUND / text joins. The formula layer computes them over an
// in-memory workbook; HyperFormula (bench/peer, node) computes the same
// workbook in the same run. Load time is left out on both sides: "compute"
// is from the values being in place to every formula computed (parsing and
// the dependency graph included); "recompute" is after one input changed.
//
// Then the engine: the same workbook written as an .xlsx without stored
// values, opened, computed by Calculate and saved, so that computing can be
// set against saving.
//
// Usage: calc_bench [SCRATCH_DIR]   (the peer runs when node and bench/peer/node_modules exist,
//                                    unless KBX_CALC_BENCH_NO_PEER is set)

#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "formula/calculator.h"
#include "ooxml/content_types.h"
#include "ooxml/package.h"
#include "ooxml/xml_util.h"
#include "sheet/application.h"
#include "value/cell_reference.h"
#include "value/text_case.h"

namespace {

using namespace kbx::formula;

constexpr int kRows = 40000, kTable = 10000, kLookups = 10000, kCriteria = 100, kJoins = 9900;

// A dense sheet: rows × columns values and formula marks.
struct Sheet {
    std::string name;
    int32_t rows = 0, columns = 0;
    std::vector<Value> cells;
    std::vector<std::string> formulas;
    Value& at(int32_t r, int32_t c) { return cells[size_t(r - 1) * size_t(columns) + size_t(c - 1)]; }
    std::string& formulaAt(int32_t r, int32_t c) { return formulas[size_t(r - 1) * size_t(columns) + size_t(c - 1)]; }
};

class Workbook : public Model, public Sink {
public:
    std::vector<Sheet> sheets;
    Sheet& add(std::string name, int32_t rows, int32_t columns) {
        sheets.push_back({std::move(name), rows, columns, std::vector<Value>(size_t(rows) * size_t(columns)),
                          std::vector<std::string>(size_t(rows) * size_t(columns))});
        return sheets.back();
    }
    std::optional<int32_t> sheetIndex(std::string_view name) const override {
        for (size_t i = 0; i < sheets.size(); ++i) {
            if (kbx::equalIgnoringCase(sheets[i].name, name)) return int32_t(i);
        }
        return std::nullopt;
    }
    CellView cell(int32_t sheet, int32_t row, int32_t column) const override {
        const Sheet& s = sheets[size_t(sheet)];
        if (row > s.rows || column > s.columns) return {};
        const size_t i = size_t(row - 1) * size_t(s.columns) + size_t(column - 1);
        CellView view = viewOf(s.cells[i]);
        view.formula = !s.formulas[i].empty();
        return view;
    }
    void forEachCell(const Area& area, const CellVisitor& visit) const override {
        const Sheet& s = sheets[size_t(area.sheet)];
        for (int32_t r = area.row1; r <= std::min(area.row2, s.rows); ++r) {
            for (int32_t c = area.column1; c <= std::min(area.column2, s.columns); ++c) {
                const CellView view = cell(area.sheet, r, c);
                if ((view.kind != CellView::Kind::Blank || view.formula) && !visit(r, c, view)) return;
            }
        }
    }
    std::optional<std::string> definedName(std::string_view, int32_t) const override { return std::nullopt; }
    bool rowHidden(int32_t, int32_t) const override { return false; }
    bool date1904() const override { return false; }
    void computed(const CellAddress& at, const Value& value) override { sheets[size_t(at.sheet)].at(at.row, at.column) = value; }
    void notComputed(const CellAddress& at, const std::string& reason) override {
        std::fprintf(stderr, "not computed: %s%d: %s\n", kbx::columnName(at.column).c_str(), at.row, reason.c_str());
        ++failures;
    }
    int failures = 0;
};

uint64_t nextRandom(uint64_t& state) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
}

void build(Workbook& book) {
    uint64_t seed = 42;
    Sheet& data = book.add("Data", kRows, 5);
    for (int32_t r = 1; r <= kRows; ++r) {
        for (int32_t c = 1; c <= 3; ++c) data.at(r, c) = double(nextRandom(seed) % 1000) / 10;
        data.at(r, 4) = double(1 + nextRandom(seed) % kTable);
        data.at(r, 5) = "P-" + std::to_string(r);
    }
    Sheet& table = book.add("Table", kTable, 3);
    std::vector<int> keys(kTable);
    for (int i = 0; i < kTable; ++i) keys[size_t(i)] = i + 1;
    for (int i = kTable - 1; i > 0; --i) std::swap(keys[size_t(i)], keys[nextRandom(seed) % uint64_t(i + 1)]);
    for (int32_t r = 1; r <= kTable; ++r) {
        table.at(r, 1) = double(keys[size_t(r - 1)]);
        table.at(r, 2) = keys[size_t(r - 1)] * 1.5;
        table.at(r, 3) = double(keys[size_t(r - 1)] % kCriteria + 1);
    }
    Sheet& calc = book.add("Calc", kRows, 5);
    for (int32_t r = 1; r <= kRows; ++r) {
        const std::string n = std::to_string(r);
        calc.formulaAt(r, 1) = "SUM(Data!A" + n + ":C" + n + ")";
        calc.formulaAt(r, 2) = r == 1 ? "A1" : "B" + std::to_string(r - 1) + "+A" + n;
        if (r <= kLookups) calc.formulaAt(r, 3) = "VLOOKUP(Data!D" + n + ",Table!$A$1:$B$" + std::to_string(kTable) + ",2,0)";
        if (r <= kCriteria) calc.formulaAt(r, 4) = "SUMIF(Table!$C$1:$C$10000," + n + ",Table!$B$1:$B$10000)";
        if (r <= kJoins) calc.formulaAt(r, 5) = "IF(A" + n + ">150,ROUND(A" + n + "/7,2),\"low\")&\" \"&Data!E" + n;
    }
}

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) out += c == '"' ? std::string("\\\"") : c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out + "\"";
}

// The workbook for the peer: sheets of rows, formulas as "=..." texts.
void writeJson(Workbook& book, const std::string& path) {
    std::ofstream out(path);
    out << "{\"sheets\":{";
    for (size_t s = 0; s < book.sheets.size(); ++s) {
        Sheet& sheet = book.sheets[s];
        out << (s ? "," : "") << jsonText(sheet.name) << ":[";
        for (int32_t r = 1; r <= sheet.rows; ++r) {
            out << (r > 1 ? "," : "") << "[";
            for (int32_t c = 1; c <= sheet.columns; ++c) {
                const Value& v = sheet.at(r, c);
                out << (c > 1 ? "," : "");
                if (!sheet.formulaAt(r, c).empty()) out << jsonText("=" + sheet.formulaAt(r, c));
                else if (v.isNumber()) out << numberText(v.number());
                else if (v.isText()) out << jsonText(v.text());
                else out << "null";
            }
            out << "]";
        }
        out << "]";
    }
    out << "},\"change\":[\"Data\",0,0],\"changeTo\":55.5,\"before\":[\"Data\",0,1,1],\"probes\":[[\"Calc\"," << kRows - 1
        << ",1],[\"Calc\",0,2],[\"Calc\",0,3],[\"Calc\",1,4],[\"Calc\",9899,4]]}";
}

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU time of the process (the machine is shared: wall time includes waiting for a core).
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string shown(const Value& v) { return v.isText() ? v.text() : v.isNumber() ? numberText(v.number()) : "?"; }

// The sheet XML of one sheet: values as numbers and inline strings, formulas
// without a stored value. With `shared`, each column's formulas filled down
// from one cell are stored as the spreadsheet program stores a fill: one
// shared formula, its text in the first cell.
std::string sheetXml(Sheet& sheet, bool shared) {
    // The first row of each cell's filled block, by column (0: not in one).
    std::vector<int32_t> blockStart(size_t(sheet.columns) + 1, 0), blockEnd(size_t(sheet.columns) + 1, 0);
    std::vector<int32_t> blockIndex(size_t(sheet.columns) + 1, -1);
    int32_t blocks = 0;
    const auto filledBelow = [&](int32_t r, int32_t c) {
        return shared && r < sheet.rows && !sheet.formulaAt(r, c).empty() && !sheet.formulaAt(r + 1, c).empty() &&
               (r > 1 || c != 2);  // B1 is "A1", not the running total's first form
    };
    std::string xml = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    for (int32_t r = 1; r <= sheet.rows; ++r) {
        const std::string row = std::to_string(r);
        xml += "<row r=\"" + row + "\">";
        for (int32_t c = 1; c <= sheet.columns; ++c) {
            const Value& v = sheet.at(r, c);
            const std::string ref = kbx::columnName(c) + row;
            const size_t k = size_t(c);
            if (!sheet.formulaAt(r, c).empty() && blockEnd[k] >= r && blockStart[k] < r) {
                xml += "<c r=\"" + ref + "\"><f t=\"shared\" si=\"" + std::to_string(blockIndex[k]) + "\"/></c>";
            } else if (!sheet.formulaAt(r, c).empty()) {
                std::string attributes;
                if (filledBelow(r, c)) {
                    int32_t end = r;
                    while (end < sheet.rows && !sheet.formulaAt(end + 1, c).empty()) ++end;
                    blockStart[k] = r;
                    blockEnd[k] = end;
                    blockIndex[k] = blocks++;
                    attributes = " t=\"shared\" ref=\"" + ref + ":" + kbx::columnName(c) + std::to_string(end) +
                                 "\" si=\"" + std::to_string(blockIndex[k]) + "\"";
                }
                xml += "<c r=\"" + ref + "\"><f" + attributes + ">";
                kbx::ooxml::appendEscaped(xml, sheet.formulaAt(r, c), false);
                xml += "</f></c>";
            } else if (v.isNumber()) {
                xml += "<c r=\"" + ref + "\"><v>" + numberText(v.number()) + "</v></c>";
            } else if (v.isText()) {
                xml += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>";
                kbx::ooxml::appendEscaped(xml, v.text(), false);
                xml += "</t></is></c>";
            }
        }
        xml += "</row>";
    }
    return xml + "</sheetData></worksheet>";
}

void writeXlsx(Workbook& book, const std::string& path, bool shared) {
    namespace ooxml = kbx::ooxml;
    auto package = ooxml::Package::create();
    package->ensureDefault("rels", ooxml::contentType::kRelationships);
    package->ensureDefault("xml", ooxml::contentType::kXml);
    package->setOverride("xl/workbook.xml", ooxml::contentType::kWorkbook);
    ooxml::Relationships root;
    root.add("officeDocument", "xl/workbook.xml");
    package->setRelationships("", root);
    ooxml::Relationships rels;
    std::string workbook =
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>";
    for (size_t s = 0; s < book.sheets.size(); ++s) {
        const std::string part = "worksheets/sheet" + std::to_string(s + 1) + ".xml";
        const std::string id = rels.add("worksheet", part);
        workbook += "<sheet name=\"" + book.sheets[s].name + "\" sheetId=\"" + std::to_string(s + 1) + "\" r:id=\"" + id + "\"/>";
        package->writePart("xl/" + part, sheetXml(book.sheets[s], shared));
        package->setOverride("xl/" + part, ooxml::contentType::kWorksheet);
    }
    package->writePart("xl/workbook.xml", workbook + "</sheets></workbook>");
    package->setRelationships("xl/workbook.xml", rels);
    package->save(path);
}

// The engine opens the workbook, computes it and saves it; returns whether the probes agree.
bool runEngine(Workbook& book, const std::filesystem::path& scratch, bool shared) {
    const std::string input = (scratch / "calc_bench_input.xlsx").string();
    const std::string output = (scratch / "calc_bench_output.xlsx").string();
    writeXlsx(book, input, shared);
    auto app = kbx::engine::createApplication();
    auto workbook = app->GetWorkbooks().Open(input, kbx::Variant(false), true);
    auto start = std::chrono::steady_clock::now();
    double startCpu = cpuSeconds();
    app->Calculate();
    const double compute = seconds(start), computeCpu = cpuSeconds() - startCpu;
    start = std::chrono::steady_clock::now();
    startCpu = cpuSeconds();
    workbook->SaveAs(output, kbx::sheet::xl::FormatOpenXmlWorkbook);
    const double save = seconds(start), saveCpu = cpuSeconds() - startCpu;
    auto calc = workbook->GetSheets().Item(std::string("Calc"));
    const std::string last = calc->Cells(kRows, 2)->Text(), join = calc->Cells(9900, 5)->Text();
    std::printf("engine, formulas stored %s: Calculate %.3f s wall, %.3f s CPU; SaveAs %.3f s wall, %.3f s CPU (compute / save %.2f CPU); "
                "peak RSS %ld KiB\n  cells: B%d=%s E9900=%s\n",
                shared ? "as filled blocks (shared)" : "one by one", compute, computeCpu, save, saveCpu, computeCpu / saveCpu, peakKiB(), kRows, last.c_str(), join.c_str());
    workbook->Close(false);
    std::filesystem::remove(input);
    std::filesystem::remove(output);
    return join == shown(book.sheets[2].at(9900, 5));
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path scratch = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    Workbook book;
    build(book);
    const long loaded = peakKiB();
    const auto start = std::chrono::steady_clock::now();
    const double startCpu = cpuSeconds();
    Calculator calculator(book);
    size_t formulas = 0;
    for (size_t s = 0; s < book.sheets.size(); ++s) {
        Sheet& sheet = book.sheets[s];
        for (int32_t r = 1; r <= sheet.rows; ++r) {
            for (int32_t c = 1; c <= sheet.columns; ++c) {
                if (sheet.formulaAt(r, c).empty()) continue;
                calculator.setFormula({int32_t(s), r, c}, sheet.formulaAt(r, c));
                ++formulas;
            }
        }
    }
    calculator.recalculate(book);
    const double compute = seconds(start), computeCpu = cpuSeconds() - startCpu;
    const long computed = peakKiB();
    // The first change also builds the index of who reads what; the second finds it built.
    book.sheets[0].at(1, 2) = 1.0;
    calculator.cellChanged({0, 1, 2});
    calculator.recalculate(book);
    const auto again = std::chrono::steady_clock::now();
    const double againCpu = cpuSeconds();
    book.sheets[0].at(1, 1) = 55.5;
    calculator.cellChanged({0, 1, 1});
    calculator.recalculate(book);
    const double recompute = seconds(again), recomputeCpu = cpuSeconds() - againCpu;
    Sheet& calc = book.sheets[2];
    std::printf("formula layer: %zu formula cells (%zu parsed forms); compute %.3f s wall, %.3f s CPU; recompute after "
                "one change %.4f s wall, %.4f s CPU; peak RSS %ld KiB after load, %ld KiB after compute; %d not computed\n",
                formulas, calculator.parsedFormCount(), compute, computeCpu, recompute, recomputeCpu, loaded, computed,
                book.failures);
    std::printf("  cells: B%d=%s C1=%s D1=%s D2=%s E9900=%s\n", kRows, shown(calc.at(kRows, 2)).c_str(),
                shown(calc.at(1, 3)).c_str(), shown(calc.at(1, 4)).c_str(), shown(calc.at(2, 4)).c_str(),
                shown(calc.at(9900, 5)).c_str());
    for (const bool shared : {false, true})
        if (!runEngine(book, scratch, shared)) std::printf("engine: the probed cells differ from the formula layer's\n");
    const std::filesystem::path peer = std::filesystem::path(KBX_SOURCE_DIR) / "bench/peer";
    if (std::getenv("KBX_CALC_BENCH_NO_PEER")) return 0;
    if (!std::filesystem::exists(peer / "node_modules/hyperformula")) {
        std::printf("HyperFormula: not installed (cd bench/peer && npm ci)\n");
        return 0;
    }
    const std::string json = (scratch / "calc_bench_workbook.json").string();
    writeJson(book, json);
    const std::string command = "node " + (peer / "hyperformula_calc.js").string() + " " + json;
    std::printf("HyperFormula: ");
    std::fflush(stdout);
    const int status = std::system(command.c_str());
    if (!std::getenv("KBX_KEEP_JSON")) std::filesystem::remove(json);
    return status == 0 ? 0 : 1;
}
