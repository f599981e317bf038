#include "app/application.h"

#include "alarms/settings_store.h"
#include "ui/about_dialog.h"
#include "ui/alarm_settings_window.h"
#include "ui/menu_view.h"
#include "ui/support_link.h"

#include <QCoreApplication>

DaziviruVuzudIdi::DaziviruVuzudIdi(SettingsStore& store, std::unique_ptr<SpeechOutput> speech, Seams seams,
                                   QObject* parent)
    : QObject(parent)
    , store_(store)
    , openUrl_(std::move(seams.openUrl))
    , clock_(seams.clock)
    , timerModel_(std::make_unique<TimerModel>(std::move(seams.clock), std::move(speech),
                                               std::move(seams.preferredLanguages), store))
    , menuView_(std::make_unique<MenuView>(*timerModel_))
    , clockTray_(std::make_unique<ClockTray>(*timerModel_, menuView_->menu(), std::move(seams.trayAvailable),
                                             seams.trayIconStart)) {
    connect(menuView_.get(), &MenuView::alarmSettingsRequested, this, &DaziviruVuzudIdi::openAlarmSettings);
    connect(menuView_.get(), &MenuView::aboutRequested, this, &DaziviruVuzudIdi::showAbout);
    connect(menuView_.get(), &MenuView::supportRequested, this, &DaziviruVuzudIdi::openSupport);
    connect(menuView_.get(), &MenuView::quitRequested, this, &DaziviruVuzudIdi::quit);
}

DaziviruVuzudIdi::~DaziviruVuzudIdi() = default;

void DaziviruVuzudIdi::openAlarmSettings() {
    if (!window_) {
        window_ = std::make_unique<AlarmSettingsWindow>(store_, clock_);
    }
    window_->showAndActivate();
}

void DaziviruVuzudIdi::showAbout() {
    showAboutDialog();
}

void DaziviruVuzudIdi::openSupport() {
    openSupportAddress(supportAddress(), openUrl_);
}

void DaziviruVuzudIdi::quit() {
    QCoreApplication::exit(0);
}
