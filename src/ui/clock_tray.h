#pragma once

#include "clock/upcoming.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class LabelWindow;
class QMenu;
class QSystemTrayIcon;
class TimerModel;

// The clock's place on the desktop: a tray icon showing the Valdrian time (the label "VT: HH:MM" and
// what will be said next as its tooltip), and, when no tray host shows up, a small label window
// instead. Displays only what the model says; a new icon is handed to the tray only when the HH:MM
// text changes, a new tooltip only when it or what comes next changes.
// Qt chooses once per process, when the first tray icon is made, between the D-Bus tray
// (StatusNotifierItem) and X11's own (XEmbed), and a D-Bus tray not there then is never used. So
// where X11 can't embed the icon, it is made only once a D-Bus tray host has appeared.
class ClockTray : public QObject {
    Q_OBJECT

public:
    using TrayAvailable = std::function<bool()>;
    // A tray host that starts after us (a panel at login) is looked for this often...
    static constexpr std::chrono::seconds kTrayCheckInterval{5};
    // ...and after this many checks without one (about 30 s) the label window is shown.
    static constexpr int kChecksBeforeLabelWindow = 6;

    enum class IconStart {
        AtOnce,            // X11: the icon is embedded in a tray host that starts later
        WithFirstTrayHost, // elsewhere: when trayHostAppeared() is first called
    };

    // menu: shown from the tray icon and from the label window; not owned.
    ClockTray(const TimerModel& model, QMenu& menu, TrayAvailable trayAvailable, IconStart iconStart,
              QObject* parent = nullptr);
    ~ClockTray() override;

    [[nodiscard]] QString label() const { return label_; }
    // Icons handed to the tray so far, the first one (at construction) included.
    [[nodiscard]] int iconUpdates() const { return iconUpdates_; }
    // Null until made.
    [[nodiscard]] const QSystemTrayIcon* trayIcon() const { return trayIcon_.get(); }
    // The label window while it is shown, else null.
    [[nodiscard]] QWidget* labelWindow() const;

public slots:
    // Looks for a tray host: hides the label window when one is there, shows it after
    // kChecksBeforeLabelWindow checks without one. Run by a timer until a tray host is first seen,
    // then on the model's ticks; tests call it directly.
    void checkTray();
    // A D-Bus tray host is there now: the icon is made if it waited for one, and the label window goes.
    void trayHostAppeared();
    // No tray is coming (no StatusNotifierWatcher where only one could show the icon): the label window
    // shows now. A Wayland compositor may give each new window the focus, which a program just started
    // may take; the same window showing half a minute later would take it from the game.
    void noTrayHostToWaitFor();

private:
    void makeTrayIcon();
    void handIconOver();
    void refresh();

    const TimerModel& model_;
    QMenu& menu_;
    TrayAvailable trayAvailable_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    std::unique_ptr<LabelWindow> labelWindow_;
    QTimer trayCheck_;
    QElapsedTimer sinceTrayCheck_;
    QString label_;
    QString toolTip_;
    Upcoming upcoming_;
    int iconUpdates_ = 0;
    int checksWithoutTray_ = 0;
};
