// The stored alarm list as the settings file may hold it: anything at all. Whatever decodes must
// survive the trip through the written form unchanged, or an edit would quietly alter alarms.

#include "alarms/alarm_model.h"
#include "fuzz_input.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

bool textsAreWholeUtf16(const AlarmModel& alarm) {
    return alarm.hour.isValidUtf16() && alarm.minutes.isValidUtf16() && alarm.title.isValidUtf16();
}

// Compact means no whitespace between tokens; whitespace inside strings is the alarms' own.
bool hasWhitespaceOutsideStrings(const QString& json) {
    bool inString = false;
    bool escaped = false;
    for (const QChar c : json) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == u'\\') {
                escaped = true;
            } else if (c == u'"') {
                inString = false;
            }
        } else if (c == u'"') {
            inString = true;
        } else if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
            return true;
        }
    }
    return false;
}

QString describe(const AlarmModel& alarm) {
    return QStringLiteral("id=%1 hour=[%2] minutes=[%3] title=[%4] enabled=%5")
        .arg(alarm.id.toString(), alarm.hour, alarm.minutes, alarm.title)
        .arg(alarm.enabled);
}

void checkList(const QString& text) {
    const std::optional<AlarmList> decoded = decodeAlarmList(text);
    if (!decoded) {
        return;
    }

    // A list that reads back can always be written again: the reader refuses texts with no
    // UTF-8 form (escaped lone surrogates), the only ones the writer refuses.
    FUZZ_CHECK(std::all_of(decoded->begin(), decoded->end(), textsAreWholeUtf16),
               QStringLiteral("input: %1").arg(text));
    const std::optional<QString> encoded = encodeAlarmList(*decoded);
    FUZZ_CHECK(encoded.has_value(), QStringLiteral("input: %1").arg(text));

    FUZZ_CHECK(!hasWhitespaceOutsideStrings(*encoded), *encoded);
    QJsonParseError error{};
    const QByteArray bytes = encoded->toUtf8();
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError && document.isArray(), *encoded);
    FUZZ_CHECK(document.array().size() == decoded->size(), *encoded);
    // Unknown members of the input are dropped: each written alarm has exactly its five.
    for (const QJsonValue& element : document.array()) {
        FUZZ_CHECK(element.isObject() && element.toObject().size() == 5, *encoded);
    }

    const std::optional<AlarmList> again = decodeAlarmList(*encoded);
    FUZZ_CHECK(again.has_value(), *encoded);
    FUZZ_CHECK(again->size() == decoded->size(), *encoded);
    for (qsizetype i = 0; i < decoded->size(); ++i) {
        const AlarmModel& before = decoded->at(i);
        const AlarmModel& after = again->at(i);
        const auto detail = [&] {
            return describe(before) + QStringLiteral(" -> ") + describe(after);
        };
        FUZZ_CHECK(after.id == before.id, detail());
        FUZZ_CHECK(after.hour == before.hour, detail());
        FUZZ_CHECK(after.minutes == before.minutes, detail());
        FUZZ_CHECK(after.title == before.title, detail());
        FUZZ_CHECK(after.enabled == before.enabled, detail());
    }

    // Writing what was read back gives the same text: saving an unchanged list changes no byte.
    const std::optional<QString> rewritten = encodeAlarmList(*again);
    FUZZ_CHECK(rewritten.has_value() && *rewritten == *encoded, *encoded);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkList(fuzz::utf8Text(data, size));
    checkList(fuzz::utf16Text(data, size));
    return 0;
}
