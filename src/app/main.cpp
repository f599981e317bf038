#include "app/command_line.h"
#include "app/desktop.h"
#include "app/modes.h"
#include "clock/speech_thread.h"
#include "version.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Everything of ours is closed and saved by now. A speech thread stuck inside the engine may
// still hold locks that exit handlers and static destructors would wait for, or run code they
// would unload: then the process ends here, without them. Only our own streams are flushed:
// fflush(nullptr) would wait for the engine's socket stream, which its stuck reader holds.
int endProcess(int status) {
    if (SpeechThreadOutput::threadsLeftRunning()) {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }
    return status;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kApplicationVersion));
    QCoreApplication::setOrganizationName(QString::fromLatin1(kApplicationName));

    // Parsed before any application object exists: the options decide which kind is needed.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    QCommandLineParser parser;
    const auto parsed = parseCommandLine(parser, arguments);
    if (const QString* error = std::get_if<QString>(&parsed)) {
        std::fprintf(stderr, "%s: %s\n", kApplicationName, qUtf8Printable(*error));
        return 2;
    }
    const CommandLine& options = std::get<CommandLine>(parsed);
    if (options.mode == CommandLine::Mode::Default) {
        return endProcess(runDesktop(argc, argv, options));
    }

    const QCoreApplication app(argc, argv);
    switch (options.mode) {
    case CommandLine::Mode::Help:
        parser.showHelp(0);
    case CommandLine::Mode::Version:
        parser.showVersion();
    case CommandLine::Mode::Once:
        return runOnce(options);
    case CommandLine::Mode::Next:
        return runNext(options);
    case CommandLine::Mode::Terminal:
    case CommandLine::Mode::Default:
        break;
    }
    return endProcess(runTerminal(options));
}
