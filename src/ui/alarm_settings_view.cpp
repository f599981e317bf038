#include "ui/alarm_settings_view.h"

#include "alarms/settings_store.h"
#include "alarms/time_text.h"
#include "ui/alarm_row.h"
#include "ui/symbol_icons.h"
#include "ui/upcoming_text.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
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

// The style's gap between stacked controls.
int rowGap(const QWidget& view) {
    const int gap = view.style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing);
    return gap >= 0 ? gap
                    : view.style()->layoutSpacing(QSizePolicy::DefaultType, QSizePolicy::DefaultType,
                                                  Qt::Vertical);
}

} // namespace

AlarmSettingsView::AlarmSettingsView(SettingsStore& store, Clock now, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , now_(std::move(now))
    , addButton_(new QPushButton(symbolIcon(Symbol::Plus), tr("アラームを追加"), this))
    , saveFailedMessage_(new QLabel(this))
    , pages_(new QStackedWidget(this))
    , emptyPage_(makeEmptyPage(pages_))
    , scrollArea_(new QScrollArea(pages_))
    , canvas_(new QWidget(scrollArea_)) {
    addButton_->setObjectName(QStringLiteral("addAlarmButton"));
    // Reachable by Tab, but a click leaves the focus in the field being edited.
    addButton_->setFocusPolicy(Qt::TabFocus);

    saveFailedMessage_->setObjectName(QStringLiteral("saveFailedMessage"));
    saveFailedMessage_->setContentsMargins(kAddBarPadding, 0, kAddBarPadding, 0);

    // Rows are placed by hand at their index, so the canvas only needs the list's height.
    canvas_->setObjectName(QStringLiteral("alarmRows"));

    scrollArea_->setObjectName(QStringLiteral("alarmScrollArea"));
    scrollArea_->setAccessibleName(tr("アラーム一覧"));
    scrollArea_->setWidget(canvas_);
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
    layout->addWidget(saveFailedMessage_);
    layout->addWidget(pages_, 1);

    connect(addButton_, &QPushButton::clicked, this, &AlarmSettingsView::addAlarm);
    connect(scrollArea_->verticalScrollBar(), &QScrollBar::valueChanged, this, &AlarmSettingsView::placeRows);
    canvas_->installEventFilter(this);
    scrollArea_->viewport()->installEventFilter(this);
    reload();
}

void AlarmSettingsView::reload() {
    showSaveFailure();
    showList(store_.alarms());
}

void AlarmSettingsView::addAlarm() {
    AlarmList alarms = store_.alarms();
    alarms.prepend(AlarmModel::makeNew());
    // From the button, the keyboard goes on to the new alarm's time; a click while another alarm
    // is being edited leaves that one's field the focus.
    QWidget* focus = window()->focusWidget();
    const bool editing = focus != nullptr && canvas_->isAncestorOf(focus);
    save(alarms);
    if (editing || keys_.empty() || keys_.front().id != alarms.front().id) {
        return; // or the store did not take it
    }
    scrollArea_->verticalScrollBar()->setValue(0);
    if (AlarmRow* row = rows_.value(keys_.front())) {
        row->editHour();
    }
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

// The typed text is stored first, then its sanitized form, also when the first save failed;
// showing the stored list puts the sanitized text into the field with the cursor at its end.
void AlarmSettingsView::editTime(const AlarmRow& row, QString AlarmModel::*field, const QString& typed,
                                 QString (*sanitize)(const QString&)) {
    setField(row, field, typed);
    const QString sanitized = sanitize(typed);
    if (sanitized != typed) {
        setField(row, field, sanitized);
    }
}

template <typename T>
void AlarmSettingsView::setField(const AlarmRow& row, T AlarmModel::*field, const T& value) {
    AlarmList alarms = store_.alarms();
    const std::optional<qsizetype> index = indexOfAlarm(alarms, row.alarmId(), row.occurrence());
    if (!index) {
        // Removed by someone else since this row was drawn.
        showList(alarms);
        return;
    }
    alarms[*index].*field = value;
    save(alarms);
}

void AlarmSettingsView::save(const AlarmList& alarms) {
    if (!store_.setAlarms(alarms)) {
        // Show what the store really holds rather than an edit that was not kept.
        reload();
        return;
    }
    showSaveFailure();
    showList(alarms);
}

void AlarmSettingsView::showSaveFailure() {
    const std::optional<QString>& failure = store_.saveFailure();
    saveFailedMessage_->setText(failure ? tr("変更は保存されていません: %1").arg(*failure) : QString());
    saveFailedMessage_->setVisible(failure.has_value());
}

void AlarmSettingsView::showList(const AlarmList& alarms) {
    shown_ = alarms;
    keys_.clear();
    keys_.reserve(static_cast<std::size_t>(alarms.size()));
    indexOfKey_.clear();
    indexOfKey_.reserve(alarms.size());
    QHash<RowKey, int> seen; // alarms so far with each id, under occurrence 0
    for (qsizetype i = 0; i < alarms.size(); ++i) {
        const RowKey key{alarms[i].id, seen[RowKey{alarms[i].id}]++};
        keys_.push_back(key);
        indexOfKey_.insert(key, i);
    }
    pages_->setCurrentWidget(alarms.isEmpty() ? emptyPage_ : scrollArea_);
    placeRows();
}

// Gives each alarm in sight a row at its place in the list, fills it, and lets the others go.
void AlarmSettingsView::placeRows() {
    bool madeOrRetired = false;
    if (rowPitch_ == 0 && !keys_.empty()) {
        AlarmRow* first = makeRow(keys_.front());
        rows_.insert(keys_.front(), first);
        rowGap_ = rowGap(*this);
        rowPitch_ = first->sizeHint().height() + rowGap_;
        madeOrRetired = true;
    }
    // Beyond the largest widget height (some 400,000 rows) the list can't be scrolled to.
    const qsizetype heightInRows = rowPitch_ == 0 ? 0 : QWIDGETSIZE_MAX / rowPitch_;
    canvas_->setMinimumHeight(static_cast<int>(std::min(shown_.size(), heightInRows)) * rowPitch_);

    QHash<RowKey, AlarmRow*> placed;
    std::vector<AlarmRow*> ordered;
    for (const qsizetype i : indexesInSight()) {
        const RowKey& key = keys_[static_cast<std::size_t>(i)];
        AlarmRow* row = rows_.take(key);
        if (row == nullptr) {
            row = makeRow(key);
            madeOrRetired = true;
        }
        row->showAlarm(shown_[i]);
        row->setGeometry(0, static_cast<int>(i) * rowPitch_, canvas_->width(), rowPitch_ - rowGap_);
        row->show();
        placed.insert(key, row);
        ordered.push_back(row);
    }
    for (AlarmRow* row : std::as_const(rows_)) {
        retireRow(row);
        madeOrRetired = true;
    }
    rows_ = std::move(placed);
    // A retired row's address may come back for a new one, so only an unchanged set of rows is
    // compared by order.
    if (madeOrRetired || ordered != tabChain_) {
        chainTabOrder(ordered);
        tabChain_ = std::move(ordered);
    }
}

// The rows that show in the viewport, one more above and below so Tab always has a row to go to,
// and the row holding the focus wherever it is. In list order.
std::vector<qsizetype> AlarmSettingsView::indexesInSight() const {
    std::vector<qsizetype> indexes;
    if (rowPitch_ == 0) {
        return indexes;
    }
    const int top = scrollArea_->verticalScrollBar()->value();
    const qsizetype first = std::max(0, top / rowPitch_ - 1);
    const qsizetype end =
        std::min(shown_.size(), qsizetype((top + scrollArea_->viewport()->height()) / rowPitch_ + 2));
    for (qsizetype i = first; i < end; ++i) {
        indexes.push_back(i);
    }

    QWidget* focus = window()->focusWidget();
    if (focus != nullptr && canvas_->isAncestorOf(focus)) {
        for (auto it = rows_.cbegin(); it != rows_.cend(); ++it) {
            const qsizetype index = indexOfKey_.value(it.key(), -1);
            if (index >= 0 && (index < first || index >= end) && it.value()->isAncestorOf(focus)) {
                indexes.insert(index < first ? indexes.begin() : indexes.end(), index);
                break;
            }
        }
    }
    return indexes;
}

AlarmRow* AlarmSettingsView::makeRow(const RowKey& key) {
    auto* row = new AlarmRow(key.id, key.occurrence, canvas_);
    connect(row, &AlarmRow::enabledClicked, this, &AlarmSettingsView::onEnabledClicked);
    connect(row, &AlarmRow::hourEdited, this, &AlarmSettingsView::onHourEdited);
    connect(row, &AlarmRow::minutesEdited, this, &AlarmSettingsView::onMinutesEdited);
    connect(row, &AlarmRow::titleEdited, this, &AlarmSettingsView::onTitleEdited);
    connect(row, &AlarmRow::deleteClicked, this, &AlarmSettingsView::onDeleteClicked);
    row->findChild<QWidget*>(QStringLiteral("clockIcon"))->installEventFilter(this);
    return row;
}

// The row may be the one whose button or field is calling us, so it goes only once control is
// back in the event loop. Hidden now, it takes no input and hands its focus to the next row.
void AlarmSettingsView::retireRow(AlarmRow* row) {
    row->hide();
    row->deleteLater();
}

bool AlarmSettingsView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && (watched == canvas_ || watched == scrollArea_->viewport())) {
        placeRows();
    }
    // Asked for when the pointer rests on a row's clock symbol, so the times are never stale.
    if (event->type() == QEvent::ToolTip && watched->objectName() == QLatin1String("clockIcon")) {
        if (const auto* row = qobject_cast<const AlarmRow*>(watched->parent());
            row && showOccurrences(*row, static_cast<QHelpEvent*>(event)->globalPos())) {
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool AlarmSettingsView::showOccurrences(const AlarmRow& row, const QPoint& globalPos) {
    const qsizetype index = indexOfKey_.value(RowKey{row.alarmId(), row.occurrence()}, -1);
    if (index < 0) {
        return false;
    }
    const auto nowMs = static_cast<std::int64_t>(std::floor(now_() * 1000.0));
    QToolTip::showText(globalPos, occurrencesToolTip(shown_[index], nowMs),
                       row.findChild<QWidget*>(QStringLiteral("clockIcon")));
    return true;
}

// Tab follows reading order: the add button, then each row left to right, top to bottom. Screen
// readers list the rows in the order of the canvas's children, so that follows it too.
void AlarmSettingsView::chainTabOrder(const std::vector<AlarmRow*>& rows) {
    QWidget* previous = addButton_;
    for (AlarmRow* row : rows) {
        row->raise();
        for (QWidget* control : row->focusOrder()) {
            QWidget::setTabOrder(previous, control);
            previous = control;
        }
    }
}
