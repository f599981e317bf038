#include "app/modes.h"

#include "alarms/settings_store.h"
#include "app/single_instance.h"
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

} // namespace

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
    // Two clocks would speak every announcement twice: only the one holding the lock speaks.
    SingleInstance instance(SingleInstance::defaultDirectory());
    const std::unique_ptr<SettingsStore> store = SettingsStore::openUserStore();
    std::unique_ptr<SpeechOutput> speech;
    if (instance.acquire(SingleInstance::Requests::Ignore)) {
        speech = makeSpeechOutput(options.speech, store->readBool(settings_keys::kJapaneseKanaReading));
    } else {
        std::fprintf(stderr, "%s: another clock is running; this one will not speak\n", kApplicationName);
        speech = std::make_unique<NullSpeechOutput>();
    }
    warnIfSettingsCannotBeSaved(*store);
    // --at shifts the clock, which then runs at the real pace from there.
    const double offset = options.at ? *options.at - systemNow() : 0.0;
    TimerModel model([offset] { return systemNow() + offset; }, std::move(speech), &systemPreferredLanguages,
                     *store);
    const TerminalClock terminal(model, stdout);
    const int status = QCoreApplication::exec();
    // Before the speech thread is waited for: another clock may start speaking now.
    instance.release();
    return status;
}
