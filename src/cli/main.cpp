// kestbomex: runs the methods of KestDBBomExcel from the command line.

#include <QCoreApplication>

#include <iostream>

#include "cli/commands.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    return kbx::cli::runCommandLine(args, std::cin, std::cout, std::cerr);
}
