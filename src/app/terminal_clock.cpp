#include "app/terminal_clock.h"

#include "clock/timer_model.h"

void writeLine(std::FILE* out, const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

TerminalClock::TerminalClock(const TimerModel& model, std::FILE* out, QObject* parent)
    : QObject(parent)
    , model_(model)
    , out_(out) {
    connect(&model_, &TimerModel::changed, this, &TerminalClock::refresh);
    refresh();
}

void TerminalClock::refresh() {
    const QString label = clockLabel(model_.vt());
    if (label == shown_) {
        return;
    }
    shown_ = label;
    writeLine(out_, label);
}
