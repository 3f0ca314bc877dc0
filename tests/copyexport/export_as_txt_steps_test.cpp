// ExportAsTxt / ExportAsTxt2 against a recording spreadsheet application:
// the order and arguments of their steps, the status codes for steps that
// yield no object, and errors that end the call.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "automation/kest_db_bom_excel.h"
#include "copyexport/export_as_txt.h"
#include "session/excel_references.h"
#include "sheet/application.h"
#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx::test {
namespace {

using Calls = std::vector<std::string>;

std::string describe(const Variant& v) {
    switch (v.type()) {
        case VarType::Boolean:
            return v.asBoolean() ? "True" : "False";
        case VarType::Integer:
            return std::to_string(v.asInteger());
        case VarType::Long:
            return std::to_string(v.asLong());
        default:
            return "?";
    }
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// What the fake objects do at each step; a set function raises or yields nothing.
struct Script {
    bool openYieldsNothing = false;
    bool itemYieldsNothing = false;
    std::function<void()> onOpen;
    std::function<void()> onSave;
};

class FakeSheet : public sheet::Worksheet {
public:
    FakeSheet(std::string name, Calls& calls) : name_(std::move(name)), calls_(calls) {}
    std::string Name() const override { return name_; }
    void SetName(const std::string&) override { calls_.push_back("SetName"); }
    void Activate() override { calls_.push_back("Activate " + name_); }
    void Copy(sheet::Worksheet&) override { calls_.push_back("Copy"); }
    void SetAutoFilterMode(bool) override { calls_.push_back("SetAutoFilterMode"); }
    std::shared_ptr<sheet::Range> Cells(int32_t, int32_t) override { raise(err::ActionNotSupported); }
    std::shared_ptr<sheet::Range> Columns(int32_t) override { raise(err::ActionNotSupported); }
    std::shared_ptr<sheet::Range> UsedRange() override { raise(err::ActionNotSupported); }
    sheet::Pictures& GetPictures() override { raise(err::ActionNotSupported); }
    sheet::Shapes& GetShapes() override { raise(err::ActionNotSupported); }

private:
    std::string name_;
    Calls& calls_;
};

class FakeSheets : public sheet::Sheets {
public:
    FakeSheets(Calls& calls, const Script& script) : calls_(calls), script_(script) {
        for (const char* name : {"Kopf", "Liste", "Notizen"})
            sheets_.push_back(std::make_shared<FakeSheet>(name, calls));
    }
    int32_t Count() const override { return static_cast<int32_t>(sheets_.size()); }
    std::shared_ptr<sheet::Worksheet> Item(int32_t index) override {
        if (index < 1 || index > Count()) raise(err::SubscriptOutOfRange);
        return sheets_[static_cast<size_t>(index - 1)];
    }
    std::shared_ptr<sheet::Worksheet> Item(const std::string& name) override {
        calls_.push_back("Item " + name);
        if (script_.itemYieldsNothing) return nullptr;
        for (const auto& s : sheets_)
            if (lower(s->Name()) == lower(name)) return s;
        raise(err::SubscriptOutOfRange);
    }

private:
    Calls& calls_;
    const Script& script_;
    std::vector<std::shared_ptr<FakeSheet>> sheets_;
};

class FakeBook : public sheet::Workbook {
public:
    FakeBook(Calls& calls, const Script& script) : calls_(calls), script_(script), sheets_(calls, script) {}
    sheet::Sheets& GetSheets() override { return sheets_; }
    std::shared_ptr<sheet::Worksheet> ActiveSheet() override { return sheets_.Item(3); }
    std::string FullName() const override { return "/fake/source.xlsx"; }
    void Save() override { calls_.push_back("Save"); }
    void SaveAs(const std::string& file, std::optional<int32_t> format) override {
        calls_.push_back("SaveAs " + file + " " + (format ? std::to_string(*format) : "-"));
        if (script_.onSave) script_.onSave();
    }
    void SaveCopyAs(const std::string& file) override {
        calls_.push_back("SaveCopyAs " + file);
        if (script_.onSave) script_.onSave();
    }
    void Close(bool saveChanges) override {
        calls_.push_back(std::string("Close ") + (saveChanges ? "True" : "False"));
    }

private:
    Calls& calls_;
    const Script& script_;
    FakeSheets sheets_;
};

class FakeWorkbooks : public sheet::Workbooks {
public:
    FakeWorkbooks(Calls& calls, const Script& script, std::weak_ptr<sheet::Workbook>& opened)
        : calls_(calls), script_(script), opened_(opened) {}
    std::shared_ptr<sheet::Workbook> Open(const std::string& file, const Variant& updateLinks, bool readOnly) override {
        calls_.push_back("Open " + file + " " + describe(updateLinks) + " " + (readOnly ? "True" : "False"));
        if (script_.onOpen) script_.onOpen();
        if (script_.openYieldsNothing) return nullptr;
        auto book = std::make_shared<FakeBook>(calls_, script_);
        opened_ = book;
        return book;
    }
    std::shared_ptr<sheet::Workbook> Add() override {
        calls_.push_back("Add");
        return nullptr;
    }
    int32_t Count() const override { return 0; }

private:
    Calls& calls_;
    const Script& script_;
    std::weak_ptr<sheet::Workbook>& opened_;
};

class FakeApplication : public sheet::Application {
public:
    FakeApplication(Calls& calls, const Script& script, std::weak_ptr<sheet::Workbook>& opened)
        : calls_(calls), workbooks_(calls, script, opened) {}
    sheet::Workbooks& GetWorkbooks() override { return workbooks_; }
    Variant Get(sheet::AppSetting) const override { return Variant(false); }
    void Set(sheet::AppSetting, const Variant&) override { calls_.push_back("Set"); }
    int32_t Calculation() const override { return sheet::xl::CalculationAutomatic; }
    void SetCalculation(int32_t) override { calls_.push_back("SetCalculation"); }
    void Calculate() override { calls_.push_back("Calculate"); }
    std::string Version() const override { return "16.0"; }
    std::shared_ptr<sheet::Selection> GetSelection() override { return nullptr; }
    void Quit() override { calls_.push_back("Quit"); }

private:
    Calls& calls_;
    FakeWorkbooks workbooks_;
};

// Installs the recording application as the platform's factory.
struct FakeExcel {
    PlatformGuard platformGuard;
    Calls calls;
    Script script;
    int created = 0;
    std::weak_ptr<sheet::Application> app;
    std::weak_ptr<sheet::Workbook> book;

    FakeExcel() {
        session::platform().createApplication = [this] {
            ++created;
            auto made = std::make_shared<FakeApplication>(calls, script, book);
            app = made;
            return made;
        };
    }
    bool everythingReleased() const { return app.expired() && book.expired(); }
};

TEST(CopyExportSteps, ExportAsTxtOpensReadOnlyCopiesClosesAndReturnsTrue) {
    FakeExcel excel;
    KestDBBomExcel server;
    EXPECT_EQ(server.ExportAsTxt("/data/bom.xlsx", "/out/bom copy.txt"), -1);
    EXPECT_EQ(excel.calls, (Calls{"Open /data/bom.xlsx 2 True", "SaveCopyAs /out/bom copy.txt", "Close False"}));
    EXPECT_EQ(excel.created, 1);
    EXPECT_TRUE(excel.everythingReleased());
    EXPECT_TRUE(excel.platformGuard.messages->shown.empty());
}

TEST(CopyExportSteps, ExportAsTxt2ActivatesTheSheetThenSavesAsTextAndCloses) {
    FakeExcel excel;
    KestDBBomExcel server;
    EXPECT_EQ(server.ExportAsTxt2("/data/bom.xlsx", "/out/liste.txt", "Liste"), 0);
    EXPECT_EQ(excel.calls, (Calls{"Open /data/bom.xlsx False True", "Item Liste", "Activate Liste",
                                  "SaveAs /out/liste.txt 20", "Close False"}));
    EXPECT_TRUE(excel.everythingReleased());
    EXPECT_TRUE(excel.platformGuard.messages->shown.empty());

    // Each call has an application of its own.
    EXPECT_EQ(server.ExportAsTxt2("/data/bom.xlsx", "/out/kopf.txt", "kopf"), 0);
    EXPECT_EQ(excel.created, 2);
    EXPECT_EQ(excel.calls.at(7), "Activate Kopf");
}

TEST(CopyExportSteps, NoApplicationObject) {
    FakeExcel excel;
    session::platform().createApplication = [] { return std::shared_ptr<sheet::Application>(); };
    KestDBBomExcel server;

    EXPECT_EQ(server.ExportAsTxt("/data/bom.xlsx", "/out/copy.xlsx"), -1);
    ASSERT_EQ(excel.platformGuard.messages->shown.size(), 1u);
    const ShownMessage& shown = excel.platformGuard.messages->shown.front();
    EXPECT_EQ(shown.text, "Excel kann nicht erreicht werden....");
    EXPECT_EQ(shown.caption, "KestBomEx");
    EXPECT_EQ(shown.icon, session::MessageIcon::None);

    EXPECT_EQ(server.ExportAsTxt2("/data/bom.xlsx", "/out/liste.txt", "Liste"), -1);
    EXPECT_EQ(excel.platformGuard.messages->shown.size(), 1u) << "ExportAsTxt2 shows no message";
}

TEST(CopyExportSteps, StatusCodesNameTheStepThatYieldedNoObject) {
    KestDBBomExcel server;
    {
        FakeExcel excel;
        excel.script.openYieldsNothing = true;
        EXPECT_EQ(server.ExportAsTxt2("/data/bom.xlsx", "/out/liste.txt", "Liste"), -2);
        EXPECT_EQ(excel.calls, (Calls{"Open /data/bom.xlsx False True"}));
        EXPECT_TRUE(excel.everythingReleased());

        // ExportAsTxt does not check the workbook: using nothing fails cleanly.
        EXPECT_EQ(errorOf([&] { server.ExportAsTxt("/data/bom.xlsx", "/out/copy.xlsx"); }).number(), err::ObjectNotSet);
        EXPECT_TRUE(excel.everythingReleased());
    }
    {
        FakeExcel excel;
        excel.script.itemYieldsNothing = true;
        EXPECT_EQ(server.ExportAsTxt2("/data/bom.xlsx", "/out/liste.txt", "Liste"), -3);
        EXPECT_EQ(excel.calls, (Calls{"Open /data/bom.xlsx False True", "Item Liste"}));
        EXPECT_TRUE(excel.everythingReleased());
    }
}

TEST(CopyExportSteps, ErrorsEndTheCallWithoutClosingOrQuitting) {
    KestDBBomExcel server;
    {
        FakeExcel excel;
        excel.script.onOpen = [] { raise(err::FileNotFound, "File not found: '/data/none.xlsx'"); };
        const RuntimeError first = errorOf([&] { server.ExportAsTxt("/data/none.xlsx", "/out/copy.xlsx"); });
        EXPECT_EQ(first.number(), err::FileNotFound);
        EXPECT_EQ(first.description(), "File not found: '/data/none.xlsx'");
        EXPECT_EQ(errorOf([&] { server.ExportAsTxt2("/data/none.xlsx", "/out/l.txt", "Liste"); }).number(),
                  err::FileNotFound);
        EXPECT_TRUE(excel.everythingReleased());
    }
    {
        FakeExcel excel;
        excel.script.onSave = [] { raise(err::PermissionDenied); };
        EXPECT_EQ(errorOf([&] { server.ExportAsTxt("/data/bom.xlsx", "/ro/copy.xlsx"); }).number(),
                  err::PermissionDenied);
        EXPECT_EQ(errorOf([&] { server.ExportAsTxt2("/data/bom.xlsx", "/ro/l.txt", "Liste"); }).number(),
                  err::PermissionDenied);
        EXPECT_EQ(excel.calls,
                  (Calls{"Open /data/bom.xlsx 2 True", "SaveCopyAs /ro/copy.xlsx", "Open /data/bom.xlsx False True",
                         "Item Liste", "Activate Liste", "SaveAs /ro/l.txt 20"}));
        EXPECT_TRUE(excel.everythingReleased());
    }
    {
        FakeExcel excel;
        EXPECT_EQ(errorOf([&] { server.ExportAsTxt2("/data/bom.xlsx", "/out/l.txt", "Fehlt"); }).number(),
                  err::SubscriptOutOfRange);
        EXPECT_EQ(excel.calls, (Calls{"Open /data/bom.xlsx False True", "Item Fehlt"}));
    }
    {
        FakeExcel excel;
        session::platform().createApplication = []() -> std::shared_ptr<sheet::Application> {
            raise(err::CannotCreateObject);
        };
        EXPECT_EQ(errorOf([&] { server.ExportAsTxt("/data/bom.xlsx", "/out/c.xlsx"); }).number(),
                  err::CannotCreateObject);
        EXPECT_EQ(errorOf([&] { server.ExportAsTxt2("/data/bom.xlsx", "/out/c.txt", "Liste"); }).number(),
                  err::CannotCreateObject);
        EXPECT_TRUE(excel.platformGuard.messages->shown.empty());
    }
}

TEST(CopyExportSteps, SharedReferencesAndApplicationSettingsAreLeftAlone) {
    FakeExcel excel;
    Calls otherCalls;
    Script otherScript;
    std::weak_ptr<sheet::Workbook> otherOpened;
    auto sharedApp = std::make_shared<FakeApplication>(otherCalls, otherScript, otherOpened);
    auto sharedBook = std::make_shared<FakeBook>(otherCalls, otherScript);
    session::excelReferences().ExcelApp = sharedApp;
    session::excelReferences().ExcelBook = sharedBook;

    KestDBBomExcel server;
    EXPECT_EQ(server.ExportAsTxt("/data/bom.xlsx", "/out/c.xlsx"), -1);
    EXPECT_EQ(server.ExportAsTxt2("/data/bom.xlsx", "/out/c.txt", "Liste"), 0);
    EXPECT_EQ(session::excelReferences().ExcelApp, sharedApp);
    EXPECT_EQ(session::excelReferences().ExcelBook, sharedBook);
    EXPECT_TRUE(otherCalls.empty());
    for (const std::string& call : excel.calls) {
        EXPECT_NE(call, "Quit");
        EXPECT_NE(call, "Set");
        EXPECT_NE(call, "SetCalculation");
    }
}

}  // namespace
}  // namespace kbx::test
