#pragma once
// A plain export run against the in-memory spreadsheet: a template with a
// cover sheet, the active sheet "BOM" and a second fillable sheet "Other".

#include <fstream>
#include <string>
#include <vector>

#include "automation/kest_db_bom_excel.h"
#include "plainbom/fake_sheet.h"
#include "support/test_support.h"

namespace kbx::test {

// Fields of the standard record, in order.
inline const std::vector<std::string> kPlainFields = {"posnr", "name", "verw1", "verw2", "count", "warn", "bmp"};

// Lays out a fillable BOM sheet: a header block and the position row 3.
inline void layoutBomSheet(fake::FakeSheet& sheet) {
    sheet.put(1, 1, Variant("Title:"));
    sheet.put(1, 2, Variant("$head:title"));
    sheet.put(2, 2, Variant("$HEAD:DrawNo"));
    const std::vector<std::string> row = {"$pos:posnr", "$POS:Name", "$pos:verw1", "$pos:verw2",
                                          "$pos:count", "$pos:warn", "$pos:bmp"};
    for (size_t i = 0; i < row.size(); ++i) {
        fake::CellData& cell = sheet.cell(3, static_cast<int32_t>(i) + 1);
        cell.value = Variant(row[i]);
        cell.font[sheet::FontProperty::Bold] = Variant(true);
        cell.horizontal = Variant(sheet::xl::HAlignCenter);
    }
    sheet.put(3, 9, Variant("$head:drawno"));
}

// One record per entry: values in the order of `fields`.
struct PlainData {
    std::vector<std::string> fields = kPlainFields;
    std::vector<std::vector<Variant>> records;

    Variant posNames() const {
        std::vector<Variant> names;
        for (size_t r = 0; r < records.size(); ++r)
            for (const std::string& field : fields) names.emplace_back(field);
        return Variant::array(names);
    }
    Variant posVals() const {
        std::vector<Variant> values;
        for (const auto& record : records) values.insert(values.end(), record.begin(), record.end());
        return Variant::array(values);
    }
    int32_t recordSize() const { return static_cast<int32_t>(fields.size()); }
};

// Records numbered as given, with a name "P<n>" and nothing else.
inline PlainData numberedRecords(const std::vector<int>& numbers) {
    PlainData data;
    for (int n : numbers)
        data.records.push_back({Variant(int32_t{n}), Variant("P" + std::to_string(n)), Variant(), Variant(), Variant(),
                                Variant(), Variant()});
    return data;
}

struct PlainFakeRun {
    PlatformGuard guard;
    TempDir dir;
    EnvGuard temp{"TEMP", dir.path().string()};
    std::shared_ptr<fake::FakeApplication> app = std::make_shared<fake::FakeApplication>();
    std::string templatePath = dir.file("template.xlsx");
    std::string outputPath = dir.file("out.xlsx");
    int applicationsMade = 0;

    PlainFakeRun() {
        session::platform().createApplication = [this] {
            ++applicationsMade;
            return std::static_pointer_cast<sheet::Application>(app);
        };
        std::ofstream(templatePath) << "template";
        app->addTemplate(templatePath, [](fake::FakeWorkbook& book) {
            book.addSheet("Cover").put(1, 1, Variant("cover"));
            layoutBomSheet(book.addSheet("BOM"));
            layoutBomSheet(book.addSheet("Other"));
            book.active = 1;
        });
    }

    Variant run(const PlainData& data, int32_t posPerSheet, int32_t insertEmptyRows,
                const std::string& targetSheet = "", const std::string& output = "") {
        const Variant headNames = Variant::array({Variant("title"), Variant("drawno")});
        const Variant headVals = Variant::array({Variant("Pump"), Variant(int32_t{4711})});
        KestDBBomExcel server;
        return server.ExportPlain2(headNames, headVals, data.recordSize(), data.posNames(), data.posVals(),
                                   templatePath, output.empty() ? outputPath : output, 0, 0, posPerSheet,
                                   insertEmptyRows, targetSheet);
    }

    fake::FakeWorkbook& book() { return *app->opened.back(); }

    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& m : guard.messages->shown) texts.push_back(m.text);
        return texts;
    }

    std::vector<std::string> logLines() const { return readLines(dir.file("KestDBBomEx.log")); }
};

// Column-1 texts from the position row down to the first empty cell.
inline std::vector<std::string> firstColumnFromRow3(const fake::FakeSheet& sheet) {
    std::vector<std::string> texts;
    for (int32_t row = 3; !sheet.text(row, 1).empty(); ++row) texts.push_back(sheet.text(row, 1));
    return texts;
}

}  // namespace kbx::test
