#pragma once

#include "alarms/alarm_model.h"

#include <QStringList>

#include <cstdint>
#include <optional>

enum class AnnouncementLanguage { Japanese, English };

// Japanese only when the first preferred language is exactly "ja-JP"; English otherwise.
[[nodiscard]] AnnouncementLanguage announcementLanguage(const QStringList& preferredLanguages);
// The voice follows the first preferred language, whatever it is; none for an empty list.
[[nodiscard]] std::optional<QString> voiceTag(const QStringList& preferredLanguages);

[[nodiscard]] QString timeSignalText(std::int64_t hour, AnnouncementLanguage language);
// The title when there is one (a lone space counts), else the alarm's time, texts that give no
// number spoken as 0.
[[nodiscard]] QString alarmText(const AlarmModel& alarm, AnnouncementLanguage language);
