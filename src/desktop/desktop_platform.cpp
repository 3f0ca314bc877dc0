#include "desktop/desktop_platform.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
#include <cstdlib>
#include <iostream>

namespace kbx::desktop {

namespace {

bool environmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool desktopSessionExists() { return environmentSet("DISPLAY") || environmentSet("WAYLAND_DISPLAY"); }

}  // namespace

void chooseQtPlatform() {
    if (!desktopSessionExists() && !environmentSet("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

bool hasDisplay() {
    if (!desktopSessionExists() || qGuiApp == nullptr) return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

QtMessagePort::QtMessagePort(HeadlessMessageListener listener) : listener_(std::move(listener)) {}

void QtMessagePort::Show(const std::string& text, const std::string& caption, session::MessageIcon icon) {
    if (!hasDisplay()) {
        std::cerr << caption << ": " << text << std::endl;
        if (listener_) listener_(text, caption);
        return;
    }
    QMessageBox box(icon == session::MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

// The viewer is started detached (its own session, reaped at once) with the
// file name byte for byte: Qt's process arguments would replace bytes of a
// name that is not UTF-8.
void DesktopPresenter::Present(const std::string& file) {
    if (!hasDisplay()) return;
    const char* viewer = std::getenv("KESTBOMEX_VIEWER");
    const std::string program = viewer != nullptr && *viewer != '\0' ? viewer : "xdg-open";
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        if (::fork() == 0) {
            ::execlp(program.c_str(), program.c_str(), file.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    if (child > 0) ::waitpid(child, nullptr, 0);
}

void installDesktopPlatform(HeadlessMessageListener listener) {
    session::platform().messages = std::make_shared<QtMessagePort>(std::move(listener));
    session::platform().presenter = std::make_shared<DesktopPresenter>();
}

}  // namespace kbx::desktop
