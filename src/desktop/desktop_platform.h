#pragma once
// The Qt edge of the platform: message boxes when a display exists, the
// headless message port otherwise, and the presenter that hands a saved
// workbook to the desktop's spreadsheet program.

#include <functional>
#include <string>

#include "session/platform.h"

namespace kbx::desktop {

// Called for every message shown without a display (the bus turns it into
// the MessageShown signal).
using HeadlessMessageListener = std::function<void(const std::string& text, const std::string& caption)>;

// Picks the offscreen Qt platform when neither DISPLAY nor WAYLAND_DISPLAY is
// set, so that a QApplication can be created anywhere. Call before it is.
void chooseQtPlatform();

// True when windows can really be shown: a desktop session exists and Qt does
// not run on the offscreen or minimal platform (as in every test).
bool hasDisplay();

// With a display a modal message box with an OK button; without one the text
// goes to standard error and to the listener, and the call goes on.
class QtMessagePort : public session::MessagePort {
public:
    explicit QtMessagePort(HeadlessMessageListener listener = {});
    void Show(const std::string& text, const std::string& caption, session::MessageIcon icon) override;

private:
    HeadlessMessageListener listener_;
};

// Opens a file with the program named by KESTBOMEX_VIEWER, else xdg-open;
// does nothing without a display.
class DesktopPresenter : public session::Presenter {
public:
    void Present(const std::string& file) override;
};

// Installs the Qt message port and the desktop presenter into the platform.
void installDesktopPlatform(HeadlessMessageListener listener = {});

}  // namespace kbx::desktop
