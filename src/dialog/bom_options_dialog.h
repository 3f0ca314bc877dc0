#pragma once
// The options dialog as GetBomParams sees it: filled before it is shown,
// read back only after OK. The Qt form implements it; without a display the
// headless stand-in answers as if Cancel had been pressed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kbx::dialog {

// Check box states: 0 unchecked, 1 checked, 2 grayed.
struct BomOptions {
    std::string ExcelExt;      // "XLS", "XLSX", ...: decides the browse filter order
    int32_t embed = 0;         // chk_embed; 0 also locks the box
    int32_t reverse = 0;       // chk_reverse
    std::string templatePath;  // txt_template
};

class BomOptionsDialog {
public:
    virtual ~BomOptionsDialog() = default;
    // Shows the dialog modally. True after OK: `options` then holds what the
    // user left in the controls. False after Cancel or closing the window.
    virtual bool ShowModal(BomOptions& options) = 0;
};

using BomOptionsDialogFactory = std::function<std::unique_ptr<BomOptionsDialog>()>;

// The factory GetBomParams takes its dialog from; the edges install theirs.
void setBomOptionsDialogFactory(BomOptionsDialogFactory factory);
// Back to the headless stand-in.
void resetBomOptionsDialogFactory();
std::unique_ptr<BomOptionsDialog> createBomOptionsDialog();

// Without a display: says so through the message port and answers Cancel.
class HeadlessBomOptionsDialog : public BomOptionsDialog {
public:
    bool ShowModal(BomOptions& options) override;
};

inline constexpr const char* kNoDisplayMessage =
    "The BOM options dialog cannot be shown without a display; GetBomParams ends as if cancelled.";

// The command line's answer: the template path typed into the field and OK
// pressed, the check boxes left as the caller set them. OK refuses a missing
// file like the form does; with nobody to correct it the dialog then ends as
// if cancelled.
class AnsweredBomOptionsDialog : public BomOptionsDialog {
public:
    explicit AnsweredBomOptionsDialog(std::string templatePath);
    bool ShowModal(BomOptions& options) override;

private:
    std::string templatePath_;
};

// The OK button's check: whether the template field names an existing file,
// taken literally (no wildcards). Directories and hidden (dot) files do not
// count.
bool templateFileExists(const std::string& path);
// The OK button's answer to a template that does not exist.
void showInvalidFilename();

}  // namespace kbx::dialog
