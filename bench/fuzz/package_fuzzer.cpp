// libFuzzer target for the engine's package reader: any bytes are written to
// a file, opened as a workbook, every sheet's first cells are read and the
// workbook is saved again. A run-time error is the only allowed failure.
//
// Not part of the normal build or of CI: scripts/fuzz.sh builds it with
// libFuzzer (clang) or with the built-in mutation driver (g++,
// -DKBX_FUZZ_STANDALONE), which runs: package_fuzzer SECONDS CORPUS_FILES...

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "sheet/application.h"
#include "value/runtime_error.h"

namespace kbx {
std::shared_ptr<sheet::Application> engine::createApplication();
}

namespace {

std::string scratchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / ("kbx-fuzz-" + std::to_string(::getpid()) + "-" + name)).string();
}

void exercise(const std::string& input, const std::string& output) {
    auto app = kbx::engine::createApplication();
    auto book = app->GetWorkbooks().Open(input, kbx::Variant(false), false);
    kbx::sheet::Sheets& sheets = book->GetSheets();
    for (int32_t i = 1; i <= sheets.Count(); ++i) {
        try {
            auto sheet = sheets.Item(i);
            for (int32_t row = 1; row <= 5; ++row) {
                for (int32_t column = 1; column <= 5; ++column) {
                    auto cell = sheet->Cells(row, column);
                    (void)cell->Value();
                    (void)cell->Text();
                    (void)cell->GetFont()->Get(kbx::sheet::FontProperty::Color);
                    (void)cell->Left();
                    (void)cell->Top();
                }
            }
            sheet->Cells(1, 1)->SetValue(kbx::Variant("fuzz"));
            sheet->Columns(2)->SetNumberFormat("@");
        } catch (const kbx::RuntimeError&) {
        }
    }
    book->SaveAs(output, std::nullopt);
    book->Close(false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string input = scratchPath("in.xlsx");
    static const std::string output = scratchPath("out.xlsx");
    {
        std::ofstream file(input, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        exercise(input, output);
    } catch (const kbx::RuntimeError&) {
    }
    return 0;
}

#ifdef KBX_FUZZ_STANDALONE
#include <zip.h>

namespace {

using Parts = std::vector<std::pair<std::string, std::string>>;

Parts readParts(const std::string& path) {
    Parts parts;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) return parts;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
        std::string data(st.size, '\0');
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (file != nullptr) {
            zip_fread(file, data.data(), data.size());
            zip_fclose(file);
        }
        parts.emplace_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), 0), std::move(data));
    }
    zip_discard(archive);
    return parts;
}

// Packs parts into a zip file and returns its bytes (so that the XML inside,
// not only the container, meets the mutations).
std::string packParts(const Parts& parts) {
    const std::string path = scratchPath("packed.xlsx");
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto& [name, data] : parts) {
        zip_source_t* src = zip_source_buffer(archive, data.data(), data.size(), 0);
        zip_file_add(archive, name.c_str(), src, ZIP_FL_OVERWRITE);
    }
    zip_close(archive);
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void mutateBytes(std::string& input, std::mt19937_64& random) {
    const int edits = 1 + static_cast<int>(random() % 8);
    static const char* kTokens[] = {"<", ">", "\"", "r=\"A1\"", "s=\"9\"", "t=\"s\"", "<row>", "</c>", "&amp;",
                                    "<!DOCTYPE x>", "\xff", "..", "/", "Target=\"../x\"", "99999999"};
    for (int e = 0; e < edits && !input.empty(); ++e) {
        const size_t at = random() % input.size();
        switch (random() % 5) {
            case 0: input[at] = static_cast<char>(random()); break;
            case 1: input.insert(at, kTokens[random() % std::size(kTokens)]); break;
            case 2: input.erase(at, 1 + random() % 16); break;
            case 3: input.insert(at, 1, static_cast<char>(random())); break;
            default: {
                const size_t from = random() % input.size();
                input.insert(at, input.substr(from, 1 + random() % 64));
            }
        }
    }
}

}  // namespace

// A small mutation driver for compilers without libFuzzer: flips, inserts,
// deletes and copies bytes of the corpus files, for the given number of seconds.
int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SECONDS CORPUS_FILE...\n", argv[0]);
        return 2;
    }
    const auto limit = std::chrono::seconds(std::stol(argv[1]));
    std::vector<std::string> corpus;
    std::vector<Parts> corpusParts;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        corpusParts.push_back(readParts(argv[i]));
    }
    std::mt19937_64 random(12345);
    const auto start = std::chrono::steady_clock::now();
    uint64_t runs = 0;
    while (std::chrono::steady_clock::now() - start < limit) {
        const size_t pick = random() % corpus.size();
        std::string input;
        if (random() % 4 == 0 || corpusParts[pick].empty()) {
            input = corpus[pick];
            mutateBytes(input, random);
        } else {
            Parts parts = corpusParts[pick];
            mutateBytes(parts[random() % parts.size()].second, random);
            input = packParts(parts);
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++runs;
    }
    std::printf("%llu inputs in %ld s without a crash\n", static_cast<unsigned long long>(runs),
                static_cast<long>(limit.count()));
    return 0;
}
#endif
