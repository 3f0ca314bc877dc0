#include "server/platform.h"

#include <iostream>

#include "ooxml/engine.h"
#include "server/excel_references.h"
#include "value/runtime_error.h"

namespace kbx {

namespace {

Platform makeDefaultPlatform() {
    Platform p;
    p.createApplication = [] { return createEngineApplication(); };
    p.messages = std::make_shared<StderrMessagePort>();
    p.presenter = std::make_shared<NullPresenter>();
    return p;
}

}  // namespace

ExcelReferences& excelReferences() {
    static ExcelReferences references;
    return references;
}

Platform& platform() {
    static Platform p = makeDefaultPlatform();
    return p;
}

void resetPlatform() { platform() = makeDefaultPlatform(); }

void showMessage(const std::string& text) { showMessage(text, kAppTitle, MessageIcon::None); }

void showMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
    platform().messages->Show(text, caption, icon);
}

std::shared_ptr<sheet::Application> createExcelApplication() { return platform().createApplication(); }

void StderrMessagePort::Show(const std::string& text, const std::string& caption, MessageIcon) {
    std::cerr << caption << ": " << text << std::endl;
}

}  // namespace kbx
