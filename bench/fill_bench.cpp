// Fills 100,000 cells of a template the way the template engines do (per
// value: the column's "@" format, a CopyCell from the model row, the value),
// saves it, and writes the same cells with the same font from scratch with
// libxlsxwriter for comparison. Prints both times, their ratio and the peak
// memory of the process, and last a JSON line with the four times.
//
// Usage: fill_bench [template.xlsx] [output directory] [rows (10 cells each), default 10000]

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "fillcommon/copy_cell.h"
#include "engine/engine.h"
#include "sheet/application.h"
#include "value/runtime_error.h"

#ifdef KBX_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace {

int kRows = 10000;
constexpr int kColumns = 10;
constexpr int kModelRow = 3;

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of the process: steadier than wall time on a busy machine.
double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string valueText(int row, int column) { return "P" + std::to_string(row) + "-" + std::to_string(column); }

double fillWithEngine(const std::string& templatePath, const std::string& output) {
    auto app = kbx::engine::createApplication();
    const auto start = std::chrono::steady_clock::now();
    auto book = app->GetWorkbooks().Open(templatePath, kbx::Variant(false), true);
    auto ws = book->ActiveSheet();
    for (int column = 1; column <= kColumns; ++column) {
        auto model = ws->Cells(kModelRow, column);
        for (int i = 0; i < kRows; ++i) {
            const int row = kModelRow + i;
            ws->Columns(column)->SetNumberFormat("@");
            auto cell = ws->Cells(row, column);
            if (row != kModelRow) kbx::fillcommon::CopyCell(*cell, *model);
            cell->SetValue(kbx::Variant(valueText(row, column)));
        }
    }
    const double filled = seconds(start);
    book->SaveAs(output, kbx::sheet::xl::FormatOpenXmlWorkbook);
    const double saved = seconds(start);
    std::printf("engine: open + fill %.3f s, save %.3f s\n", filled, saved - filled);
    book->Close(false);
    return saved;
}

#ifdef KBX_HAVE_XLSXWRITER
double writeWithXlsxwriter(const std::string& output) {
    const auto start = std::chrono::steady_clock::now();
    lxw_workbook* workbook = workbook_new(output.c_str());
    lxw_worksheet* worksheet = workbook_add_worksheet(workbook, "BOM");
    lxw_format* format = workbook_add_format(workbook);
    format_set_font_name(format, "Arial");
    format_set_font_size(format, 12);
    format_set_bold(format);
    format_set_italic(format);
    format_set_font_color(format, 0xFF0000);
    format_set_underline(format, LXW_UNDERLINE_DOUBLE);
    format_set_align(format, LXW_ALIGN_CENTER);
    format_set_align(format, LXW_ALIGN_VERTICAL_TOP);
    format_set_num_format(format, "@");
    for (int column = 1; column <= kColumns; ++column) {
        for (int i = 0; i < kRows; ++i) {
            const int row = kModelRow + i;
            worksheet_write_string(worksheet, static_cast<lxw_row_t>(row - 1), static_cast<lxw_col_t>(column - 1),
                                   valueText(row, column).c_str(), format);
        }
    }
    if (workbook_close(workbook) != LXW_NO_ERROR) std::fprintf(stderr, "libxlsxwriter failed\n");
    return seconds(start);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const std::string templatePath = argc > 1 ? argv[1] : std::string(KBX_SOURCE_DIR) + "/tests/data/basic.xlsx";
    const std::filesystem::path dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    if (argc > 3) kRows = std::max(1, std::atoi(argv[3]));
    double writer = 0, writerCpu = 0;
    try {
        const double cpu0 = cpuSeconds();
        const double engine = fillWithEngine(templatePath, (dir / "fill_bench_engine.xlsx").string());
        const double engineCpu = cpuSeconds() - cpu0;
        const long enginePeak = peakKilobytes();
        std::printf("engine fill + save of %d cells: %.3f s wall, %.3f s cpu (peak memory %ld KiB)\n", kRows * kColumns,
                    engine, engineCpu, enginePeak);
#ifdef KBX_HAVE_XLSXWRITER
        const double cpu1 = cpuSeconds();
        writer = writeWithXlsxwriter((dir / "fill_bench_xlsxwriter.xlsx").string());
        writerCpu = cpuSeconds() - cpu1;
        std::printf("libxlsxwriter write of %d cells: %.3f s wall, %.3f s cpu\n", kRows * kColumns, writer,
                    writerCpu);
        std::printf("ratio engine / libxlsxwriter: %.2f wall, %.2f cpu\n", engine / writer, engineCpu / writerCpu);
#endif
        std::printf("peak memory of the process: %ld KiB\n", peakKilobytes());
        std::printf("{\"cells\": %d, \"engine_wall\": %.4f, \"engine_cpu\": %.4f, \"writer_wall\": %.4f, \"writer_cpu\": %.4f}\n",
                    kRows * kColumns, engine, engineCpu, writer, writerCpu);
    } catch (const kbx::RuntimeError& e) {
        std::fprintf(stderr, "run-time error %d: %s\n", e.number(), e.description().c_str());
        return 1;
    }
    return 0;
}
