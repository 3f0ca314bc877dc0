// ExportPlain on 10,000 records of 10 fields, 50 rows per sheet (200 sheets),
// with 100 pictures: wall time and peak memory.
// Usage: export_plain_bench [records] [rows-per-sheet] [pictures]
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
#include "session/platform.h"
#include "value/runtime_error.h"

namespace {

constexpr int32_t kFields = 10;

// A template with a header block and a position row of ten fields ("posnr",
// eight values, "bmp"), written by openpyxl.
void writeTemplate(const std::string& file) {
    const std::string script =
        "import sys\n"
        "from openpyxl import Workbook\n"
        "from openpyxl.styles import Alignment, Border, Font, Side\n"
        "book = Workbook()\n"
        "sheet = book.active\n"
        "sheet.title = 'BOM'\n"
        "sheet['A1'] = '$head:drawno'\n"
        "sheet['C1'] = '$head:title'\n"
        "thin = Side(style='thin')\n"
        "names = ['posnr'] + [f'f{i}' for i in range(1, 9)] + ['bmp']\n"
        "for column, name in enumerate(names, start=1):\n"
        "    cell = sheet.cell(3, column, '$pos:' + name)\n"
        "    cell.font = Font(bold=column % 2 == 0)\n"
        "    cell.alignment = Alignment(horizontal='center')\n"
        "    for row in range(3, 60):\n"
        "        sheet.cell(row, column).border = Border(left=thin, right=thin, top=thin, bottom=thin)\n"
        "book.save(sys.argv[1])\n";
    const std::string scriptFile = file + ".py";
    std::ofstream(scriptFile) << script;
    const std::string command = "/usr/bin/python3 '" + scriptFile + "' '" + file + "'";
    if (std::system(command.c_str()) != 0) kbx::raise(kbx::err::PathFileAccessError, "cannot write the template");
}

// A 16 x 12 pixel PNG at 96 dpi.
void writePicture(const std::string& file) {
    static const unsigned char png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x0c, 0x08, 0x02, 0x00, 0x00, 0x00, 0xe4, 0x85, 0xaa, 0xd6, 0x00,
        0x00, 0x00, 0x09, 0x70, 0x48, 0x59, 0x73, 0x00, 0x00, 0x0e, 0xc4, 0x00, 0x00, 0x0e, 0xc4, 0x01, 0x95,
        0x2b, 0x0e, 0x1b, 0x00, 0x00, 0x00, 0x17, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x3c, 0x21, 0x27,
        0xc7, 0x40, 0x0a, 0x60, 0x22, 0x49, 0xf5, 0xa8, 0x86, 0x11, 0xa4, 0x01, 0x00, 0x71, 0xcc, 0x01, 0x1c,
        0x08, 0x6a, 0x5e, 0xd6, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(png), sizeof png);
}

struct Bom {
    kbx::Variant names;
    kbx::Variant values;
};

// Records numbered 1.., the first `pictures` of them spread evenly with a picture.
Bom records(int32_t count, int32_t pictures, const std::string& picture) {
    std::vector<kbx::Variant> names, values;
    names.reserve(static_cast<size_t>(count) * kFields);
    values.reserve(static_cast<size_t>(count) * kFields);
    const int32_t pictureEvery = pictures > 0 ? count / pictures : 0;
    for (int32_t k = 0; k < count; ++k) {
        names.emplace_back("posnr");
        values.emplace_back(k + 1);
        for (int32_t field = 1; field <= 8; ++field) {
            names.emplace_back("f" + std::to_string(field));
            values.emplace_back(field % 2 ? kbx::Variant("part " + std::to_string(k)) : kbx::Variant(k * 0.5));
        }
        names.emplace_back("bmp");
        const bool withPicture = pictureEvery > 0 && k % pictureEvery == 0 && k / pictureEvery < pictures;
        values.emplace_back(withPicture ? picture : std::string());
    }
    return {kbx::Variant::array(std::move(names)), kbx::Variant::array(std::move(values))};
}

// User and system time of this process so far.
double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class CountingPort : public kbx::session::MessagePort {
public:
    void Show(const std::string& text, const std::string&, kbx::session::MessageIcon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        ++shown;
    }
    int shown = 0;
};

}  // namespace

int main(int argc, char** argv) {
    kbx::session::installSpreadsheet(kbx::engine::createApplication);
    const int32_t count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int32_t perSheet = argc > 2 ? std::atoi(argv[2]) : 50;
    const int32_t pictures = argc > 3 ? std::atoi(argv[3]) : 100;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kbx-export-plain-bench";
    std::filesystem::create_directories(dir);
    ::setenv("TEMP", dir.c_str(), 1);
    const std::string templateFile = (dir / "template.xlsx").string();
    const std::string picture = (dir / "part.png").string();
    const std::string output = (dir / "plain.xlsx").string();
    try {
        writeTemplate(templateFile);
        writePicture(picture);
    } catch (const kbx::RuntimeError& error) {
        std::fprintf(stderr, "%s\n", error.description().c_str());
        return 1;
    }
    auto port = std::make_shared<CountingPort>();
    kbx::session::platform().messages = port;
    const Bom bom = records(count, pictures, picture);
    const kbx::Variant headNames = kbx::Variant::array({kbx::Variant("drawno"), kbx::Variant("title")});
    const kbx::Variant headVals = kbx::Variant::array({kbx::Variant("KB-1"), kbx::Variant("Bench")});

    kbx::automation::KestDBBomExcel server;
    const double cpuStart = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    server.ExportPlain(headNames, headVals, kFields, bom.names, bom.values, templateFile, output, 0, 0, perSheet, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("ExportPlain: %d records x %d fields, %d rows per sheet, %d pictures\n", count, kFields, perSheet,
                pictures);
    std::printf("time %.3f s (cpu %.3f s), peak memory %.1f MiB, output %.1f KiB, messages %d\n", seconds, cpu,
                static_cast<double>(usage.ru_maxrss) / 1024.0,
                static_cast<double>(std::filesystem::file_size(output)) / 1024.0, port->shown);
    return port->shown == 0 ? 0 : 2;
}
