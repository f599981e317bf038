#include "app/desktop.h"

#include "alarms/settings_store.h"
#include "app/application.h"
#include "app/instance_files.h"
#include "app/modes.h"
#include "app/single_instance.h"
#include "app/speaking_lock.h"
#include "app/status_notifier_hosts.h"
#include "app/system_seams.h"
#include "app/unix_signals.h"
#include "ui/translations.h"
#include "version.h"

#include <QApplication>
#include <QDesktopServices>
#include <QSystemTrayIcon>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>

namespace {

// How long a launch waits for a clock that doesn't answer to end.
constexpr std::chrono::seconds kHolderWait{5};

bool hasDisplayVariable() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int runTerminalInstead(int& argc, char** argv, const CommandLine& options, const char* why) {
    std::fprintf(stderr, "%s: %s; running in the terminal\n", kApplicationName, why);
    const QCoreApplication app(argc, argv);
    return runTerminal(options);
}

// Makes this the one tray program, or hands the launch to the running one: none to go on as the
// tray, else the exit status. Terminal clocks take no part: they never keep a tray from starting.
std::optional<int> becomeTheTray(SingleInstance& instance) {
    switch (instance.acquire()) {
    case SingleInstance::Claim::Taken:
        return std::nullopt;
    case SingleInstance::Claim::Impossible:
        std::fprintf(stderr, "%s: can't make the lock file %s; a later launch will start another tray\n",
                     kApplicationName, qUtf8Printable(instance.lockPath()));
        return std::nullopt;
    case SingleInstance::Claim::HeldByAnother:
        break;
    }
    if (instance.askRunningInstanceToOpenSettings()) {
        return 0;
    }
    // A clock that is quitting no longer answers and lets the lock go a moment later.
    QObject::connect(&instance, &SingleInstance::waitingForHolder, &instance, [](const QString& holder) {
        std::fprintf(stderr, "%s: the running clock, %s, doesn't answer; waiting up to %d s for it to end\n",
                     kApplicationName, qUtf8Printable(holder), int(kHolderWait.count()));
    });
    if (!instance.acquireWhenFree(kHolderWait)) {
        std::fprintf(stderr,
                     "%s: the running clock, %s, doesn't answer and did not end; not starting another\n",
                     kApplicationName, qUtf8Printable(instance.describeHolder()));
        return 1;
    }
    return std::nullopt;
}

} // namespace

int runDesktop(int& argc, char** argv, const CommandLine& options) {
    if (!hasDisplayVariable()) {
        return runTerminalInstead(argc, argv, options, "no display");
    }
    // Without this, QApplication aborts when the display can't be opened; with it Qt falls back to
    // the offscreen platform, which we take as "no display". A platform the user chose is kept.
    // X11 (XWayland on a Wayland desktop) first: there the label window may keep itself above
    // other windows and in the corner it asks for, which Wayland leaves to the compositor.
    const bool platformChosenHere = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (platformChosenHere) {
        qputenv("QT_QPA_PLATFORM",
                qEnvironmentVariableIsEmpty("DISPLAY") ? "wayland;offscreen" : "xcb;wayland;offscreen");
    }
    // The X11 shared-memory backing store waits on a round trip to the server before each repaint:
    // most of the icon's wakeups. Plain image transfer costs nothing noticeable for a 22 px icon.
    const bool shmChosenHere = qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM");
    if (shmChosenHere) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    QApplication app(argc, argv);
    if (shmChosenHere) {
        qunsetenv("QT_XCB_NO_MITSHM");
    }
    if (platformChosenHere) {
        // Programs we start (the browser) choose their own platform.
        qunsetenv("QT_QPA_PLATFORM");
        if (QGuiApplication::platformName() == u"offscreen") {
            std::fprintf(stderr, "%s: cannot open the display; running in the terminal\n", kApplicationName);
            return runTerminal(options);
        }
    }

    const InstanceDirectory directory = instanceDirectory();
    SingleInstance instance(directory.path);
    if (directory.path.isEmpty()) {
        std::fprintf(stderr, "%s: %s; a later launch will start another tray\n", kApplicationName,
                     qUtf8Printable(directory.problem));
    } else if (const std::optional<int> status = becomeTheTray(instance)) {
        return *status;
    }
    // SIGHUP comes at session logout: everything is saved already, so just leave cleanly. Set up
    // before the tray shows, so that a signal from then on ends the clock cleanly.
    const QuitOnSignals quit({SIGINT, SIGTERM, SIGHUP});

    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kApplicationId));
    // Qt's tray item (StatusNotifierItem) takes its title from the application name, so in the tray
    // program that is the name people read. The technical one has done its work by now: the command
    // line is read, and the settings and single-instance files are named on their own.
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationDisplayName));
    QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationDisplayName));
    installTranslations(app, systemPreferredLanguages());

    const std::unique_ptr<SettingsStore> store = SettingsStore::openUserStore();
    warnIfSettingsCannotBeSaved(*store);
    // Not the same as the tray's lock: a terminal clock with a voice may be the one speaking.
    const std::unique_ptr<SpeakingLock> lock = speakingLockFor(options.speech, directory);
    // Only X11 embeds a tray icon in a tray host that comes later.
    const auto iconStart = QGuiApplication::platformName() == u"xcb"
                               ? ClockTray::IconStart::AtOnce
                               : ClockTray::IconStart::WithFirstTrayHost;
    DaziviruVuzudIdi application(*store, makeAnnouncer(options.speech, *store, lock.get(), &systemNow),
                                 {&systemNow, &systemPreferredLanguages,
                                  &QSystemTrayIcon::isSystemTrayAvailable, iconStart,
                                  &QDesktopServices::openUrl});
    const StatusNotifierHosts trayHosts(QDBusConnection::sessionBus());
    QObject::connect(&trayHosts, &StatusNotifierHosts::hostRegistered, &application.clockTray(),
                     &ClockTray::trayHostAppeared);
    if (iconStart == ClockTray::IconStart::WithFirstTrayHost && !trayHosts.watcherPresent()) {
        application.clockTray().noTrayHostToWaitFor();
    }
    QObject::connect(&instance, &SingleInstance::openSettingsRequested, &application,
                     &DaziviruVuzudIdi::openAlarmSettings);
    const int status = QApplication::exec();
    // Before anything on the way out can wait (the speech thread): a launch from now on is the tray,
    // and another clock may start speaking.
    instance.release();
    if (lock) {
        lock->release();
    }
    return status;
}
