#include "app/modes.h"

#include "alarms/settings_store.h"
#include "app/instance_files.h"
#include "app/speaking_lock.h"
#include "app/system_seams.h"
#include "app/terminal_clock.h"
#include "app/unix_signals.h"
#include "clock/next_occurrence.h"
#include "clock/timer_model.h"
#include "version.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// Local time with milliseconds and the offset, e.g. 2024-01-01T09:00:02.917+09:00. The offset is
// always written as digits, also for UTC, so scripts can cut the text at fixed places.
QString localIsoTime(std::int64_t ms) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

[[nodiscard]] std::int64_t valdrianMinute(double realSeconds) {
    return static_cast<std::int64_t>(std::floor(ZuduzirEraz(realSeconds).date() / 60.0));
}

} // namespace

std::unique_ptr<SpeakingLock> speakingLockFor(const SpeechChoice& choice,
                                              const InstanceDirectory& directory) {
    if (!speaksAloud(choice)) {
        return nullptr;
    }
    if (directory.path.isEmpty()) {
        std::fprintf(stderr, "%s: %s; this clock speaks without taking turns with others\n", kApplicationName,
                     qUtf8Printable(directory.problem));
        return nullptr;
    }
    return std::make_unique<SpeakingLock>(directory.path);
}

std::unique_ptr<SpeechOutput> makeAnnouncer(const SpeechChoice& choice, const SettingsStore& store,
                                            SpeakingLock* lock, TimerModel::Clock clock) {
    const bool kanaReading = store.readBool(settings_keys::kJapaneseKanaReading);
    if (!lock) {
        return makeSpeechOutput(choice, kanaReading);
    }
    auto turn = std::make_unique<SpeakingTurn>(
        *lock, [clock = std::move(clock)] { return valdrianMinute(clock()); },
        [choice, kanaReading] { return makeSpeechOutput(choice, kanaReading); });
    if (!turn->speaks()) {
        std::fprintf(stderr, "%s: another clock speaks, %s; this one speaks once that one ends\n",
                     kApplicationName, qUtf8Printable(lock->describeHolder()));
    }
    return turn;
}

void warnIfSettingsCannotBeSaved(const SettingsStore& store) {
    // Said once at start: the clock still runs, but a switch or alarm changed now would be gone
    // at the next start.
    if (!store.isWritable()) {
        std::fprintf(stderr, "%s: settings can't be saved to %s; changes will be lost\n", kApplicationName,
                     qUtf8Printable(store.fileName()));
    }
}

int runOnce(const CommandLine& options) {
    writeLine(stdout, clockLabel(ZuduzirEraz(options.at.value_or(systemNow()))));
    return 0;
}

int runNext(const CommandLine& options) {
    const auto afterMs = static_cast<std::int64_t>(std::floor(options.at.value_or(systemNow()) * 1000.0));
    for (std::int64_t ms : nextOccurrences(options.next.hour, options.next.minute, afterMs, options.count)) {
        writeLine(stdout, localIsoTime(ms));
    }
    return 0;
}

int runTerminal(const CommandLine& options) {
    // First, so that a signal arriving once the first label is out already ends the clock cleanly.
    const QuitOnSignals quit({SIGINT, SIGTERM, SIGHUP});
    // Runs beside any other clock; a voice takes turns with the others that have one.
    const std::unique_ptr<SpeakingLock> lock =
        speaksAloud(options.speech) ? speakingLockFor(options.speech, instanceDirectory()) : nullptr;
    const std::unique_ptr<SettingsStore> store = SettingsStore::openUserStore();
    warnIfSettingsCannotBeSaved(*store);
    // --at shifts the clock, which then runs at the real pace from there.
    const double offset = options.at ? *options.at - systemNow() : 0.0;
    const TimerModel::Clock clock = [offset] {
        return systemNow() + offset;
    };
    TimerModel model(clock, makeAnnouncer(options.speech, *store, lock.get(), clock),
                     &systemPreferredLanguages, *store);
    const TerminalClock terminal(model, stdout);
    const int status = QCoreApplication::exec();
    // Before the speech thread is waited for: another clock may start speaking now.
    if (lock) {
        lock->release();
    }
    return status;
}
