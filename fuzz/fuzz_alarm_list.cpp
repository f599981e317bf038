// The stored alarm list as a settings file may hold it: anything at all. Whatever decodes must come
// back unchanged through the written form, or an edit would quietly alter alarms.

#include "alarms/alarm_model.h"
#include "fuzz_input.h"

namespace {

bool same(const AlarmModel& a, const AlarmModel& b) {
    return a.id == b.id && a.hour == b.hour && a.minutes == b.minutes && a.title == b.title &&
           a.enabled == b.enabled;
}

void checkList(const QString& text) {
    const std::optional<AlarmList> decoded = decodeAlarmList(text);
    if (!decoded) {
        return;
    }
    const std::optional<QString> encoded = encodeAlarmList(*decoded);
    fuzz::check(encoded.has_value(), "a list that reads can be written", text);
    const std::optional<AlarmList> again = decodeAlarmList(*encoded);
    fuzz::check(again && again->size() == decoded->size() &&
                    std::equal(again->begin(), again->end(), decoded->begin(), same),
                "the written list reads back the same", text);
    fuzz::check(encodeAlarmList(*again) == encoded, "saving an unchanged list changes no byte", text);
}

} // namespace

FUZZ_TEXT_TARGET(checkList)
