#include "ui/alarm_settings_window.h"

#include "ui/alarm_settings_view.h"

#include <QVBoxLayout>

AlarmSettingsWindow::AlarmSettingsWindow(SettingsStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , view_(new AlarmSettingsView(store, this)) {
    setObjectName(QStringLiteral("alarmSettingsWindow"));
    setWindowTitle(tr("アラーム設定"));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kMinimumWidth, kMinimumHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

void AlarmSettingsWindow::showAndActivate() {
    if (!isVisible()) {
        // Shown afresh from the store: another process may have changed the list meanwhile.
        view_->reload();
    }
    showNormal();
    raise();
    activateWindow();
}
