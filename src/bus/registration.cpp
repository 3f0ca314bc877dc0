#include "bus/registration.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bus/bus_names.h"
#include "value/runtime_error.h"

namespace kbx::bus {

namespace {

namespace fs = std::filesystem;

fs::path dataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') raise(err::PathNotFound, "Path not found: neither XDG_DATA_HOME nor HOME is set");
    return fs::path(home) / ".local" / "share";
}

void writeFile(const fs::path& path, const std::string& text) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) raiseFileError(ec.value(), path.parent_path().string());
    const fs::path temporary = path.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) raiseFileError(errno, temporary.string());
        out << text;
        if (!out.flush()) raiseFileError(errno, temporary.string());
    }
    fs::rename(temporary, path, ec);
    if (ec) raiseFileError(ec.value(), path.string());
}

}  // namespace

RegistrationPaths registrationPaths() {
    const fs::path dbus = dataHome() / "dbus-1";
    return {(dbus / "services" / (std::string(kServiceName) + ".service")).string(),
            (dbus / "interfaces" / (std::string(kInterfaceName) + ".xml")).string()};
}

std::string serviceFileText(const std::string& executable) {
    return std::string("[D-BUS Service]\nName=") + kServiceName + "\nExec=" + executable + "\n";
}

RegistrationPaths registerServer(const std::string& executable, const std::string& interfaceXml) {
    const RegistrationPaths paths = registrationPaths();
    writeFile(paths.serviceFile, serviceFileText(executable));
    writeFile(paths.interfaceFile, interfaceXml);
    return paths;
}

RegistrationPaths unregisterServer() {
    const RegistrationPaths paths = registrationPaths();
    std::error_code ignored;
    fs::remove(paths.serviceFile, ignored);
    fs::remove(paths.interfaceFile, ignored);
    return paths;
}

}  // namespace kbx::bus
