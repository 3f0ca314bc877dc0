// ExportBomExcel on 10,000 positions of 10 fields: wall time and peak memory.
// Usage: export_bom_excel_bench [positions]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "automation/kest_db_bom_excel.h"
#include "engine/engine.h"
#include "session/excel_references.h"
#include "session/platform.h"
#include "templatefill/fill_template_sheet.h"
#include "value/runtime_error.h"

namespace {

constexpr int32_t kFields = 10;

// A template with a header block and one position row of ten placeholders,
// written by openpyxl (the engine's own Add is not what is measured here).
void writeTemplate(const std::string& file) {
    const std::string script =
        "import sys\n"
        "from openpyxl import Workbook\n"
        "from openpyxl.styles import Alignment, Font\n"
        "book = Workbook()\n"
        "sheet = book.active\n"
        "sheet.title = 'BOM'\n"
        "sheet['A1'] = '$head:drawno'\n"
        "sheet['C1'] = '$head:title'\n"
        "for field in range(10):\n"
        "    cell = sheet.cell(3, field + 1, f'$pos:f{field}')\n"
        "    cell.font = Font(bold=field % 2 == 0)\n"
        "    cell.alignment = Alignment(horizontal='center')\n"
        "book.save(sys.argv[1])\n";
    const std::string scriptFile = file + ".py";
    std::ofstream(scriptFile) << script;
    const std::string command = "/usr/bin/python3 '" + scriptFile + "' '" + file + "'";
    if (std::system(command.c_str()) != 0) kbx::raise(kbx::err::PathFileAccessError, "cannot write the template");
}

kbx::Variant positions(int32_t count) {
    std::vector<kbx::Variant> values;
    values.reserve(static_cast<size_t>(count) * kFields);
    for (int32_t k = 0; k < count; ++k) {
        for (int32_t field = 0; field < kFields; ++field) {
            if (field == 0)
                values.emplace_back(k + 1);
            else if (field == 1)
                values.emplace_back(0.5 * k);
            else
                values.emplace_back("part " + std::to_string(k) + " field " + std::to_string(field));
        }
    }
    return kbx::Variant::array(std::move(values));
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The same work split into its phases (open, fill, save), CPU seconds each.
void phaseBreakdown(const std::string& file, const kbx::Variant& headNames, const kbx::Variant& headVals,
                    const kbx::Variant& posNames, const kbx::Variant& posVals) {
    writeTemplate(file);
    auto app = kbx::session::createExcelApplication();
    kbx::session::excelReferences().ExcelApp = app;
    double mark = cpuSeconds();
    auto lap = [&mark] {
        const double now = cpuSeconds();
        const double spent = now - mark;
        mark = now;
        return spent;
    };
    auto book = app->GetWorkbooks().Open(file, kbx::Variant(int32_t{2}), false);
    const double open = lap();
    kbx::templatefill::FillTemplateSheet(*book->GetSheets().Item("BOM"), headNames, headVals, kFields, posNames,
                                         posVals, false);
    const double fill = lap();
    book->Save();
    const double save = lap();
    book->Close(false);
    kbx::session::excelReferences() = {};
    std::printf("phases (CPU): open %.3f s, fill %.3f s, save %.3f s\n", open, fill, save);
}

}  // namespace

int main(int argc, char** argv) {
    kbx::session::installSpreadsheet(kbx::engine::createApplication);
    const int32_t count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kestbomex-bench";
    std::filesystem::create_directories(dir);
    setenv("TEMP", dir.c_str(), 1);
    std::string file = (dir / "bench.xlsx").string();
    try {
        writeTemplate(file);
        std::vector<kbx::Variant> names;
        for (int32_t field = 0; field < kFields; ++field) names.emplace_back("f" + std::to_string(field));
        const kbx::Variant posNames = kbx::Variant::array(names);
        const kbx::Variant posVals = positions(count);
        const kbx::Variant headNames = kbx::Variant::array({kbx::Variant("drawno"), kbx::Variant("title")});
        const kbx::Variant headVals = kbx::Variant::array({kbx::Variant("KB-1"), kbx::Variant("Bench")});
        const long memoryBefore = peakMemoryKiB();

        for (int32_t reverse : {0, 1}) {
            writeTemplate(file);
            kbx::automation::KestDBBomExcel server;
            const double cpuStart = cpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            server.ExportBomExcel(headNames, headVals, kFields, posNames, posVals, file, 0, "", 1, "BOM", reverse, "",
                                  1, "");
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            std::printf("ExportBomExcel %d positions x %d fields, reverse %d: %.3f s wall, %.3f s CPU\n", count,
                        kFields, reverse, elapsed.count(), cpuSeconds() - cpuStart);
        }
        phaseBreakdown(file, headNames, headVals, posNames, posVals);
        std::printf("peak memory: %ld KiB (%ld KiB before the exports, data set included)\n", peakMemoryKiB(),
                    memoryBefore);
        std::printf("output: %s (%ju bytes)\n", file.c_str(), static_cast<uintmax_t>(std::filesystem::file_size(file)));
    } catch (const kbx::RuntimeError& e) {
        std::fprintf(stderr, "error %d: %s\n", e.number(), e.description().c_str());
        return 1;
    }
    return 0;
}
