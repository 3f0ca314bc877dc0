#include "session/platform.h"

#include <iostream>

#include "value/runtime_error.h"

namespace kbx::session {

namespace {

struct InstalledSpreadsheet {
    ApplicationFactory factory;
    std::function<void()> closeUnreachable;
};

InstalledSpreadsheet& installedSpreadsheet() {
    static InstalledSpreadsheet installed;
    return installed;
}

Platform makeDefaultPlatform() {
    Platform p;
    p.createApplication = installedSpreadsheet().factory;
    p.closeUnreachable = installedSpreadsheet().closeUnreachable;
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

void installSpreadsheet(ApplicationFactory factory, std::function<void()> closeUnreachable) {
    installedSpreadsheet() = {std::move(factory), std::move(closeUnreachable)};
    platform().createApplication = installedSpreadsheet().factory;
    platform().closeUnreachable = installedSpreadsheet().closeUnreachable;
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

void closeUnreachableApplications() noexcept {
    if (!platform().closeUnreachable) return;
    try {
        platform().closeUnreachable();
    } catch (...) {
        // Nothing can reach these workbooks: failing to close one only keeps its memory.
    }
}

void StderrMessagePort::Show(const std::string& text, const std::string& caption, MessageIcon) {
    std::cerr << caption << ": " << text << std::endl;
}

}  // namespace kbx::session
