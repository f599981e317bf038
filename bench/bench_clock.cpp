#include "alarms/alarm_model.h"
#include "alarms/settings_store.h"
#include "clock/timer_model.h"
#include "clock/upcoming.h"
#include "clock/valdrian_time.h"
#include "support.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

namespace {

namespace keys = settings_keys;

// Counts what the model hands over, so a run shows that the alarms meant to be due were spoken,
// without a log that grows with the run.
class CountingSpeech final : public SpeechOutput {
public:
    explicit CountingSpeech(std::shared_ptr<std::int64_t> count)
        : count_(std::move(count)) {}
    void say(const QString& text, const std::optional<QString>& tag) override {
        benchmark::DoNotOptimize(text.size());
        benchmark::DoNotOptimize(tag.has_value());
        ++*count_;
    }

private:
    std::shared_ptr<std::int64_t> count_;
};

// `count` enabled alarms with titles. The first `due` are set at each of 13:44 and 13:45 (so every
// tick of the minute-change benchmark finds that many due); the rest sit in other hours, where the
// hour text is read and does not match.
AlarmList makeAlarms(int count, int due) {
    AlarmList alarms;
    alarms.reserve(count);
    for (int i = 0; i < count; ++i) {
        AlarmModel alarm = AlarmModel::makeNew();
        if (i < 2 * due) {
            alarm.hour = QStringLiteral("13");
            alarm.minutes = i % 2 == 0 ? QStringLiteral("44") : QStringLiteral("45");
        } else {
            const int hour = i % 23 >= 13 ? i % 23 + 1 : i % 23; // any hour but 13
            alarm.hour = QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0'));
            alarm.minutes = QStringLiteral("%1").arg(i % 60, 2, 10, QLatin1Char('0'));
        }
        alarm.title = QStringLiteral("Alarm number %1").arg(i);
        alarm.enabled = true;
        alarms.append(alarm);
    }
    return alarms;
}

// A model on a fresh INI store holding `alarms`, with the alarm setting on and the time signal off.
struct Rig {
    explicit Rig(const AlarmList& alarms, double start) {
        settings.store->writeBool(keys::kEnableAlarm, true);
        settings.store->setAlarms(alarms);
        now = start;
        model = std::make_unique<TimerModel>([this] { return now; }, std::make_unique<CountingSpeech>(spoken),
                                             [] { return QStringList{QStringLiteral("en-US")}; },
                                             *settings.store);
    }

    // The measured loop: a tick at each instant in turn.
    void tickBetween(benchmark::State& state, const double (&instants)[2]) {
        int i = 0;
        for (auto _ : state) {
            i ^= 1;
            now = instants[i];
            model->tick();
        }
    }

    TempSettings settings;
    double now = 0;
    std::shared_ptr<std::int64_t> spoken = std::make_shared<std::int64_t>(0);
    std::unique_ptr<TimerModel> model;
};

void BM_ZuduzirErazFormattedTime(benchmark::State& state) {
    double real = realAt(0, 0);
    for (auto _ : state) {
        const ZuduzirEraz vt(real);
        QString text = vt.formattedTime();
        benchmark::DoNotOptimize(text);
        real += 1.0;
    }
}
BENCHMARK(BM_ZuduzirErazFormattedTime);

// The common tick: the minute stays, so nothing is read from the store.
void BM_TickSameMinute(benchmark::State& state) {
    // A Valdrian minute lasts 175/60 real seconds; these two instants are 10 Valdrian seconds apart,
    // both inside 13:44.
    const double instants[2] = {realAt(13, 44, 25), realAt(13, 44, 35)};
    Rig rig(makeAlarms(100, 0), instants[0]);
    rig.model->tick();
    rig.tickBetween(state, instants);
    if (rig.model->minutes() != 44 || *rig.spoken != 0) {
        state.SkipWithError("the minute changed or something was spoken");
    }
}
BENCHMARK(BM_TickSameMinute);

// Every tick crosses a minute (13:44 <-> 13:45), so each reads the settings and the alarm list, and
// finds what comes next for the tooltip.
void BM_TickMinuteChange(benchmark::State& state) {
    const int count = int(state.range(0));
    const int due = int(state.range(1));
    const double instants[2] = {realAt(13, 44), realAt(13, 45)};
    Rig rig(makeAlarms(count, due), instants[0]);
    rig.model->tick();
    *rig.spoken = 0;
    rig.tickBetween(state, instants);
    const double spokenPerTick = double(*rig.spoken) / double(state.iterations());
    state.counters["spoken_per_tick"] = spokenPerTick;
    if (spokenPerTick != due) {
        state.SkipWithError("not every due alarm was spoken");
    }
}
BENCHMARK(BM_TickMinuteChange)
    ->ArgNames({"alarms", "due"})
    ->Args({0, 0})
    ->Args({100, 0})
    ->Args({100, 1})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Unit(benchmark::kMicrosecond);

// The tooltip's part of a minute change: the next alarm of the list, from the list as read.
void BM_NextAlarm(benchmark::State& state) {
    const AlarmList alarms = makeAlarms(int(state.range(0)), 1);
    auto afterMs = static_cast<std::int64_t>(realAt(13, 44) * 1000);
    for (auto _ : state) {
        std::optional<UpcomingAlarm> next = nextAlarm(alarms, afterMs);
        benchmark::DoNotOptimize(next);
        afterMs += 2917; // a Valdrian minute on
    }
}
BENCHMARK(BM_NextAlarm)->ArgName("alarms")->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_DecodeAlarmList100(benchmark::State& state) {
    const QString text = encodeAlarmList(makeAlarms(100, 0)).value();
    for (auto _ : state) {
        std::optional<AlarmList> alarms = decodeAlarmList(text);
        benchmark::DoNotOptimize(alarms);
    }
    state.SetBytesProcessed(state.iterations() * text.toUtf8().size());
}
BENCHMARK(BM_DecodeAlarmList100)->Unit(benchmark::kMicrosecond);

void BM_EncodeAlarmList100(benchmark::State& state) {
    const AlarmList alarms = makeAlarms(100, 0);
    for (auto _ : state) {
        std::optional<QString> text = encodeAlarmList(alarms);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_EncodeAlarmList100)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // The model's timer and the temporary directories want an application object; its event loop
    // never runs, so the timer never fires and only the benchmark calls tick().
    QCoreApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
