#include "session/platform.h"

#include <iostream>

#include "value/runtime_error.h"

namespace kbx::session {

namespace {

ApplicationFactory& installedSpreadsheet() {
    static ApplicationFactory installed;
    return installed;
}

Platform makeDefaultPlatform() {
    Platform p;
    p.createApplication = installedSpreadsheet();
    p.messages = std::make_shared<StderrMessagePort>();
    p.presenter = std::make_shared<NullPresenter>();
    return p;
}

}  // namespace

Platform& platform() {
    static Platform p = makeDefaultPlatform();
    return p;
}

void resetPlatform() { platform() = makeDefaultPlatform(); }

void installSpreadsheet(ApplicationFactory factory) {
    installedSpreadsheet() = std::move(factory);
    platform().createApplication = installedSpreadsheet();
}

void showMessage(const std::string& text) { showMessage(text, kAppTitle, MessageIcon::None); }

void showMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
    platform().messages->Show(text, caption, icon);
}

std::shared_ptr<sheet::Application> createExcelApplication() {
    if (!platform().createApplication) {
        raise(err::CannotCreateObject,
              standardErrorText(err::CannotCreateObject) + ": no spreadsheet engine is installed in this process");
    }
    return platform().createApplication();
}

void StderrMessagePort::Show(const std::string& text, const std::string& caption, MessageIcon) {
    std::cerr << caption << ": " << text << std::endl;
}

}  // namespace kbx::session
