#include "ui/alarm_settings_window.h"

#include "ui/alarm_settings_view.h"
#include "ui/application_icon.h"

#include <QShortcut>
#include <QVBoxLayout>

AlarmSettingsWindow::AlarmSettingsWindow(SettingsStore& store, std::function<double()> now, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , view_(new AlarmSettingsView(store, std::move(now), this)) {
    useApplicationIcon();
    setObjectName(QStringLiteral("alarmSettingsWindow"));
    setWindowTitle(tr("アラーム設定"));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kMinimumWidth, kMinimumHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    // Ctrl+W closes it from the keyboard, as in other desktop windows; closing only hides it.
    auto* close = new QShortcut(QKeySequence::Close, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void AlarmSettingsWindow::showAndActivate() {
    if (!isVisible()) {
        // Shown afresh from the store: another process may have changed the list meanwhile.
        view_->reload();
    }
    // An open window only comes to the front, maximised or not; a minimised one is brought back.
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    show();
    raise();
    activateWindow();
}
