// kestbomex-server: the class KestDBBomExcel as a service on the session bus.
//   kestbomex-server               serve (D-Bus activation starts it this way)
//   kestbomex-server --register    install the activation file for this user
//   kestbomex-server --unregister  remove it

#include <QApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMetaType>
#include <QFile>
#include <QTimer>
#include <iostream>

#include "bus/bus_names.h"
#include "bus/bus_object.h"
#include "bus/gui_thread.h"
#include "bus/registration.h"
#include "desktop/desktop_platform.h"
#include "dialog/qt/qt_bom_options_dialog.h"
#include "engine/engine.h"
#include "kest_db_bom_excel_adaptor.h"
#include "session/platform.h"
#include "value/runtime_error.h"
#include "xlsbridge/format_bridge.h"

namespace {

// A server started by activation whose host never calls gives up after this.
constexpr int kFirstCallWaitMs = 120 * 1000;
// After giving up the bus name, calls the bus had already routed here still
// arrive; they are served before the process ends.
constexpr int kLeaveGraceMs = 500;

QString interfaceXml() {
    QFile file(":/kestbomex/KestBomEx._KestDBBomExcel.xml");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int registerCommand(bool install) {
    try {
        const std::string executable = QCoreApplication::applicationFilePath().toStdString();
        const kbx::bus::RegistrationPaths paths =
            install ? kbx::bus::registerServer(executable, interfaceXml().toStdString()) : kbx::bus::unregisterServer();
        std::cout << (install ? "registered: " : "unregistered: ") << paths.serviceFile << "\n";
        return 0;
    } catch (const kbx::RuntimeError& error) {
        std::cerr << "kestbomex-server: " << error.description() << "\n";
        return 1;
    }
}

int serve(QApplication& app) {
    qRegisterMetaType<QDBusVariant>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::cerr << "kestbomex-server: no session bus: " << bus.lastError().message().toStdString() << "\n";
        return 1;
    }
    kbx::bus::BusObject object(bus);
    new KestDBBomExcelAdaptor(&object);
    if (!bus.registerObject(kbx::bus::kObjectPath, &object)) {
        std::cerr << "kestbomex-server: cannot register " << kbx::bus::kObjectPath << "\n";
        return 1;
    }
    // Methods run on the object's worker thread; message boxes and the
    // options dialog are carried over to this thread.
    kbx::desktop::installDesktopPlatform([&object](const std::string& text, const std::string& caption) {
        object.sendMessageShown(QString::fromStdString(text), QString::fromStdString(caption));
    });
    kbx::session::platform().messages = std::make_shared<kbx::bus::GuiThreadMessagePort>(kbx::session::platform().messages);
    if (kbx::desktop::hasDisplay())
        kbx::dialog::setBomOptionsDialogFactory(
            kbx::bus::shownOnGuiThread([] { return std::make_unique<kbx::dialog::QtBomOptionsDialog>(); }));
    else
        kbx::dialog::setBomOptionsDialogFactory(
            kbx::bus::shownOnGuiThread([] { return std::make_unique<kbx::dialog::HeadlessBomOptionsDialog>(); }));

    // When the last host has left, the name is released first, so that a call
    // made from now on activates a fresh server instead of reaching one that
    // is about to end.
    auto leaveWhenIdle = [&bus, &object, &app] {
        if (!object.idle()) return;
        bus.unregisterService(kbx::bus::kServiceName);
        QTimer::singleShot(kLeaveGraceMs, &app, [&object, &app] {
            if (object.idle()) app.quit();
        });
    };
    QObject::connect(&object, &kbx::bus::BusObject::lastHostLeft, &app, leaveWhenIdle);
    bus.connect(QString(), "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local", "Disconnected", &app,
                SLOT(quit()));
    QTimer::singleShot(kFirstCallWaitMs, &app, leaveWhenIdle);
    // The LibreOffice that converts .xls and .ods stays warm between calls.
    kbx::xlsbridge::endConverterWhenIdle(kbx::xlsbridge::converterIdleLimit());
    if (!bus.registerService(kbx::bus::kServiceName)) {
        std::cerr << "kestbomex-server: cannot own " << kbx::bus::kServiceName << ": "
                  << bus.lastError().message().toStdString() << "\n";
        return 1;
    }
    return app.exec();
}

constexpr const char* kUsage =
    "Usage: kestbomex-server [--register | --unregister]\n"
    "  or:  kestbomex-server --help | --version\n";

constexpr const char* kDescription =
    "Serves the class KestDBBomExcel on the session bus: bus name\n"
    "KestBomEx.KestDBBomExcel, object /KestDBBomExcel, interface\n"
    "KestBomEx._KestDBBomExcel. D-Bus activation starts it on the first call. It\n"
    "runs the calls one at a time in arrival order and exits when the last host\n"
    "that called it has left the bus. Without a display, message boxes go to\n"
    "standard error and to the signal MessageShown.\n"
    "\n"
    "      --register      install the activation file and the interface\n"
    "                      description for this user in $XDG_DATA_HOME/dbus-1\n"
    "                      (default ~/.local/share/dbus-1), naming this program\n"
    "      --unregister    remove both\n"
    "  -h, --help          print this help and exit\n"
    "      --version       print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0   the last host has left, or the option's work is done\n"
    "  1   no session bus, the bus name is taken, or the files cannot be written\n"
    "  2   an unknown argument\n";

}  // namespace

int main(int argc, char** argv) {
    // Help and version need no display and no bus.
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h" || first == "--version") {
        if (first == "--version")
            std::cout << "kestbomex-server " KBX_VERSION "\n";
        else
            std::cout << kUsage << kDescription;
        return 0;
    }
    if (argc > 1 && first != "--register" && first != "--unregister") {
        std::cerr << "kestbomex-server: unknown argument '" << first << "'\n" << kUsage;
        return 2;
    }
    kbx::session::installSpreadsheet(kbx::engine::createApplication);
    kbx::desktop::chooseQtPlatform();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (first == "--register") return registerCommand(true);
    if (first == "--unregister") return registerCommand(false);
    return serve(app);
}
