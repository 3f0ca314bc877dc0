#pragma once
// The options dialog of GetBomParams shown as the Qt form frm_bom_opts.

#include "dialog/bom_options_dialog.h"

namespace kbx::dialog {

class QtBomOptionsDialog : public BomOptionsDialog {
public:
    bool ShowModal(BomOptions& options) override;
};

// Makes GetBomParams show the Qt form (needs a QApplication).
void installQtBomOptionsDialog();

}  // namespace kbx::dialog
