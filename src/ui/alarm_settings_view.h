#pragma once

#include "alarms/alarm_model.h"
#include "ui/alarm_row_key.h"

#include <QHash>
#include <QWidget>
#include <functional>

#include <vector>

class AlarmRow;
class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class SettingsStore;

// The content of the alarm settings window. It shows what the store holds and writes the whole
// list back after every edit, so the change is on disk at once; every edit starts from the list
// as stored, never from what is on screen.
// Rows belong to alarms and are updated in place, so typing, adding and deleting never take the
// focus or cursor away from the field being edited. Only the rows in sight (and the one being
// edited) exist, so a list of thousands opens as fast as a short one.
class AlarmSettingsView : public QWidget {
    Q_OBJECT

public:
    using Clock = std::function<double()>; // real seconds since the epoch

    // now: read when a row's clock symbol is asked for its tooltip (the real times it comes next).
    AlarmSettingsView(SettingsStore& store, Clock now, QWidget* parent = nullptr);

public slots:
    // Shows the list as stored now, e.g. after another process changed it.
    void reload();
    // A new alarm, off at 00:00 with no title, at the top of the list.
    void addAlarm();
    // Removes the first alarm with this id; nothing when there is none.
    void deleteAlarm(const QUuid& id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onEnabledClicked(AlarmRow* row, bool enabled);
    void onHourEdited(AlarmRow* row, const QString& text);
    void onMinutesEdited(AlarmRow* row, const QString& text);
    void onTitleEdited(AlarmRow* row, const QString& text);
    void onDeleteClicked(AlarmRow* row);

    void removeAlarm(const QUuid& id, int occurrence);
    void editTime(const AlarmRow& row, QString AlarmModel::*field, const QString& typed,
                  QString (*sanitize)(const QString&));
    template <typename T> void setField(const AlarmRow& row, T AlarmModel::*field, const T& value);
    void save(const AlarmList& alarms);
    void showSaveFailure();
    void showList(const AlarmList& alarms);
    void placeRows();
    [[nodiscard]] std::vector<qsizetype> indexesInSight() const;
    [[nodiscard]] AlarmRow* makeRow(const RowKey& key);
    void retireRow(AlarmRow* row);
    void chainTabOrder(const std::vector<AlarmRow*>& rows);

    [[nodiscard]] bool showOccurrences(const AlarmRow& row, const QPoint& globalPos);

    SettingsStore& store_;
    Clock now_;
    QPushButton* addButton_;
    // Under the add bar while the last save failed: the changes are not saved, and why.
    QLabel* saveFailedMessage_;
    QStackedWidget* pages_;
    QWidget* emptyPage_;
    QScrollArea* scrollArea_;
    QWidget* canvas_;
    // The list last shown, to fill rows that scroll into sight, and each alarm's key.
    AlarmList shown_;
    std::vector<RowKey> keys_;
    QHash<RowKey, qsizetype> indexOfKey_;
    QHash<RowKey, AlarmRow*> rows_;
    // The rows in the order Tab last visited them.
    std::vector<AlarmRow*> tabChain_;
    // Every row has the height of the first one made, gap included.
    int rowGap_ = 0;
    int rowPitch_ = 0;
};
