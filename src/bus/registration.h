#pragma once
// Registration for D-Bus activation: the .service file in the user's
// $XDG_DATA_HOME/dbus-1/services (default ~/.local/share) and the
// interface description beside it in dbus-1/interfaces.

#include <string>

namespace kbx::bus {

struct RegistrationPaths {
    std::string serviceFile;    // .../dbus-1/services/KestBomEx.KestDBBomExcel.service
    std::string interfaceFile;  // .../dbus-1/interfaces/KestBomEx._KestDBBomExcel.xml
};

RegistrationPaths registrationPaths();

// The activation file's text for a server executable.
std::string serviceFileText(const std::string& executable);

// Writes both files (creating the folders); raises the file's run-time error.
RegistrationPaths registerServer(const std::string& executable, const std::string& interfaceXml);
// Removes both files; missing files are no error.
RegistrationPaths unregisterServer();

}  // namespace kbx::bus
