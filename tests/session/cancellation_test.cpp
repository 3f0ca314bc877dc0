// With a stop requested (the host of the call has left the bus), each fill
// engine ends in its loop over the positions with run-time error 18: thrown
// to the caller, shown, or logged, as the method handles its errors.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "log/write_log.h"
#include "automation/kest_db_bom_excel.h"
#include "session/cancellation.h"
#include "support/test_support.h"

namespace kbx {
namespace {

const std::string kExamples = std::string(KBX_SOURCE_DIR) + "/examples/";

struct CancelCase {
    const char* method;
    std::function<void(automation::KestDBBomExcel&, const std::string& dir)> call;
};

TEST(Cancellation, EachFillEngineStopsInItsPositionLoop) {
    const Variant names = Variant::array({Variant("posnr"), Variant("name"), Variant("posnr"), Variant("name")});
    const Variant values = Variant::array({Variant(1), Variant("Housing"), Variant(2), Variant("Screw")});
    const Variant head = Variant::array({Variant("title")});
    const std::vector<CancelCase> cases = {
        {"ExportBomExcel",
         [&](automation::KestDBBomExcel& server, const std::string& dir) {
             std::string workbook = dir + "/bom.xlsx";
             std::filesystem::copy_file(kExamples + "templatefill/template.xlsx", workbook);
             server.ExportBomExcel(head, head, 2, names, values, workbook, 0, "", 0, "", 0, "", 1, "");
         }},
        {"ExportPlain",
         [&](automation::KestDBBomExcel& server, const std::string& dir) {
             server.ExportPlain(head, head, 2, names, values, kExamples + "plainbom/template.xlsx", dir + "/plain.xlsx",
                                0, 0, 30, 0);
         }},
        {"CreateSummaryExcel",
         [&](automation::KestDBBomExcel& server, const std::string& dir) {
             server.CreateSummaryExcel(names, head, values, 2, kExamples + "summary/template.xlsx",
                                       dir + "/summary.xlsx", 0, 0, 30);
         }},
    };
    for (const CancelCase& c : cases) {
        test::PlatformGuard platform;
        test::TempDir dir;
        test::EnvGuard temp("TEMP", dir.path().string());
        automation::KestDBBomExcel server;
        session::requestCancel();
        const int32_t thrown = test::errorOf([&] { c.call(server, dir.path().string()); }).number();
        session::clearCancel();
        const bool shown = !platform.messages->shown.empty() &&
                           platform.messages->shown.front().text == session::kInterruptedText;
        const bool logged = test::readFile(logFilePath()).find(session::kInterruptedText) != std::string::npos;
        EXPECT_TRUE(thrown == session::kInterruptedError || shown || logged) << c.method << " did not stop";
    }
}

}  // namespace
}  // namespace kbx
