#include "app/command_line.h"

#include "alarms/base10.h"

#include <QCoreApplication>

namespace {

// Instants that --next can print: years 1 to 9998, so a thousand results stay within year 9999.
constexpr double kEarliestNextInstant = -62135596800.0; // 0001-01-01T00:00:00Z
constexpr double kLatestNextInstant = 253370764800.0;   // 9998-12-31T00:00:00Z

} // namespace

std::variant<CommandLine, QString> parseCommandLine(QCommandLineParser& parser,
                                                    const QStringList& arguments) {
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "A tray clock showing Valdrian time (VT), with a spoken hourly time signal and alarms."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("Print the label \"VT: HH:MM\" and exit."));
    const QCommandLineOption at(
        QStringLiteral("at"),
        QStringLiteral("Use INSTANT instead of now; with --terminal the clock runs on from INSTANT, for "
                       "trying alarms. Seconds since the epoch (e.g. -1.5) or ISO 8601 with a zone (e.g. "
                       "2024-01-01T09:00:00+09:00)."),
        QStringLiteral("INSTANT"));
    const QCommandLineOption next(
        QStringLiteral("next"),
        QStringLiteral("Print the real local times at which the Valdrian clock next "
                       "starts reading HH:MM, one a line."),
        QStringLiteral("HH:MM"));
    const QCommandLineOption count(
        QStringLiteral("count"),
        QStringLiteral("With --next: how many times to print (1-%1, default 1).").arg(kMaxNextCount),
        QStringLiteral("N"));
    const QCommandLineOption terminal(
        QStringLiteral("terminal"), QStringLiteral("Run the clock without a tray: print the label at every "
                                                   "change of the Valdrian minute and speak announcements."));
    const QCommandLineOption speechEngine(
        QStringLiteral("speech-engine"),
        QStringLiteral(
            "How to speak: speechd (default; speech-dispatcher, or the best Qt speech engine when "
            "it can't be reached), qt (the best Qt speech engine), qt:NAME (a named Qt engine, e.g. "
            "qt:speechd), stdout (one line \"LANG<TAB>TEXT\" per utterance) or none."),
        QStringLiteral("ENGINE"), QStringLiteral("speechd"));
    parser.addOptions({once, at, next, count, terminal, speechEngine});

    if (!parser.parse(arguments)) {
        return parser.errorText();
    }
    if (!parser.positionalArguments().isEmpty()) {
        return QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
    }

    CommandLine options;
    if (parser.isSet(help)) {
        options.mode = CommandLine::Mode::Help;
        return options;
    }
    if (parser.isSet(version)) {
        options.mode = CommandLine::Mode::Version;
        return options;
    }

    const int modes = int(parser.isSet(once)) + int(parser.isSet(next)) + int(parser.isSet(terminal));
    if (modes > 1) {
        return QStringLiteral("--once, --next and --terminal can't be combined");
    }
    if (parser.isSet(once)) {
        options.mode = CommandLine::Mode::Once;
    } else if (parser.isSet(next)) {
        options.mode = CommandLine::Mode::Next;
    } else if (parser.isSet(terminal)) {
        options.mode = CommandLine::Mode::Terminal;
    }

    if (parser.isSet(at)) {
        if (options.mode == CommandLine::Mode::Default) {
            return QStringLiteral("--at needs --once, --next or --terminal");
        }
        const QString text = parser.value(at);
        options.at = parseInstant(text);
        if (!options.at) {
            return QStringLiteral("invalid --at \"%1\": expected seconds since the epoch or an ISO 8601 "
                                  "date-time with a zone, within about 14 billion years of 1970")
                .arg(text);
        }
        if (options.mode == CommandLine::Mode::Next &&
            (*options.at < kEarliestNextInstant || *options.at > kLatestNextInstant)) {
            return QStringLiteral(
                       "invalid --at \"%1\": with --next the instant must lie in the years 1 to 9998")
                .arg(text);
        }
    }
    if (parser.isSet(next)) {
        const QString text = parser.value(next);
        const auto hourMinute = parseHourMinute(text);
        if (!hourMinute) {
            return QStringLiteral("invalid --next \"%1\": expected HH:MM from 00:00 to 23:59").arg(text);
        }
        options.next = *hourMinute;
    }
    if (parser.isSet(count)) {
        if (options.mode != CommandLine::Mode::Next) {
            return QStringLiteral("--count needs --next");
        }
        const QString text = parser.value(count);
        const auto n = parseBase10(text);
        if (!n || *n < 1 || *n > kMaxNextCount) {
            return QStringLiteral("invalid --count \"%1\": expected a whole number from 1 to %2")
                .arg(text)
                .arg(kMaxNextCount);
        }
        options.count = int(*n);
    }
    if (parser.isSet(speechEngine)) {
        if (options.mode != CommandLine::Mode::Terminal && options.mode != CommandLine::Mode::Default) {
            return QStringLiteral("--speech-engine needs --terminal or no mode option");
        }
    }
    const QString engineText = parser.value(speechEngine);
    const auto speech = parseSpeechChoice(engineText);
    if (!speech) {
        return QStringLiteral("invalid --speech-engine \"%1\": expected speechd, qt, qt:NAME, stdout or none")
            .arg(engineText);
    }
    options.speech = *speech;
    return options;
}
