#include <gtest/gtest.h>

#include "automation/kest_db_bom_excel.h"
#include "session/excel_references.h"
#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx {
namespace {

// A minimal application object: enough to stand in a reference.
class StandInApplication : public sheet::Application {
public:
    sheet::Workbooks& GetWorkbooks() override { throw RuntimeError(err::ActionNotSupported, "stand-in"); }
    Variant Get(sheet::AppSetting) const override { return Variant(false); }
    void Set(sheet::AppSetting, const Variant&) override {}
    int32_t Calculation() const override { return sheet::xl::CalculationAutomatic; }
    void SetCalculation(int32_t) override {}
    void Calculate() override {}
    std::string Version() const override { return "16.0"; }
    std::shared_ptr<sheet::Selection> GetSelection() override { return nullptr; }
    void Quit() override { quit = true; }
    bool quit = false;
};

TEST(ReleaseExcel, DropsBothReferencesWithoutQuitting) {
    test::PlatformGuard guard;
    KestDBBomExcel server;
    server.ReleaseExcel();  // both empty: no effect
    EXPECT_FALSE(session::excelReferences().ExcelApp);

    auto app = std::make_shared<StandInApplication>();
    session::excelReferences().ExcelApp = app;
    server.ReleaseExcel();
    EXPECT_FALSE(session::excelReferences().ExcelApp);
    EXPECT_FALSE(session::excelReferences().ExcelBook);
    EXPECT_FALSE(app->quit);
    EXPECT_EQ(app.use_count(), 1);  // only this test holds it now
}

TEST(ReleaseExcel, ReferencesAreSharedByEveryInstance) {
    test::PlatformGuard guard;
    auto app = std::make_shared<StandInApplication>();
    {
        KestDBBomExcel first;
        first.ReleaseExcel();
        session::excelReferences().ExcelApp = app;
    }
    KestDBBomExcel second;
    EXPECT_EQ(session::excelReferences().ExcelApp, app);  // releasing an instance keeps them
    second.ReleaseExcel();
    EXPECT_FALSE(session::excelReferences().ExcelApp);
}

}  // namespace
}  // namespace kbx
