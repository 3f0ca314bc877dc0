// kestbomex-remote: the command line of kestbomex with every method called
// through the service on the session bus (kestbomex runs it for --bus).

#include <QCoreApplication>
#include <iostream>

#include "bus/bus_client.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    return kbx::cli::runCommandLine(args, std::cin, std::cout, std::cerr, kbx::bus::callOverBus);
}
