// kestbomex-remote: the command line of kestbomex with every method called
// through the service on the session bus (kestbomex runs it for --bus).

#include <QCoreApplication>
#include <iostream>

#include "bus/bus_client.h"
#include "cli/byte_text.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The arguments as given, byte for byte (Qt's own decoding would replace
    // bytes that are not UTF-8).
    QStringList args;
    for (int i = 1; i < argc; ++i) args << kbx::cli::textFromBytes(argv[i]);
    return kbx::cli::runCommandLine(args, std::cin, std::cout, std::cerr, kbx::bus::callOverBus);
}
