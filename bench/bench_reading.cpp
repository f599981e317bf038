#include "clock/kana_reading.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

QString ipadic() {
    return QString::fromLatin1(KanaReader::kIpadicDirectory);
}

// Loading the dictionary, as the speech thread does with the first Japanese text. It is mapped, not
// read: after the first load in a boot the pages are in the page cache.
void BM_LoadKanaReader(benchmark::State& state) {
    for (auto _ : state) {
        QString error;
        auto reader = KanaReader::load(ipadic(), error);
        if (!reader) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        benchmark::DoNotOptimize(reader.get());
    }
}
BENCHMARK(BM_LoadKanaReader)->Unit(benchmark::kMillisecond);

// One announcement read with the dictionary loaded: the time signal, a time-only alarm, typical
// titles, and the longest title a user is likely to type.
void BM_ReadAnnouncement(benchmark::State& state) {
    const char* texts[] = {"7 ヴァルドリア時間", "7 時 5 分", "釣り大会", "今日はボス討伐🎣 ７時に港で集合！"};
    const QString text = state.range(0) < 4 ? QString::fromUtf8(texts[state.range(0)])
                                            : QStringLiteral("釣り大会、ボス討伐。").repeated(1000);
    QString error;
    const auto reader = KanaReader::load(ipadic(), error);
    if (!reader) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader->read(text));
    }
    state.SetLabel(text.left(20).toStdString() + " (" + std::to_string(text.size()) + " chars)");
}
BENCHMARK(BM_ReadAnnouncement)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
