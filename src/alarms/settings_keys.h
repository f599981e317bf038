#pragma once

// Every key of the settings store and its default, in one place.
namespace settings_keys {

struct BoolKey {
    const char* name;
    bool defaultValue;
};

inline constexpr BoolKey kEnableTimeSignal{"enableTimeSignal", false};
inline constexpr BoolKey kEnableAlarm{"enableAlarm", true};
// Japanese announcements go to the voice as their kana reading; off for a voice that reads kanji
// itself. Read when the clock starts.
inline constexpr BoolKey kJapaneseKanaReading{"japaneseKanaReading", true};

// The alarm list as one JSON text; absent or unreadable reads as the empty list.
inline constexpr char kAlarms[] = "alarms";
inline constexpr char kAlarmsDefault[] = "[]";
// The last stored list that could not be read, kept when a new list replaces it.
inline constexpr char kAlarmsBackup[] = "alarmsBackup";
// Beside a settings file with lines that can't be read, a copy of the whole file as it was before
// it was written back without them.
inline constexpr char kUnreadableFileSuffix[] = ".unreadable";

// Organisation and application name of the per-user store:
// $XDG_CONFIG_HOME/variredu-divar/variredu-divar.conf on Linux.
inline constexpr char kOrganisation[] = "variredu-divar";
inline constexpr char kApplication[] = "variredu-divar";

} // namespace settings_keys
