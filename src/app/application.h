#pragma once

#include "clock/timer_model.h"
#include "ui/clock_tray.h"

#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

class AlarmSettingsWindow;
class MenuView;
class SettingsStore;
class SpeechOutput;

// The tray application: owns the one clock model for the life of the process, the tray item with
// its menu, and the alarm settings window, created on first use. Carries out the menu's commands.
class DaziviruVuzudIdi : public QObject {
    Q_OBJECT

public:
    // What the application takes from the desktop; tests hand in fakes.
    struct Seams {
        TimerModel::Clock clock;
        TimerModel::PreferredLanguages preferredLanguages;
        ClockTray::TrayAvailable trayAvailable;
        ClockTray::IconStart trayIconStart;
        std::function<bool(const QUrl&)> openUrl;
    };

    DaziviruVuzudIdi(SettingsStore& store, std::unique_ptr<SpeechOutput> speech, Seams seams,
                     QObject* parent = nullptr);
    ~DaziviruVuzudIdi() override;

    [[nodiscard]] TimerModel& timerModel() const { return *timerModel_; }
    [[nodiscard]] MenuView& menuView() const { return *menuView_; }
    [[nodiscard]] ClockTray& clockTray() const { return *clockTray_; }
    // Null until the window is first opened.
    [[nodiscard]] AlarmSettingsWindow* alarmSettingsWindow() const { return window_.get(); }

public slots:
    // Opens the one settings window, or raises and activates it when it is open.
    void openAlarmSettings();
    void showAbout();
    void openSupport();
    // Ends the event loop with status 0.
    void quit();

private:
    SettingsStore& store_;
    std::function<bool(const QUrl&)> openUrl_;
    TimerModel::Clock clock_; // also the settings window's
    std::unique_ptr<TimerModel> timerModel_;
    std::unique_ptr<MenuView> menuView_;
    std::unique_ptr<ClockTray> clockTray_;
    std::unique_ptr<AlarmSettingsWindow> window_;
};
