#include "ui/alarm_row.h"

#include "ui/symbol_icons.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>

#include <limits>

namespace {

constexpr int kRowPadding = 4;
constexpr int kTimeFieldWidth = 40;

// Deleting a row moves the next row's button under the pointer; the second click of a double
// click would then delete that alarm too.
class DeleteButton : public QToolButton {
public:
    explicit DeleteButton(QWidget* parent)
        : QToolButton(parent) {}

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
};

// QLineEdit cuts longer texts at 32,767 characters, and an edit would store the cut text.
QLineEdit* makeUnlimitedField(const QString& objectName, const QString& accessibleName, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setMaxLength(std::numeric_limits<int>::max());
    field->setAccessibleName(accessibleName);
    return field;
}

QLineEdit* makeTimeField(const QString& objectName, const QString& accessibleName, QWidget* parent) {
    QLineEdit* field = makeUnlimitedField(objectName, accessibleName, parent);
    field->setPlaceholderText(QStringLiteral("00"));
    field->setFixedWidth(kTimeFieldWidth);
    field->setAlignment(Qt::AlignCenter);
    return field;
}

// Moves the item's widgets, or those of its nested layout, to the end of their parent's children.
void raiseInLayoutOrder(QLayoutItem* item) {
    if (QWidget* widget = item->widget()) {
        widget->raise();
    } else if (QLayout* layout = item->layout()) {
        for (int i = 0; i < layout->count(); ++i) {
            raiseInLayoutOrder(layout->itemAt(i));
        }
    }
}

QLabel* makeIconLabel(Symbol symbol, const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    const int extent = parent->style()->pixelMetric(QStyle::PM_SmallIconSize);
    label->setPixmap(symbolIcon(symbol).pixmap(QSize(extent, extent), parent->devicePixelRatioF()));
    return label;
}

// An icon followed by its content, like a labelled group.
QHBoxLayout* makeGroup(QLabel* icon) {
    auto* group = new QHBoxLayout;
    group->setContentsMargins(0, 0, 0, 0);
    group->addWidget(icon);
    return group;
}

void setTextIfDifferent(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
    }
}

// Each change is announced to screen readers, so only a different text is set.
void setAccessibleNameIfDifferent(QWidget* control, const QString& name) {
    if (control->accessibleName() != name) {
        control->setAccessibleName(name);
    }
}

void setAccessibleDescriptionIfDifferent(QWidget* control, const QString& description) {
    if (control->accessibleDescription() != description) {
        control->setAccessibleDescription(description);
    }
}

// The alarm as a screen reader names it: "07:30 釣り大会", a long title cut short, on one line.
QString alarmCaption(const AlarmModel& alarm) {
    constexpr qsizetype kTitleLength = 30;
    QString title = alarm.title.simplified();
    if (title.size() > kTitleLength) {
        title.truncate(title.at(kTitleLength - 1).isHighSurrogate() ? kTitleLength - 1 : kTitleLength);
        title += u'…';
    }
    return QStringLiteral("%1:%2 %3").arg(alarm.hour, alarm.minutes, title).trimmed();
}

} // namespace

AlarmRow::AlarmRow(const QUuid& alarmId, int occurrence, QWidget* parent)
    : QWidget(parent)
    , alarmId_(alarmId)
    , occurrence_(occurrence)
    , enabled_(new QCheckBox(this))
    , hour_(makeTimeField(QStringLiteral("hourField"), tr("アラームの時"), this))
    , minutes_(makeTimeField(QStringLiteral("minutesField"), tr("アラームの分"), this))
    , title_(makeUnlimitedField(QStringLiteral("titleField"), tr("アラーム内容"), this))
    , delete_(new DeleteButton(this)) {
    setObjectName(QStringLiteral("alarmRow"));

    enabled_->setObjectName(QStringLiteral("enabledCheckBox"));

    title_->setPlaceholderText(tr("アラーム内容"));

    delete_->setObjectName(QStringLiteral("deleteButton"));
    delete_->setAutoRaise(true);
    delete_->setIcon(symbolIcon(Symbol::CrossCircle));

    auto* time = makeGroup(makeIconLabel(Symbol::Clock, QStringLiteral("clockIcon"), this));
    time->addWidget(hour_);
    time->addWidget(new QLabel(QStringLiteral(":"), this));
    time->addWidget(minutes_);

    auto* title = makeGroup(makeIconLabel(Symbol::SpeakerBubble, QStringLiteral("titleIcon"), this));
    title->addWidget(title_, 1);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kRowPadding, kRowPadding, kRowPadding, kRowPadding);
    row->addWidget(enabled_);
    row->addLayout(time);
    row->addLayout(title, 1);
    row->addWidget(delete_);
    // Screen readers list a row's controls in the order of its children: made left to right.
    for (int i = 0; i < row->count(); ++i) {
        raiseInLayoutOrder(row->itemAt(i));
    }

    // clicked and textEdited come from the user only, so showing stored values writes nothing back.
    connect(enabled_, &QCheckBox::clicked, this,
            [this](bool checked) { emit enabledClicked(this, checked); });
    connect(hour_, &QLineEdit::textEdited, this,
            [this](const QString& text) { emit hourEdited(this, text); });
    connect(minutes_, &QLineEdit::textEdited, this,
            [this](const QString& text) { emit minutesEdited(this, text); });
    connect(title_, &QLineEdit::textEdited, this,
            [this](const QString& text) { emit titleEdited(this, text); });
    connect(delete_, &QToolButton::clicked, this, [this] { emit deleteClicked(this); });
}

void AlarmRow::showAlarm(const AlarmModel& alarm) {
    enabled_->setChecked(alarm.enabled);
    setTextIfDifferent(hour_, alarm.hour);
    setTextIfDifferent(minutes_, alarm.minutes);
    setTextIfDifferent(title_, alarm.title);
    const QString caption = alarmCaption(alarm);
    setAccessibleNameIfDifferent(this, tr("アラーム %1").arg(caption));
    setAccessibleNameIfDifferent(enabled_, tr("アラーム %1 有効").arg(caption));
    // The fields keep their own names, which say what is typed in them.
    for (QWidget* field : {hour_, minutes_, title_}) {
        setAccessibleDescriptionIfDifferent(field, tr("アラーム %1").arg(caption));
    }
    // The button shows only an icon; a screen reader says which alarm it deletes.
    setAccessibleNameIfDifferent(delete_, tr("アラーム %1 を削除").arg(caption));
}

void AlarmRow::editHour() {
    hour_->setFocus(Qt::OtherFocusReason);
}

QList<QWidget*> AlarmRow::focusOrder() const {
    return {enabled_, hour_, minutes_, title_, delete_};
}
