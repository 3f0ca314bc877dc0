// kestbomex: runs the methods of KestDBBomExcel from the command line.

#include <QCoreApplication>

#include <iostream>
#include <string>

namespace {

const char* kUsage =
    "Usage: kestbomex COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  call METHOD     run one method; parameters as a JSON object on standard input\n"
    "  --help          show this text\n";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.at(1) == "--help" || args.at(1) == "-h") {
        std::cout << kUsage;
        return args.size() < 2 ? 2 : 0;
    }
    std::cerr << "kestbomex: unknown command '" << args.at(1).toStdString() << "'\n" << kUsage;
    return 2;
}
