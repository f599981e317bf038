#pragma once

// What the tests stand the program on: a settings file of the test's own, files read and written
// whole, and a clock model on a clock that moves only when the test says so.

#include "alarms/settings_store.h"
#include "clock/stream_speech_output.h"
#include "clock/timer_model.h"
#include "clock/valdrian_time.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <memory>

// The real instant of Valdrian hour:minute:second on `day`; by default the middle of the minute.
inline double realAt(int hour, int minute, double second = 30, std::int64_t day = 400000) {
    return (double(day) * 86400 + hour * 3600 + minute * 60 + second) / ZuduzirEraz::kFactor;
}

inline AlarmModel alarmAt(const char* hour, const char* minute, const char* title = "", bool enabled = true) {
    return {QUuid::createUuid(), hour, minute, title, enabled}; // UTF-8
}

inline QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
}

[[nodiscard]] inline bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

// A settings store on a file in a fresh temporary directory.
struct TempSettings {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("variredu-divar.conf"));
    std::unique_ptr<SettingsStore> store = open();

    [[nodiscard]] std::unique_ptr<SettingsStore> open(WholeFileWriter writer = WholeFileWriter(),
                                                      std::FILE* messages = stderr) const {
        return std::make_unique<SettingsStore>(std::make_unique<QSettings>(path, QSettings::IniFormat),
                                               std::move(writer), messages);
    }
};

// A clock model on `now`, with settings of its own, speaking through the output of --speech-engine
// stdout into a file. No event loop runs unless the test runs one, so only the test ticks it.
struct ModelRig {
    TempSettings settings;
    double now = 0;
    QStringList languages{QStringLiteral("en-US")};
    QFile said{settings.dir.filePath(QStringLiteral("said"))};
    std::FILE* out = std::fopen(QFile::encodeName(said.fileName()).constData(), "w");
    std::unique_ptr<TimerModel> model;

    ~ModelRig() { std::fclose(out); } // the model, declared last, is gone by then
    TimerModel& start(double at) {
        said.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        now = at;
        model =
            std::make_unique<TimerModel>([this] { return now; }, std::make_unique<StreamSpeechOutput>(out),
                                         [this] { return languages; }, *settings.store);
        return *model;
    }
    // The lines said since the last call: "TAG<TAB>TEXT".
    QStringList takeSpoken() { return QString::fromUtf8(said.readAll()).split(u'\n', Qt::SkipEmptyParts); }
};
