#include "ui/alarm_settings_view.h"

#include "alarms/settings_store.h"
#include "alarms/time_text.h"
#include "ui/alarm_row.h"
#include "ui/symbol_icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <optional>

namespace {

constexpr int kAddBarPadding = 4;

// Where a row's alarm stands in the list: the occurrence-th element with its id.
std::optional<qsizetype> indexOfAlarm(const AlarmList& alarms, const QUuid& id, int occurrence) {
    for (qsizetype i = 0; i < alarms.size(); ++i) {
        if (alarms[i].id == id && occurrence-- == 0) {
            return i;
        }
    }
    return std::nullopt;
}

QWidget* makeEmptyPage(QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* message = new QLabel(AlarmSettingsView::tr("アラームが設定されていません"), page);
    message->setObjectName(QStringLiteral("emptyListMessage"));
    QPalette gray = message->palette();
    gray.setColor(QPalette::WindowText, Qt::gray);
    message->setPalette(gray);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(message, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return page;
}

} // namespace

AlarmSettingsView::AlarmSettingsView(SettingsStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , addButton_(new QPushButton(symbolIcon(Symbol::Plus), tr("アラームを追加"), this))
    , pages_(new QStackedWidget(this))
    , emptyPage_(makeEmptyPage(pages_))
    , scrollArea_(new QScrollArea(pages_))
    , rowsLayout_(nullptr) {
    addButton_->setObjectName(QStringLiteral("addAlarmButton"));
    // Reachable by Tab, but a click leaves the focus in the field being edited.
    addButton_->setFocusPolicy(Qt::TabFocus);

    auto* rows = new QWidget(scrollArea_);
    rows->setObjectName(QStringLiteral("alarmRows"));
    rowsLayout_ = new QVBoxLayout(rows);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->addStretch(1);

    scrollArea_->setObjectName(QStringLiteral("alarmScrollArea"));
    scrollArea_->setWidget(rows);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes from field to field; the area follows the focus by itself.
    scrollArea_->setFocusPolicy(Qt::NoFocus);

    pages_->addWidget(emptyPage_);
    pages_->addWidget(scrollArea_);

    auto* addBar = new QHBoxLayout;
    addBar->setContentsMargins(kAddBarPadding, kAddBarPadding, kAddBarPadding, kAddBarPadding);
    addBar->addWidget(addButton_);
    addBar->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(addBar);
    layout->addWidget(pages_, 1);

    connect(addButton_, &QPushButton::clicked, this, &AlarmSettingsView::addAlarm);
    reload();
}

void AlarmSettingsView::reload() {
    showList(store_.alarms());
}

void AlarmSettingsView::addAlarm() {
    AlarmList alarms = store_.alarms();
    alarms.prepend(AlarmModel::makeNew());
    save(alarms);
}

void AlarmSettingsView::deleteAlarm(const QUuid& id) {
    removeAlarm(id, 0);
}

void AlarmSettingsView::onEnabledClicked(AlarmRow* row, bool enabled) {
    setField(*row, &AlarmModel::enabled, enabled);
}

void AlarmSettingsView::onHourEdited(AlarmRow* row, const QString& text) {
    editTime(*row, &AlarmModel::hour, text, &sanitizeHour);
}

void AlarmSettingsView::onMinutesEdited(AlarmRow* row, const QString& text) {
    editTime(*row, &AlarmModel::minutes, text, &sanitizeMinutes);
}

void AlarmSettingsView::onTitleEdited(AlarmRow* row, const QString& text) {
    setField(*row, &AlarmModel::title, text);
}

void AlarmSettingsView::onDeleteClicked(AlarmRow* row) {
    removeAlarm(row->alarmId(), row->occurrence());
}

void AlarmSettingsView::removeAlarm(const QUuid& id, int occurrence) {
    AlarmList alarms = store_.alarms();
    const std::optional<qsizetype> index = indexOfAlarm(alarms, id, occurrence);
    if (!index) {
        // Already gone, e.g. a second delete of the same alarm: nothing to store.
        showList(alarms);
        return;
    }
    alarms.removeAt(*index);
    save(alarms);
}

// The typed text is stored first, then its sanitized form; showing the stored list puts the
// sanitized text into the field with the cursor at its end.
void AlarmSettingsView::editTime(const AlarmRow& row, QString AlarmModel::*field, const QString& typed,
                                 QString (*sanitize)(const QString&)) {
    if (!setField(row, field, typed)) {
        return;
    }
    const QString sanitized = sanitize(typed);
    if (sanitized != typed) {
        setField(row, field, sanitized);
    }
}

template <typename T>
bool AlarmSettingsView::setField(const AlarmRow& row, T AlarmModel::*field, const T& value) {
    AlarmList alarms = store_.alarms();
    const std::optional<qsizetype> index = indexOfAlarm(alarms, row.alarmId(), row.occurrence());
    if (!index) {
        // Removed by someone else since this row was drawn.
        showList(alarms);
        return false;
    }
    alarms[*index].*field = value;
    return save(alarms);
}

bool AlarmSettingsView::save(const AlarmList& alarms) {
    if (!store_.setAlarms(alarms)) {
        // Show what the store really holds rather than an edit that was not kept.
        reload();
        return false;
    }
    showList(alarms);
    return true;
}

void AlarmSettingsView::showList(const AlarmList& alarms) {
    QHash<QUuid, QList<AlarmRow*>> shown;
    std::vector<AlarmRow*> ordered;
    ordered.reserve(static_cast<std::size_t>(alarms.size()));
    for (const AlarmModel& alarm : alarms) {
        QList<AlarmRow*>& same = shown[alarm.id];
        const auto occurrence = static_cast<int>(same.size());
        const QList<AlarmRow*> existing = rows_.value(alarm.id);
        AlarmRow* row = occurrence < existing.size() ? existing[occurrence] : makeRow(alarm.id, occurrence);
        row->showAlarm(alarm);
        same.append(row);
        ordered.push_back(row);
    }

    bool rearranged = false;
    for (auto it = rows_.cbegin(); it != rows_.cend(); ++it) {
        for (qsizetype i = shown.value(it.key()).size(); i < it->size(); ++i) {
            retireRow(it->at(i));
            rearranged = true;
        }
    }
    rows_ = std::move(shown);

    for (std::size_t i = 0; i < ordered.size(); ++i) {
        AlarmRow* row = ordered[i];
        const int position = static_cast<int>(i);
        if (rowsLayout_->itemAt(position)->widget() != row) {
            rowsLayout_->removeWidget(row);
            rowsLayout_->insertWidget(position, row);
            row->show();
            rearranged = true;
        }
    }
    if (rearranged) {
        chainTabOrder(ordered);
    }
    pages_->setCurrentWidget(alarms.isEmpty() ? emptyPage_ : scrollArea_);
}

AlarmRow* AlarmSettingsView::makeRow(const QUuid& id, int occurrence) {
    auto* row = new AlarmRow(id, occurrence, scrollArea_->widget());
    connect(row, &AlarmRow::enabledClicked, this, &AlarmSettingsView::onEnabledClicked);
    connect(row, &AlarmRow::hourEdited, this, &AlarmSettingsView::onHourEdited);
    connect(row, &AlarmRow::minutesEdited, this, &AlarmSettingsView::onMinutesEdited);
    connect(row, &AlarmRow::titleEdited, this, &AlarmSettingsView::onTitleEdited);
    connect(row, &AlarmRow::deleteClicked, this, &AlarmSettingsView::onDeleteClicked);
    return row;
}

// The row may be the one whose button or field is calling us, so it goes only once control is
// back in the event loop. Hidden now, it takes no input and hands its focus to the next row.
void AlarmSettingsView::retireRow(AlarmRow* row) {
    rowsLayout_->removeWidget(row);
    row->hide();
    row->deleteLater();
}

// Tab follows reading order: the add button, then each row left to right, top to bottom.
void AlarmSettingsView::chainTabOrder(const std::vector<AlarmRow*>& rows) {
    QWidget* previous = addButton_;
    for (AlarmRow* row : rows) {
        for (QWidget* control : row->focusOrder()) {
            QWidget::setTabOrder(previous, control);
            previous = control;
        }
    }
}
