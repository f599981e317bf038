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
    enabled_->setAccessibleName(tr("アラーム有効"));

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
    // The button shows only an icon; a screen reader says which alarm it deletes.
    const QString deleteName = tr("アラーム %1:%2 を削除").arg(alarm.hour, alarm.minutes);
    if (delete_->accessibleName() != deleteName) {
        delete_->setAccessibleName(deleteName);
    }
}

QList<QWidget*> AlarmRow::focusOrder() const {
    return {enabled_, hour_, minutes_, title_, delete_};
}
