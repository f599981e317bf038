#pragma once

#include "app/instant.h"
#include "app/speech_choice.h"

#include <QCommandLineParser>
#include <QString>

#include <optional>
#include <variant>

struct CommandLine {
    enum class Mode { Default, Once, Next, Terminal, Help, Version };
    Mode mode = Mode::Default;
    std::optional<double> at; // --at, seconds since the epoch
    HourMinute next;          // --next
    int count = 1;            // --count
    SpeechChoice speech;      // --speech-engine
};

inline constexpr int kMaxNextCount = 1000;

// Sets up `parser` with the program's options and reads `arguments` (argv[0] first). Gives the
// options, or a one-line error naming the bad value.
[[nodiscard]] std::variant<CommandLine, QString> parseCommandLine(QCommandLineParser& parser,
                                                                  const QStringList& arguments);
