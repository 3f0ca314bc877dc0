#include "dialog/bom_options_dialog.h"

#include <glob.h>
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

bool HeadlessBomOptionsDialog::ShowModal(BomOptions&) {
    session::showMessage(kNoDisplayMessage);
    return false;
}

AnsweredBomOptionsDialog::AnsweredBomOptionsDialog(std::string templatePath, int32_t reverse, int32_t embed)
    : templatePath_(std::move(templatePath)), reverse_(reverse), embed_(embed) {}

bool AnsweredBomOptionsDialog::ShowModal(BomOptions& options) {
    options.templatePath = templatePath_;
    options.reverse = reverse_;
    options.embed = embed_;
    return true;
}

bool templatePatternMatches(const std::string& pattern) {
    if (pattern.empty() || pattern.find('\0') != std::string::npos) return false;
    glob_t found{};
    // GLOB_PERIOD is not set, so wildcards skip dot files; explicit dot names
    // are filtered below.
    const int status = ::glob(pattern.c_str(), GLOB_NOSORT, nullptr, &found);
    bool match = false;
    if (status == 0) {
        for (std::size_t i = 0; i < found.gl_pathc && !match; ++i) {
            const char* path = found.gl_pathv[i];
            match = !isHiddenName(path) && isRegularFile(path);
        }
    }
    ::globfree(&found);
    return match;
}

}  // namespace kbx::dialog
