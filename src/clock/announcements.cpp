#include "clock/announcements.h"

#include "alarms/base10.h"

AnnouncementLanguage announcementLanguage(const QStringList& preferredLanguages) {
    return !preferredLanguages.isEmpty() && preferredLanguages.first() == u"ja-JP"
               ? AnnouncementLanguage::Japanese
               : AnnouncementLanguage::English;
}

std::optional<QString> voiceTag(const QStringList& preferredLanguages) {
    if (preferredLanguages.isEmpty()) {
        return std::nullopt;
    }
    return preferredLanguages.first();
}

QString timeSignalText(std::int64_t hour, AnnouncementLanguage language) {
    return QString::number(hour) + (language == AnnouncementLanguage::Japanese
                                        ? QStringLiteral(" ヴァルドリア時間")
                                        : QStringLiteral(" V.T. o'clock."));
}

QString alarmText(const AlarmModel& alarm, AnnouncementLanguage language) {
    if (!alarm.title.isEmpty()) {
        return alarm.title;
    }
    const QString h = QString::number(parseBase10(alarm.hour).value_or(0));
    const QString m = QString::number(parseBase10(alarm.minutes).value_or(0));
    if (language == AnnouncementLanguage::Japanese) {
        return h + QStringLiteral(" 時 ") + m + QStringLiteral(" 分");
    }
    return h + QStringLiteral(" hours ") + m + QStringLiteral(" minutes.");
}
