#pragma once
// The engine's Application: its settings and its Workbooks collection, over
// the root that holds everything the application holds (engine_root.h). The
// handles it gives out share the ownership of the application, so it lives
// as long as it or anything it handed out is held.

#include <array>
#include <memory>
#include <string>

#include "engine/engine_root.h"
#include "sheet/application.h"

namespace kbx::engine {

class EngineApplication final : public sheet::Application,
                                public sheet::Workbooks,
                                public std::enable_shared_from_this<EngineApplication> {
public:
    EngineApplication();

    // sheet::Application
    sheet::Workbooks& GetWorkbooks() override { return *this; }
    Variant Get(sheet::AppSetting setting) const override;
    void Set(sheet::AppSetting setting, const Variant& value) override;
    int32_t Calculation() const override { return calculation_; }
    void SetCalculation(int32_t mode) override;
    void Calculate() override { root_.calculateAll(); }
    std::string Version() const override { return "16.0"; }
    std::shared_ptr<sheet::Selection> GetSelection() override;
    void Quit() override { root_.closeAll(); }

    // sheet::Workbooks
    std::shared_ptr<sheet::Workbook> Open(const std::string& file, const Variant& updateLinks, bool readOnly) override;
    std::shared_ptr<sheet::Workbook> Add() override;
    int32_t Count() const override { return static_cast<int32_t>(root_.openCount()); }

private:
    // The root for a handle: it keeps this application alive.
    std::shared_ptr<EngineRoot> rootForHandle() { return std::shared_ptr<EngineRoot>(shared_from_this(), &root_); }

    std::array<bool, 7> settings_;
    int32_t calculation_ = sheet::xl::CalculationAutomatic;
    EngineRoot root_;
};

}  // namespace kbx::engine
