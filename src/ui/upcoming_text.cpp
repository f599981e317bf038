#include "ui/upcoming_text.h"

#include "clock/next_occurrence.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

#include <cmath>

namespace {

constexpr qsizetype kTitleLength = 32; // a tooltip line stays readable beside the tray

struct UpcomingText {
    Q_DECLARE_TR_FUNCTIONS(UpcomingText)
};

QString localTime(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm"));
}

QString valdrianTime(const ValdrianMinute& at) {
    return QStringLiteral("%1:%2")
        .arg(at.hour, 2, 10, QLatin1Char('0'))
        .arg(at.minute, 2, 10, QLatin1Char('0'));
}

// Under a minute in seconds (rounded up: "0 s" would read as already past), else in minutes.
QString timeUntil(std::int64_t ms) {
    const auto seconds = static_cast<std::int64_t>(std::ceil(double(ms) / 1000.0));
    if (seconds < 60) {
        return UpcomingText::tr("%1 秒").arg(seconds);
    }
    return UpcomingText::tr("%1 分").arg((seconds + 30) / 60);
}

// A title on one line, cut short.
QString shortTitle(const QString& title) {
    const QString line = title.simplified();
    return line.size() <= kTitleLength ? line : line.left(kTitleLength - 1) + QChar(0x2026);
}

QString alarmLine(const UpcomingAlarm& next, std::int64_t fromMs) {
    const QString title = shortTitle(next.alarm.title);
    QString what =
        title.isEmpty() ? valdrianTime(next.at) : QStringLiteral("%1 (%2)").arg(title, valdrianTime(next.at));
    if (next.others > 0) {
        what += QStringLiteral(" +%1").arg(next.others);
    }
    return UpcomingText::tr("次のアラーム: %1 %2、あと %3")
        .arg(what, localTime(next.atMs), timeUntil(next.atMs - fromMs));
}

QString timeSignalLine(const UpcomingTimeSignal& next, std::int64_t fromMs) {
    return UpcomingText::tr("次の時報: %1 %2、あと %3")
        .arg(valdrianTime({next.hour, 0}), localTime(next.atMs), timeUntil(next.atMs - fromMs));
}

} // namespace

QString upcomingToolTip(const QString& label, const Upcoming& upcoming) {
    QStringList lines{label};
    if (upcoming.alarm) {
        lines << alarmLine(*upcoming.alarm, upcoming.fromMs);
    }
    if (upcoming.timeSignal) {
        lines << timeSignalLine(*upcoming.timeSignal, upcoming.fromMs);
    }
    return lines.join(QLatin1Char('\n'));
}

QString occurrencesToolTip(const AlarmModel& alarm, std::int64_t afterMs) {
    const std::optional<ValdrianMinute> at = alarmMinute(alarm);
    if (!at) {
        return UpcomingText::tr("この時刻は来ません");
    }
    QStringList times;
    for (const std::int64_t ms : nextOccurrences(at->hour, at->minute, afterMs, 3)) {
        times << localTime(ms);
    }
    return UpcomingText::tr("実時間で次は %1、%2、%3").arg(times[0], times[1], times[2]);
}
