#include "app/command_line.h"
#include "app/modes.h"
#include "version.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kApplicationVersion));

    QCommandLineParser parser;
    const auto parsed = parseCommandLine(parser, QCoreApplication::arguments());
    if (const QString* error = std::get_if<QString>(&parsed)) {
        std::fprintf(stderr, "%s: %s\n", kApplicationName, qPrintable(*error));
        return 2;
    }
    const CommandLine& options = std::get<CommandLine>(parsed);
    switch (options.mode) {
    case CommandLine::Mode::Help:
        parser.showHelp(0);
    case CommandLine::Mode::Version:
        parser.showVersion();
    case CommandLine::Mode::Once:
        return runOnce(options);
    case CommandLine::Mode::Next:
        return runNext(options);
    case CommandLine::Mode::Default:
        std::fprintf(stderr, "%s: no tray in this version; running in the terminal (see --help)\n",
                     kApplicationName);
        return runTerminal(options);
    case CommandLine::Mode::Terminal:
        return runTerminal(options);
    }
    return 0;
}
