#pragma once

#include "alarms/alarm_model.h"

#include <QHash>
#include <QList>
#include <QWidget>

#include <vector>

class AlarmRow;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;
class SettingsStore;

// The content of the alarm settings window. It keeps no copy of the alarm list: it shows what the
// store holds and writes the whole list back after every edit, so the change is on disk at once.
// Rows belong to alarm ids and are updated in place, so typing, adding and deleting never take the
// focus or cursor away from the field being edited.
class AlarmSettingsView : public QWidget {
    Q_OBJECT

public:
    explicit AlarmSettingsView(SettingsStore& store, QWidget* parent = nullptr);

public slots:
    // Shows the list as stored now, e.g. after another process changed it.
    void reload();
    // A new alarm, off at 00:00 with no title, at the top of the list.
    void addAlarm();
    // Removes the first alarm with this id; nothing when there is none.
    void deleteAlarm(const QUuid& id);

private:
    void onEnabledClicked(AlarmRow* row, bool enabled);
    void onHourEdited(AlarmRow* row, const QString& text);
    void onMinutesEdited(AlarmRow* row, const QString& text);
    void onTitleEdited(AlarmRow* row, const QString& text);
    void onDeleteClicked(AlarmRow* row);

    void removeAlarm(const QUuid& id, int occurrence);
    void editTime(const AlarmRow& row, QString AlarmModel::*field, const QString& typed,
                  QString (*sanitize)(const QString&));
    template <typename T> bool setField(const AlarmRow& row, T AlarmModel::*field, const T& value);
    bool save(const AlarmList& alarms);
    void showList(const AlarmList& alarms);
    [[nodiscard]] AlarmRow* makeRow(const QUuid& id, int occurrence);
    void retireRow(AlarmRow* row);
    void chainTabOrder(const std::vector<AlarmRow*>& rows);

    SettingsStore& store_;
    QPushButton* addButton_;
    QStackedWidget* pages_;
    QWidget* emptyPage_;
    QScrollArea* scrollArea_;
    QVBoxLayout* rowsLayout_;
    // Each id's rows in list order; more than one only when the stored list repeats an id.
    QHash<QUuid, QList<AlarmRow*>> rows_;
};
