#include "clock/change_notifier.h"

#include "clock/timer_model.h"

ChangeNotifier::ChangeNotifier(const TimerModel& model, QObject* parent)
    : QObject(parent) {
    connect(&model, &TimerModel::objectWillChange, this, &ChangeNotifier::schedule);
}

void ChangeNotifier::schedule() {
    if (pending_) {
        return;
    }
    pending_ = true;
    QMetaObject::invokeMethod(this, &ChangeNotifier::deliver, Qt::QueuedConnection);
}

void ChangeNotifier::deliver() {
    pending_ = false;
    emit changed();
}
