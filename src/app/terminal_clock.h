#pragma once

#include <QObject>
#include <QString>

#include <cstdio>

class TimerModel;

// The clock in a terminal: prints the label line at start and at every change of the Valdrian
// minute, flushed at once so a status bar reading a pipe sees it.
class TerminalClock : public QObject {
    Q_OBJECT

public:
    TerminalClock(const TimerModel& model, std::FILE* out, QObject* parent = nullptr);

private:
    void refresh();

    const TimerModel& model_;
    std::FILE* out_;
    QString shown_;
};

// Writes one line and flushes it.
void writeLine(std::FILE* out, const QString& line);
