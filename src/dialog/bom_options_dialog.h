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

// Answers given in advance (command line): OK with these values.
class AnsweredBomOptionsDialog : public BomOptionsDialog {
public:
    AnsweredBomOptionsDialog(std::string templatePath, int32_t reverse, int32_t embed);
    bool ShowModal(BomOptions& options) override;

private:
    std::string templatePath_;
    int32_t reverse_;
    int32_t embed_;
};

// Whether a file matches the template field's text taken as a glob pattern
// ("*", "?"). Directories and hidden (dot) files never match; a pattern that
// cannot be searched counts as no match.
bool templatePatternMatches(const std::string& pattern);

}  // namespace kbx::dialog
