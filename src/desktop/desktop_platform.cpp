#include "desktop/desktop_platform.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
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

void DesktopPresenter::Present(const std::string& file) {
    if (!hasDisplay()) return;
    const char* viewer = std::getenv("KESTBOMEX_VIEWER");
    const QString program = viewer != nullptr && *viewer != '\0' ? QString::fromLocal8Bit(viewer) : "xdg-open";
    QProcess::startDetached(program, {QString::fromStdString(file)});
}

void installDesktopPlatform(HeadlessMessageListener listener) {
    session::platform().messages = std::make_shared<QtMessagePort>(std::move(listener));
    session::platform().presenter = std::make_shared<DesktopPresenter>();
}

}  // namespace kbx::desktop
