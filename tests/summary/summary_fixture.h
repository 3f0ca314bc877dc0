#pragma once
// A summary run against the in-memory spreadsheet of the plain BOM tests.

#include <fstream>
#include <string>
#include <vector>

#include "automation/kest_db_bom_excel.h"
#include "plainbom/fake_sheet.h"
#include "support/test_support.h"

namespace kbx::test {

class RecordingPresenter : public session::Presenter {
public:
    void Present(const std::string& file) override { presented.push_back(file); }
    std::vector<std::string> presented;
};

struct SummaryFakeRun {
    PlatformGuard guard;
    TempDir dir;
    EnvGuard temp{"TEMP", dir.path().string()};
    std::shared_ptr<fake::FakeApplication> app = std::make_shared<fake::FakeApplication>();
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    std::string templatePath = dir.file("summary-template.xlsx");
    std::string outputPath = dir.file("summary.xlsx");
    int applicationsMade = 0;

    // Layout: captions in row 1, the position row 2, a note in row 9.
    static void standardLayout(fake::FakeWorkbook& book) {
        fake::FakeSheet& sheet = book.addSheet("Layout");
        const std::vector<std::string> heads = {"$head:posnr", "$head:qty", "$head:bmp"};
        const std::vector<std::string> positions = {"$pos:posnr", "$pos:QTY", "$pos:bmp"};
        for (size_t i = 0; i < heads.size(); ++i) {
            sheet.put(1, static_cast<int32_t>(i) + 1, Variant(heads[i]));
            sheet.put(2, static_cast<int32_t>(i) + 1, Variant(positions[i]));
        }
        sheet.put(2, 4, Variant("$pos:unknown"));
        sheet.cell(2, 1).font[sheet::FontProperty::Italic] = Variant(true);
        sheet.put(9, 1, Variant("note"));
    }

    SummaryFakeRun() {
        session::platform().createApplication = [this] {
            ++applicationsMade;
            return std::static_pointer_cast<sheet::Application>(app);
        };
        session::platform().presenter = presenter;
        std::ofstream(templatePath) << "template";
        app->addTemplate(templatePath, standardLayout);
    }

    // Records of (posnr, qty, bmp).
    Variant run(const std::vector<std::vector<Variant>>& records, int32_t posPerSheet,
                std::vector<std::string> fields = {"posnr", "qty", "bmp"}) {
        std::vector<Variant> names(fields.begin(), fields.end());
        std::vector<Variant> captions;
        for (const std::string& field : fields) captions.emplace_back("Caption " + field);
        std::vector<Variant> values;
        for (const auto& record : records) values.insert(values.end(), record.begin(), record.end());
        KestDBBomExcel server;
        return server.CreateSummaryExcel(Variant::array(names), Variant::array(captions), Variant::array(values),
                                         static_cast<int32_t>(fields.size()), templatePath, outputPath, 3, 4,
                                         posPerSheet);
    }

    fake::FakeWorkbook& book() { return *app->opened.back(); }
    std::vector<std::string> logLines() const { return readLines(dir.file("KestDBBomEx.log")); }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& m : guard.messages->shown) texts.push_back(m.text);
        return texts;
    }
};

inline std::vector<Variant> item(int n, double qty, const std::string& picture = "") {
    return {Variant(int32_t{n}), Variant(qty), Variant(picture)};
}

}  // namespace kbx::test
