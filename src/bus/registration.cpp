#include "bus/registration.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "bus/bus_names.h"
#include "files/atomic_file.h"
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

// Replaces the file in one step, so that the bus never reads half of it.
void writeFile(const fs::path& path, const std::string& text) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) raiseFileError(ec.value(), path.parent_path().string());
    files::replaceFileWith(path.string(), text);
}

// Characters that make an Exec= argument need quotes.
constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";
// Characters that take a backslash inside the quotes.
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

// One Exec= argument: as it is when it holds no reserved character, else in
// double quotes with ", `, $ and \ escaped by a backslash.
std::string quoteExecArgument(const std::string& argument) {
    if (argument.find_first_of(kReservedInExec) == std::string::npos) return argument;
    std::string quoted = "\"";
    for (char c : argument) {
        if (kEscapedInQuotes.find(c) != std::string_view::npos) quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// A key file value: the reader turns \\, \n, \t and \r back into the
// characters, and does so before the Exec= line is split into arguments.
std::string escapeKeyFileValue(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

}  // namespace

RegistrationPaths registrationPaths() {
    const fs::path dbus = dataHome() / "dbus-1";
    return {(dbus / "services" / (std::string(kServiceName) + ".service")).string(),
            (dbus / "interfaces" / (std::string(kInterfaceName) + ".xml")).string()};
}

std::string serviceFileText(const std::string& executable) {
    return std::string("[D-BUS Service]\nName=") + kServiceName + "\nExec=" + escapeKeyFileValue(quoteExecArgument(executable)) + "\n";
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
