// Opens a workbook with the engine and reports what its cells cost: the
// process's peak memory, the resident memory the open added per cell, and
// the bytes per cell the sheet model itself holds (its first worksheet read
// again on its own). Last line: the figures as JSON.
// Usage: load_bench workbook.xlsx [worksheet part, default xl/worksheets/sheet1.xml]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "ooxml/package.h"
#include "ooxml/shared_strings.h"
#include "ooxml/sheet_model.h"
#include "ooxml/styles.h"
#include "engine/engine.h"
#include "sheet/application.h"
#include "value/runtime_error.h"

namespace {

long residentKiB() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: load_bench workbook.xlsx [worksheet part]\n");
        return 2;
    }
    const std::string path = argv[1];
    const std::string part = argc > 2 ? argv[2] : "xl/worksheets/sheet1.xml";
    try {
        const long before = residentKiB();
        const auto start = std::chrono::steady_clock::now();
        double seconds = 0;
        long opened = 0;
        {
            auto app = kbx::engine::createApplication();
            auto book = app->GetWorkbooks().Open(path, kbx::Variant(false), true);
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            opened = residentKiB();
            book->Close(false);
        }
        const long peak = peakKiB();

        // The model alone: its own count of the bytes its cells and rows take.
        auto package = kbx::ooxml::Package::open(path);
        kbx::ooxml::StyleSheet styles;
        styles.load(package->readPart("xl/styles.xml"), path);
        kbx::ooxml::SharedStrings strings;
        kbx::ooxml::SheetModel model(part, path);
        model.load(package->pieceReader(part), styles, strings);
        const size_t cells = model.cellCount();
        const double perCell = cells ? static_cast<double>(model.cellMemoryBytes()) / static_cast<double>(cells) : 0;
        const double residentPerCell = cells ? (opened - before) * 1024.0 / static_cast<double>(cells) : 0;
        std::printf("opened %s in %.2f s: %zu cells, peak memory %ld KiB\n", path.c_str(), seconds, cells, peak);
        std::printf("resident memory added by the open: %.1f bytes per cell; sheet model: %.1f bytes per cell\n",
                    residentPerCell, perCell);
        std::printf("{\"cells\": %zu, \"seconds\": %.3f, \"peak_kib\": %ld, \"resident_bytes_per_cell\": %.2f, "
                    "\"model_bytes_per_cell\": %.2f}\n",
                    cells, seconds, peak, residentPerCell, perCell);
    } catch (const kbx::RuntimeError& e) {
        std::fprintf(stderr, "error %d: %s\n", e.number(), e.description().c_str());
        return 1;
    }
    return 0;
}
