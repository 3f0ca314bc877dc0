// libFuzzer target for the formula parser and evaluator: any bytes are a
// formula's text, registered in a small workbook (plain and as an array
// formula, at two positions) and computed. Nothing may crash, hang or leak;
// "not computed" is an allowed answer.
//
// Not part of the normal build or of CI: scripts/fuzz.sh formula builds it with
// libFuzzer (clang) or with the built-in mutation driver (g++,
// -DKBX_FUZZ_STANDALONE), which runs: formula_fuzzer SECONDS CORPUS_FILES...

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "formula/calculator.h"
#include "value/text_case.h"

namespace {

using namespace kbx::formula;

// Two sheets with a few numbers, texts, a boolean and an error; one name.
class SmallWorkbook : public Model, public Sink {
public:
    SmallWorkbook() {
        for (int32_t r = 1; r <= 4; ++r) {
            cells_[{0, r, 1}] = Value(double(r) * 1.5);
            cells_[{0, r, 2}] = Value(std::string(size_t(r), 'x'));
        }
        cells_[{0, 5, 1}] = Value(true);
        cells_[{0, 6, 1}] = Value(ErrorCode::NA);
        cells_[{1, 1, 1}] = Value(42.0);
    }
    std::optional<int32_t> sheetIndex(std::string_view name) const override {
        if (kbx::equalIgnoringCase(name, "Sheet1")) return 0;
        if (kbx::equalIgnoringCase(name, "Other Sheet")) return 1;
        return std::nullopt;
    }
    CellView cell(int32_t sheet, int32_t row, int32_t column) const override {
        const auto found = cells_.find({sheet, row, column});
        return found == cells_.end() ? CellView{} : viewOf(found->second);
    }
    void forEachCell(const Area& area, const CellVisitor& visit) const override {
        for (const auto& [key, value] : cells_) {
            const auto [s, r, c] = key;
            if (area.contains(s, r, c) && !visit(r, c, viewOf(value))) return;
        }
    }
    std::optional<std::string> definedName(std::string_view name, int32_t) const override {
        if (kbx::equalIgnoringCase(name, "Rate")) return "Sheet1!$A$1:$A$3";
        return std::nullopt;
    }
    bool rowHidden(int32_t, int32_t row) const override { return row == 3; }
    bool date1904() const override { return false; }
    void computed(const CellAddress&, const Value&) override {}
    void notComputed(const CellAddress&, const std::string&) override {}

private:
    std::map<std::tuple<int32_t, int32_t, int32_t>, Value> cells_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    SmallWorkbook book;
    Calculator calculator(book);
    calculator.setFormula({0, 10, 3}, text);
    calculator.setFormula({0, 11, 3}, text, CellAddress{0, 10, 3});
    calculator.setFormula({1, 1048576, 16384}, text);
    calculator.setArrayFormula({0, 20, 5}, 2, 2, text);
    calculator.recalculate(book);
    return 0;
}

#ifdef KBX_FUZZ_STANDALONE
// A small mutation driver for compilers without libFuzzer.
int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SECONDS CORPUS_FILE...\n", argv[0]);
        return 2;
    }
    const auto limit = std::chrono::seconds(std::stol(argv[1]));
    std::vector<std::string> corpus;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static const char* kTokens[] = {"(", ")", "\"", ",", ":", "!", "'", "{", "}", ";", "A1", "$", "SUM(", "IF(",
                                    "INDIRECT(", "#N/A", " ", "%", "^", "&", "<>", "1E+308", "-"};
    std::mt19937_64 random(12345);
    const auto start = std::chrono::steady_clock::now();
    uint64_t runs = 0;
    while (std::chrono::steady_clock::now() - start < limit) {
        std::string input = corpus[random() % corpus.size()];
        for (int e = 0, edits = 1 + int(random() % 6); e < edits; ++e) {
            const size_t at = input.empty() ? 0 : random() % input.size();
            if (random() % 2) input.insert(at, kTokens[random() % std::size(kTokens)]);
            else if (!input.empty()) input.erase(at, 1 + random() % 4);
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++runs;
    }
    std::printf("%llu inputs in %ld s without a crash\n", static_cast<unsigned long long>(runs),
                static_cast<long>(limit.count()));
    return 0;
}
#endif
