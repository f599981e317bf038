#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

class QJsonObject;

// One alarm. hour and minutes are texts, held exactly as given; they are read as numbers only
// when the clock compares or speaks them.
struct AlarmModel {
    QUuid id;
    QString hour = QStringLiteral("00");
    QString minutes = QStringLiteral("00");
    QString title;
    bool enabled = false;

    // A new alarm as the settings window adds it: a fresh random id, 00:00, no title, off.
    [[nodiscard]] static AlarmModel makeNew();
};

using AlarmList = QList<AlarmModel>;

[[nodiscard]] QJsonObject encodeAlarm(const AlarmModel& alarm);
// Fails on a missing member, a member of another JSON type or null, or an "id" that is not in the
// 36-character UUID form. Other members are ignored.
[[nodiscard]] std::optional<AlarmModel> decodeAlarm(const QJsonObject& object);

// Compact JSON, non-ASCII as UTF-8. Fails only when a text can't be written as UTF-8 without loss.
[[nodiscard]] std::optional<QString> encodeAlarmList(const AlarmList& alarms);
// The whole list or nothing: one bad element fails it all.
[[nodiscard]] std::optional<AlarmList> decodeAlarmList(const QString& text);
