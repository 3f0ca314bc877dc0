#include "dialog/bom_options_dialog.h"

#include <sys/stat.h>

#include "session/platform.h"

namespace kbx::dialog {

namespace {

BomOptionsDialogFactory& factory() {
    static BomOptionsDialogFactory f;
    return f;
}

bool isHiddenName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return nameStart < path.size() && path[nameStart] == '.';
}

bool isRegularFile(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

void setBomOptionsDialogFactory(BomOptionsDialogFactory f) { factory() = std::move(f); }

void resetBomOptionsDialogFactory() { factory() = nullptr; }

std::unique_ptr<BomOptionsDialog> createBomOptionsDialog() {
    if (factory()) return factory()();
    return std::make_unique<HeadlessBomOptionsDialog>();
}

void showInvalidFilename() { session::showMessage("Invalid filename", "Error", session::MessageIcon::Critical); }

bool HeadlessBomOptionsDialog::ShowModal(BomOptions&) {
    session::showMessage(kNoDisplayMessage);
    return false;
}

AnsweredBomOptionsDialog::AnsweredBomOptionsDialog(std::string templatePath) : templatePath_(std::move(templatePath)) {}

bool AnsweredBomOptionsDialog::ShowModal(BomOptions& options) {
    if (!templateFileExists(templatePath_)) {
        showInvalidFilename();
        return false;
    }
    options.templatePath = templatePath_;
    return true;
}

bool templateFileExists(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    return !isHiddenName(path) && isRegularFile(path.c_str());
}

}  // namespace kbx::dialog
