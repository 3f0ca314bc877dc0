// Bad input of every kind, one table grouped by class: each case does one
// unfriendly thing through the real engine and reports what it saw (a
// run-time error as "<number>: <text>"); the table says what must be seen.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>

#include "copyexport/export_as_txt.h"
#include "engine/engine.h"
#include "fillcommon/file_exists.h"
#include "log/write_log.h"
#include "plainbom/export_plain.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

namespace fs = std::filesystem;

// "" when the step succeeds, else its run-time error as "<number>: <text>".
std::string failure(const std::function<void()>& step) {
    const RuntimeError e = errorOf(step);
    return e.number() == 0 ? "" : std::to_string(e.number()) + ": " + e.description();
}

struct Sandbox {
    PlatformGuard guard;
    TempDir dir;
    TempDir runtime;  // the private folder a refused log falls back to
    EnvGuard temp{"TEMP", dir.path().string()};
    EnvGuard xdg{"XDG_RUNTIME_DIR", runtime.path().string()};
    std::shared_ptr<sheet::Application> app = engine::createApplication();
    std::string plain = dataFile("plain.xlsx");

    Sandbox() {
        fs::permissions(runtime.path(), fs::perms::owner_all);
        runPython(readFile(dataFile("hostile/make_templates.py")),
                  {plain, dataFile("features.xlsx"), dir.path().string()});
    }
    std::string file(const std::string& name, const std::string& content = "") const {
        std::ofstream(dir.file(name)) << content;
        return dir.file(name);
    }
    std::string fifo(const std::string& name) const {
        ::mkfifo(dir.file(name).c_str(), 0600);
        return dir.file(name);
    }
    std::string log() const { return readFile(dir.file("KestDBBomEx.log")); }
    std::string fallbackLog() const { return readFile(runtime.file("KestDBBomEx.log")); }
    std::string open(const std::string& path) {
        return failure([&] { app->GetWorkbooks().Open(path, Variant(false), true); });
    }
    std::shared_ptr<sheet::Workbook> book() { return app->GetWorkbooks().Open(plain, Variant(false), true); }
    std::string insertPicture(const std::string& path) {
        const std::string skipped = fillcommon::FileExists(path) ? "exists / " : "skipped / ";
        return skipped + failure([&] { book()->ActiveSheet()->GetPictures().Insert(path); });
    }
    // ExportPlain2 with gap rows, 30 rows a sheet (0: no limit), of records numbered as given; the messages shown.
    std::string exportPlain(const std::vector<int32_t>& numbers, const std::string& from, const std::string& to,
                            const std::string& targetSheet = "", int32_t rowsPerSheet = 30) {
        std::vector<Variant> names, values;
        for (int32_t n : numbers) {
            names.insert(names.end(), {Variant("posnr"), Variant("Name")});
            values.insert(values.end(), {Variant(n), Variant("P" + std::to_string(n))});
        }
        plainbom::ExportPlain2(Variant::array({Variant("title")}), Variant::array({Variant("T")}), 2,
                               Variant::array(names), Variant::array(values), from, to, 0, 0, rowsPerSheet, 1,
                               targetSheet);
        std::string shown;
        for (const ShownMessage& m : guard.messages->shown) shown += m.text + "|";
        return shown;
    }
};

// The command line program of this build; its exit status and output.
std::string commandLine(const std::string& arguments) {
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "src/cli/kestbomex";
    if (!fs::exists(program)) return "no command line program in this build";
    FILE* pipe = ::popen((program.string() + " " + arguments + " 2>/dev/null").c_str(), "r");
    std::string output;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = ::pclose(pipe);
    return "exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ": " + output;
}

std::string describe(bool condition, const char* yes, const char* no) { return condition ? yes : no; }

struct Case {
    const char* group;
    const char* name;
    std::function<std::string(Sandbox&)> step;
    std::vector<std::string> expected;  // each must appear in what the step saw
    bool needsRoot = false;
};

const std::vector<Case> kCases = {
    {"inputs",
     "picture path naming a FIFO: skipped, and refused without waiting",
     [](Sandbox& s) { return s.insertPicture(s.fifo("pipe.png")); },
     {"skipped / 75: ", "pipe.png' is a named pipe"}},
    {"inputs",
     "picture path naming a device",
     [](Sandbox& s) { return s.insertPicture("/dev/zero"); },
     {"skipped / 75: ", "'/dev/zero' is a character device"}},
    {"inputs",
     "template naming a FIFO",
     [](Sandbox& s) { return s.open(s.fifo("t.xlsx")); },
     {"75: ", "t.xlsx' is a named pipe, not a regular file"}},
    {"inputs", "template naming a folder", [](Sandbox& s) { return s.open(s.dir.path()); }, {"75: ", "is a folder"}},
    {"inputs",
     "template larger than the limit",
     [](Sandbox& s) {
         fs::resize_file(s.file("huge.xlsx"), (1ull << 30) + 1);  // sparse: takes no disk space
         return s.open(s.dir.file("huge.xlsx"));
     },
     {"75: ", "huge.xlsx' is larger than the 1024 MB allowed for a workbook"}},
    {"log",
     "a link at the log path is not followed",
     [](Sandbox& s) {
         fs::create_symlink(s.file("victim", "victim"), s.dir.file("KestDBBomEx.log"));
         WriteLog("through the link");
         return readFile(s.dir.file("victim")) + "|" + s.fallbackLog();
     },
     {"victim|", "is a symbolic link; logging to '", "OUTPUT: through the link\n"}},
    {"log",
     "a dangling link at the log path creates nothing",
     [](Sandbox& s) {
         fs::create_symlink(s.dir.file("nowhere"), s.dir.file("KestDBBomEx.log"));
         WriteLog("dangling");
         return describe(fs::exists(s.dir.file("nowhere")), "created|", "nothing created|") + s.fallbackLog();
     },
     {"nothing created|", "OUTPUT: dangling\n"}},
    {"log",
     "a FIFO at the log path does not block",
     [](Sandbox& s) {
         s.fifo("KestDBBomEx.log");
         WriteLog("not blocked");
         return s.fallbackLog();
     },
     {"OUTPUT: not blocked\n"}},
    {"log",
     "another user's log is left alone",
     [](Sandbox& s) {
         ::chown(s.file("KestDBBomEx.log", "theirs\n").c_str(), 65534, 65534);
         WriteLog("mine");
         return s.log() + "|" + s.fallbackLog();
     },
     {"theirs\n|", "belongs to another user", "OUTPUT: mine\n"},
     true},
    {"inputs",
     "a workbook part typed by its extension's Default, without an Override: read and written",
     [](Sandbox& s) {
         const std::string shown = s.exportPlain({1}, s.dir.file("workbook_by_default.xlsx"), s.dir.file("out.xlsx"));
         return shown + "|" + ReadBack(s.dir.file("out.xlsx")).value("BOM!A5");
     },
     {"|1"}},
    {"engine",
     "column style past the style table",
     [](Sandbox& s) { return s.open(s.dir.file("col_style_out_of_range.xlsx")); },
     {"1004: ", "col_style_out_of_range.xlsx", "the columns A:C have a style index out of range"}},
    {"engine",
     "cell text limit: 32767 UTF-16 units are kept, 32768 are refused",
     [](Sandbox& s) {
         const auto cell = s.book()->ActiveSheet()->Cells(1, 1);
         std::string seen, euros, faces;  // three bytes and one unit each; four bytes and two units each
         for (int i = 0; i < 32767; ++i) euros += "\xE2\x82\xAC";
         for (int i = 0; i < 16383; ++i) faces += "\xF0\x9F\x98\x80";
         for (const std::string& text : {euros, euros + "a", faces + "a", faces + "\xF0\x9F\x98\x80"})
             seen += "|" + failure([&] { cell->SetValue(Variant(text)); });
         return seen;
     },
     {"||1004: The text is longer than the 32767 characters a cell can hold.||1004: The text is longer"}},
    {"engine",
     "row and column past the sheet",
     [](Sandbox& s) { return failure([&] { s.book()->ActiveSheet()->Cells(1048577, 16385); }); },
     {"1004: Cells(1048577, 16385) lies outside the sheet."}},
    {"work per call",
     "posnr 2,000,000,000 with gap rows is refused up front",
     [](Sandbox& s) {
         return s.exportPlain({1, 2000000000}, s.plain, s.dir.file("out.xlsx"));
     },
     {"Invalid procedure call or argument: the list would take more than 1048576 rows",
      "at most 1048576 rows and 10000 sheets"}},
    {"work per call",
     "one target sheet past the last row, a single missing number counted too; the output stays unfilled",
     [](Sandbox& s) {
         const std::string shown = s.exportPlain({1, 1048573, 1048575}, s.plain, s.dir.file("out.xlsx"), "BOM");
         return shown + ReadBack(s.dir.file("out.xlsx")).value("BOM!B1");
     },
     {"the list would reach row 1048581 of the sheet 'BOM', which ends at row 1048576|$head:title"}},
    {"work per call",
     "the first page of a list without a row limit past the last row",
     [](Sandbox& s) { return s.exportPlain({1, 1048573, 1048575}, s.plain, s.dir.file("out.xlsx"), "", 0); },
     {"the list would reach row 1048581 of the sheet '"}},
    {"engine",
     "a chain of parts nine deep under a sheet: its copy copies eight and shares the ninth",
     [](Sandbox& s) {
         const auto book = s.app->GetWorkbooks().Open(s.dir.file("deep_chain.xlsx"), Variant(false), true);
         const auto cover = book->GetSheets().Item("Cover");
         cover->Copy(*cover);
         book->SaveCopyAs(s.dir.file("out.xlsx"));
         const ReadBack back(s.dir.file("out.xlsx"));
         return back["sheets"] + " " + std::to_string(back.count("part xl/chain/link"));
     },
     {"Cover (2),Cover,BOM,Other 17"}},
    {"saves",
     "an empty folder at the output path is kept",
     [](Sandbox& s) {
         fs::create_directory(s.dir.file("out.xlsx"));
         const std::string shown = s.exportPlain({1}, s.plain, s.dir.file("out.xlsx"));
         return shown + describe(fs::is_directory(s.dir.file("out.xlsx")), "kept", "gone");
     },
     {"out.xlsx' is a folder; a file cannot replace it|kept"}},
    {"saves",
     "empty and over-long output names",
     [](Sandbox& s) {
         const auto book = s.book();
         const std::string empty = failure([&] { book->SaveCopyAs(""); });
         return empty + " / " + failure([&] { book->SaveCopyAs(s.dir.file(std::string(300, 'a') + "/x.xlsx")); });
     },
     {"52: Bad file name or number: the file name is empty / 52: "}},
    {"saves",
     "leftover temporaries older than a day are removed by the next save there, and nothing else",
     [](Sandbox& s) {
         const std::string fresh = s.file(".other.xlsx.kbx-Zz99Yy");
         for (const char* folder : {".kbx-save-Ab12Cd", "a-folder-16-long"}) fs::create_directory(s.dir.file(folder));
         const std::string names[] = {".out.txt.kbx-Ab12Cd", ".out.txt.kbx-Ab12C", ".o.kbx-convert.xlsx",
                                      ".kbx-save-Ab12Cd",    "a-folder-16-long",   ".abcAb12Cd",  // the user's
                                      ".kbx-Ab12Cd"};
         for (const std::string& name : names) {
             if (!fs::exists(s.dir.file(name))) s.file(name);
             fs::last_write_time(s.dir.file(name), fs::file_time_type::clock::now() - std::chrono::hours(25));
         }
         copyexport::ExportAsTxt2(s.plain, s.dir.file("out.txt"), "BOM");
         std::string seen;
         for (const std::string& name : names) seen += describe(fs::exists(s.dir.file(name)), "kept ", "removed ");
         return seen + describe(fs::exists(fresh), "new kept", "");
     },
     {"removed kept removed removed kept kept kept new kept"}},
    {"drawings",
     "a drawing showing a missing image is refused, and the reason logged",
     [](Sandbox& s) {
         const std::string shown = s.exportPlain({1}, s.dir.file("missing_image.xlsx"), s.dir.file("out.xlsx"));
         return shown + s.log();
     },
     {"Failed to obtain COM object to Workbook from Excel|",
      "OUTPUT: Failed to obtain COM object to Workbook from Excel\nEXCEL - BOM - OUTPUT: 1004: The file '",
      "missing_image.xlsx' cannot be read: in 'xl/drawings/drawing1.xml', the part 'xl/media/image1.png' is missing"}},
    {"drawings",
     "links to missing drawing parts are dropped with their elements and logged; the output reads",
     [](Sandbox& s) {
         const std::string shown = s.exportPlain({1}, s.dir.file("missing_drawing.xlsx"), s.dir.file("out.xlsx"));
         return shown + s.log() + ReadBack(s.dir.file("out.xlsx"))["sheets"];
     },
     {"the link 'rId1' of 'xl/worksheets/sheet2.xml' to the missing part 'xl/drawings/drawing1.xml' was dropped\n",
      "the link 'anysvml' of 'xl/worksheets/sheet2.xml' to the missing part 'xl/drawings/commentsDrawing1.vml' was "
      "dropped\n",
      "Cover,Parts"}},
    {"drawings",
     "a chart's link to a missing part is dropped too; the chart stays",
     [](Sandbox& s) {
         const std::string out = s.dir.file("out.xlsx");
         const std::string shown = s.exportPlain({1}, s.dir.file("missing_user_shapes.xlsx"), out);
         const std::string rels = "xl/charts/_rels/chart1.xml.rels";
         const ReadBack back(out, {rels, "xl/charts/chart1.xml"});
         return shown + s.log() + "charts " + back["charts Parts"] +
                describe(back["xml " + rels].find("drawing9") == std::string::npos &&
                             back["xml xl/charts/chart1.xml"].find("userShapes") == std::string::npos,
                         " clean", " dangling");
     },
     {"the link 'rId9' of 'xl/charts/chart1.xml' to the missing part 'xl/drawings/drawing9.xml' was dropped\n",
      "charts 1 clean"}},
    {"drawings",
     "links of a chart and a picture to places in the workbook are no parts: kept, on the page copy too",
     [](Sandbox& s) {
         const std::string shown = s.exportPlain({1}, s.dir.file("linked_places.xlsx"), s.dir.file("out.xlsx"));
         const ReadBack back(s.dir.file("out.xlsx"));
         return shown + back["sheets"] + "|" + back["links drawing1.xml"] + "|" + back["links drawing2.xml"];
     },
     {"Cover,Parts,Template,Notes|#Cover!A1 #'Notes'!A1|#Cover!A1 #'Notes'!A1"}},
    {"names",
     "a file name that is not UTF-8 passes the command line byte for byte",
     [](Sandbox& s) {
         const std::string out = s.dir.file("out\xff.txt");
         std::string seen = commandLine("copy '" + s.plain + "' '" + out + "' --sheet BOM");
         seen += describe(fs::exists(out), "written / ", "missing / ");
         return seen + commandLine("copy '" + s.dir.file("in\xfe.xlsx") + "' '" + out + "'");
     },
     {"exit 0: {\"result\":0}\nwritten / exit 3: ", "in\\udcfe.xlsx'\",\"number\":53}"}},
};

TEST(HostileInput, EveryClassOfBadInputGetsAClearAnswer) {
    for (const Case& c : kCases) {
        if (c.needsRoot && ::geteuid() != 0) {
            std::printf("[ skipped  ] %s: %s (making another user's file needs root)\n", c.group, c.name);
            continue;
        }
        Sandbox sandbox;
        std::string seen;
        seen += failure([&] { seen = c.step(sandbox); });
        for (const std::string& expected : c.expected)
            EXPECT_NE(seen.find(expected), std::string::npos) << c.group << ": " << c.name << "\n  saw: " << seen;
    }
}

}  // namespace
}  // namespace kbx::test
