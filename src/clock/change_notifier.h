#pragma once

#include <QObject>

class TimerModel;

// Displays must see the values after a change, but the model announces before it assigns. This
// relays a burst of announcements (three per tick) as one `changed` signal, sent from the event
// loop once the tick is over.
class ChangeNotifier : public QObject {
    Q_OBJECT

public:
    explicit ChangeNotifier(const TimerModel& model, QObject* parent = nullptr);

signals:
    void changed();

private:
    void schedule();
    void deliver();

    bool pending_ = false;
};
