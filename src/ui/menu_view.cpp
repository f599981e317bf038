#include "ui/menu_view.h"

#include "clock/timer_model.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace {

QAction* addEntry(QMenu& menu, const QString& text, const char* objectName) {
    QAction* action = menu.addAction(text);
    action->setObjectName(QLatin1String(objectName));
    return action;
}

} // namespace

MenuView::MenuView(TimerModel& model, QObject* parent)
    : QObject(parent)
    , model_(model)
    , menu_(std::make_unique<QMenu>()) {
    menu_->setObjectName(QStringLiteral("clockMenu"));

    timeSignal_ = addEntry(*menu_, tr("時報"), "timeSignalAction");
    timeSignal_->setCheckable(true);
    connect(timeSignal_, &QAction::triggered, this, &MenuView::toggleTimeSignal);

    menu_->addSeparator();

    alarms_ = addEntry(*menu_, tr("アラームを作動"), "alarmsAction");
    alarms_->setCheckable(true);
    connect(alarms_, &QAction::triggered, this, &MenuView::toggleAlarms);

    QAction* alarmSettings = addEntry(*menu_, tr("アラーム設定"), "alarmSettingsAction");
    connect(alarmSettings, &QAction::triggered, this, &MenuView::alarmSettingsRequested);

    menu_->addSeparator();

    QAction* about = addEntry(*menu_, tr("Variredu Divar について"), "aboutAction");
    connect(about, &QAction::triggered, this, &MenuView::aboutRequested);

    QAction* support = addEntry(*menu_, tr("サポート"), "supportAction");
    connect(support, &QAction::triggered, this, &MenuView::supportRequested);

    QAction* quit = addEntry(*menu_, tr("Variredu Divar を終了..."), "quitAction");
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Some styles hide shortcuts in menus that don't belong to a menu bar.
    quit->setShortcutVisibleInContextMenu(true);
    connect(quit, &QAction::triggered, this, &MenuView::quitRequested);

    connect(menu_.get(), &QMenu::aboutToShow, this, &MenuView::refresh);
    connect(&model_, &TimerModel::changed, this, &MenuView::refreshWhileShown);
    refresh();
}

MenuView::~MenuView() = default;

void MenuView::refresh() {
    timeSignal_->setChecked(model_.enableTimeSignal());
    alarms_->setChecked(model_.enableAlarm());
    alarms_->setEnabled(!model_.alarms().isEmpty());
}

// The checkmark may be stale (the settings window or another process can write the store), so the
// stored value decides what the switch turns into.
void MenuView::toggleTimeSignal() {
    model_.setEnableTimeSignal(!model_.enableTimeSignal());
    timeSignal_->setChecked(model_.enableTimeSignal());
}

void MenuView::toggleAlarms() {
    model_.setEnableAlarm(!model_.enableAlarm());
    alarms_->setChecked(model_.enableAlarm());
}

// The model announces every second; reading and decoding the alarm list that often is only worth it
// while someone can see the menu.
void MenuView::refreshWhileShown() {
    if (menu_->isVisible()) {
        refresh();
    }
}
