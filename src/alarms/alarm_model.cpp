#include "alarms/alarm_model.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kId = QStringLiteral("id");
const QString kHour = QStringLiteral("hour");
const QString kMinutes = QStringLiteral("minutes");
const QString kTitle = QStringLiteral("title");
const QString kEnabled = QStringLiteral("enabled");

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// 8-4-4-4-12 hexadecimal digits, either case, no braces.
bool isUuidText(const QString& text) {
    if (text.size() != 36) {
        return false;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != u'-' : !isHexDigit(text[i])) {
            return false;
        }
    }
    return true;
}

// A string escaped as a lone surrogate ("\ud800") reads as text with no UTF-8 form, which could
// never be written back: such a list is as unreadable as malformed JSON.
std::optional<QString> stringMember(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) {
        return std::nullopt;
    }
    QString text = value.toString();
    if (!text.isValidUtf16()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

AlarmModel AlarmModel::makeNew() {
    AlarmModel alarm;
    alarm.id = QUuid::createUuid();
    return alarm;
}

QJsonObject encodeAlarm(const AlarmModel& alarm) {
    return QJsonObject{
        {kId, alarm.id.toString(QUuid::WithoutBraces).toUpper()},
        {kHour, alarm.hour},
        {kMinutes, alarm.minutes},
        {kTitle, alarm.title},
        {kEnabled, alarm.enabled},
    };
}

std::optional<AlarmModel> decodeAlarm(const QJsonObject& object) {
    const auto id = stringMember(object, kId);
    const auto hour = stringMember(object, kHour);
    const auto minutes = stringMember(object, kMinutes);
    const auto title = stringMember(object, kTitle);
    const QJsonValue enabled = object.value(kEnabled);
    if (!id || !isUuidText(*id) || !hour || !minutes || !title || !enabled.isBool()) {
        return std::nullopt;
    }
    return AlarmModel{QUuid::fromString(*id), *hour, *minutes, *title, enabled.toBool()};
}

std::optional<QString> encodeAlarmList(const AlarmList& alarms) {
    QJsonArray array;
    for (const AlarmModel& alarm : alarms) {
        // A lone surrogate has no UTF-8 form; writing it would change the text on the way back.
        if (!alarm.hour.isValidUtf16() || !alarm.minutes.isValidUtf16() || !alarm.title.isValidUtf16()) {
            return std::nullopt;
        }
        array.append(encodeAlarm(alarm));
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

std::optional<AlarmList> decodeAlarmList(const QString& text) {
    if (!text.isValidUtf16()) {
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    const QJsonArray array = document.array();
    AlarmList alarms;
    alarms.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isObject()) {
            return std::nullopt;
        }
        auto alarm = decodeAlarm(element.toObject());
        if (!alarm) {
            return std::nullopt;
        }
        alarms.append(std::move(*alarm));
    }
    return alarms;
}
