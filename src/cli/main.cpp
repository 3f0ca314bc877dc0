// kestbomex: runs the methods of KestDBBomExcel from the command line, in
// this process. With --bus the same command line is handed to
// kestbomex-remote, installed beside this program, which calls the service;
// so this program itself never links the bus.

#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string_view>

#include "automation/kest_db_bom_excel.h"
#include "cli/byte_text.h"
#include "cli/commands.h"
#include "engine/engine.h"
#include "session/platform.h"

namespace {

bool asksForBus(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--bus") return true;
    return false;
}

// Replaces this process with kestbomex-remote; returns only when it cannot be started.
int runRemote(char** argv) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path remote = self.parent_path() / "kestbomex-remote";
    ::execv(remote.c_str(), argv);
    std::cout << R"({"error":{"number":429,"description":"ActiveX component can't create object: )"
              << "cannot start " << remote.string() << " for --bus: " << std::strerror(errno) << "\"}}\n";
    return kbx::cli::kExitRuntimeError;
}

}  // namespace

int main(int argc, char** argv) {
    if (asksForBus(argc, argv)) return runRemote(argv);
    kbx::session::installSpreadsheet(kbx::engine::createApplication);
    QCoreApplication app(argc, argv);
    // The arguments as given, byte for byte (Qt's own decoding would replace
    // bytes that are not UTF-8).
    QStringList args;
    for (int i = 1; i < argc; ++i) args << kbx::cli::textFromBytes(argv[i]);
    kbx::automation::KestDBBomExcel object;
    return kbx::cli::runCommandLine(
        args, std::cin, std::cout, std::cerr,
        [&object](const kbx::automation::MethodSpec& method, const std::vector<kbx::Variant>& arguments) {
            return kbx::automation::invokeMethod(object, method, arguments);
        });
}
