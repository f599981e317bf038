#pragma once

#include "alarms/alarm_model.h"

#include <QList>
#include <QUuid>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QToolButton;

// One alarm's row: on/off box, hour : minute, title and delete button. It belongs to one alarm for
// its whole life and reports what the user does; the view decides what is stored.
class AlarmRow : public QWidget {
    Q_OBJECT

public:
    // occurrence tells apart alarms that share an id (only a hand-edited list has them): 0 for the
    // first alarm with this id in the list, 1 for the second, and so on.
    explicit AlarmRow(const QUuid& alarmId, int occurrence, QWidget* parent);

    [[nodiscard]] QUuid alarmId() const { return alarmId_; }
    [[nodiscard]] int occurrence() const { return occurrence_; }

    // Shows the alarm's values. A field that already shows its value is left alone, so the one
    // being typed in keeps its cursor and selection. Each control's accessible name or description
    // tells its alarm by time and title, so a screen reader can tell the rows apart.
    void showAlarm(const AlarmModel& alarm);
    // Puts the keyboard focus in the hour field, for a new alarm's time to be typed.
    void editHour();

    // The controls Tab visits, left to right.
    [[nodiscard]] QList<QWidget*> focusOrder() const;

signals:
    // Only the user's own actions: showAlarm() sends none of these.
    void enabledClicked(AlarmRow* row, bool enabled);
    void hourEdited(AlarmRow* row, const QString& text);
    void minutesEdited(AlarmRow* row, const QString& text);
    void titleEdited(AlarmRow* row, const QString& text);
    void deleteClicked(AlarmRow* row);

private:
    QUuid alarmId_;
    int occurrence_;
    QCheckBox* enabled_;
    QLineEdit* hour_;
    QLineEdit* minutes_;
    QLineEdit* title_;
    QToolButton* delete_;
};
