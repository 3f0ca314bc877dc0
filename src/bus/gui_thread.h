#pragma once
// Method work runs on the service's worker thread, but windows belong to the
// GUI thread. These wrappers carry a message box or the options dialog over
// to the GUI thread and let the worker wait for the answer. Once the host of
// the running call has left, nothing is shown any more.

#include <functional>
#include <memory>

#include "dialog/bom_options_dialog.h"
#include "session/platform.h"

namespace kbx::bus {

// Runs `work` on the GUI thread and waits for it; directly when called there
// or when no application object exists. An exception of `work` is thrown
// again to the caller.
void runOnGuiThread(const std::function<void()>& work);

// Shows messages through `inner` on the GUI thread. A message of a call whose
// host has left goes to standard error only.
class GuiThreadMessagePort : public session::MessagePort {
public:
    explicit GuiThreadMessagePort(std::shared_ptr<session::MessagePort> inner);
    void Show(const std::string& text, const std::string& caption, session::MessageIcon icon) override;

private:
    std::shared_ptr<session::MessagePort> inner_;
};

// A dialog factory whose dialogs are made and shown on the GUI thread. For a
// call whose host has left the dialog is not shown and answers Cancel.
dialog::BomOptionsDialogFactory shownOnGuiThread(dialog::BomOptionsDialogFactory factory);

}  // namespace kbx::bus
