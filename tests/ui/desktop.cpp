// The clock on the desktop: its menu, tray icon and label window, the application carrying out
// the menu's commands, and the choice of language.

#include "app/application.h"
#include "support.h"
#include "ui/alarm_settings_window.h"
#include "ui/clock_icon.h"
#include "ui/clock_tray.h"
#include "ui/menu_view.h"
#include "ui/support_link.h"
#include "ui/translations.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;
namespace keys = settings_keys;

QAction* entry(const QMenu& menu, const char* name) {
    return menu.findChild<QAction*>(QLatin1String(name));
}

// The store is written behind the menu's back (by the window or another process): the marks
// follow it when the menu opens, and a switch inverts what is stored, not what its stale mark
// shows.
TEST(Menu, FollowsTheStore) {
    ModelRig rig;
    rig.start(realAt(7, 5));
    const MenuView view(*rig.model);
    QAction* timeSignal = entry(view.menu(), "timeSignalAction");
    QAction* alarms = entry(view.menu(), "alarmsAction");
    const std::unique_ptr<SettingsStore> other = rig.settings.open();
    // The alarm switch can be chosen only when there are alarms.
    for (const auto& [timeSignalOn, alarmsOn, anyAlarm] :
         {std::tuple{true, false, false}, std::tuple{true, true, false}, std::tuple{false, true, true}}) {
        ASSERT_TRUE(other->writeBool(keys::kEnableTimeSignal, timeSignalOn));
        ASSERT_TRUE(other->writeBool(keys::kEnableAlarm, alarmsOn));
        ASSERT_TRUE(other->setAlarms(anyAlarm ? AlarmList{alarmAt("07", "00")} : AlarmList{}));
        view.menu().popup({});
        EXPECT_EQ((std::tuple{timeSignal->isChecked(), alarms->isChecked(), alarms->isEnabled()}),
                  (std::tuple{timeSignalOn, alarmsOn, anyAlarm}));
        view.menu().hide();
    }
    for (const auto& [toggle, key] :
         {std::pair{timeSignal, keys::kEnableTimeSignal}, std::pair{alarms, keys::kEnableAlarm}}) {
        SCOPED_TRACE(key.name);
        const bool shown = toggle->isChecked();
        ASSERT_TRUE(other->writeBool(key, !shown));
        toggle->trigger();
        EXPECT_EQ(other->readBool(key), shown);
        EXPECT_EQ(toggle->isChecked(), shown);
    }
}

// A tray on a clock model that moves only when ticked, with a tray host only when the test says.
struct Tray : ModelRig {
    explicit Tray(double at) {
        start(at);
        tray = std::make_unique<ClockTray>(*model, menu, [this] { return trayHost; });
    }
    void tickAt(double at) {
        now = at;
        model->tick();
        QCoreApplication::sendPostedEvents();
    }
    QMenu menu;
    bool trayHost = false;
    std::unique_ptr<ClockTray> tray;
};

// Tray hosts pay for every icon handed over: a new one only when "VT: HH:MM" changes, drawn for
// the size and scale asked rather than scaled from another.
TEST(Tray, NewIconOnlyWhenTheTextChanges) {
    const double start = realAt(23, 58, 0);
    Tray t(start);
    QSet<QString> labels;
    for (double now = start; now < start + 15; now += 0.4) {
        t.tickAt(now);
        const QString label = clockLabel(ZuduzirEraz(now));
        labels.insert(label);
        EXPECT_EQ(t.tray->label() + t.tray->trayIcon().toolTip(), label + label);
        ASSERT_EQ(t.tray->iconUpdates(), labels.size()) << label.toStdString();
    }
    EXPECT_GE(labels.size(), 5);
    for (const qreal ratio : {1.0, 2.0}) {
        EXPECT_EQ(t.tray->trayIcon().icon().pixmap(QSize(22, 22), ratio).toImage(),
                  clockPixmap(0, 3, 22, ratio).toImage());
    }
}

// The hour over the minute: each half drawn from its own number.
TEST(Tray, IconDrawsTheHourOverTheMinute) {
    const auto half = [](int hour, int minute, int which) {
        return clockPixmap(hour, minute, 22, 1).toImage().copy(0, which * 11, 22, 11);
    };
    EXPECT_EQ(half(7, 5, 0), half(7, 59, 0));
    EXPECT_NE(half(7, 5, 0), half(23, 5, 0));
    EXPECT_EQ(half(7, 5, 1), half(23, 5, 1));
}

TEST(Tray, LabelWindowStandsInWhileNoTrayHostShowsUp) {
    static_assert(ClockTray::kChecksBeforeLabelWindow == 6, "the rows count six checks");
    // Per check: 1 when a tray host is there; W when the label window shows after it.
    for (const auto& [host, shown] :
         {std::pair{"000001000000", "...........W"}, std::pair{"0000001", ".....W."}}) {
        Tray t(realAt(7, 5));
        for (std::size_t i = 0; host[i] != 0; ++i) {
            t.trayHost = host[i] == '1';
            t.tray->checkTray();
            EXPECT_EQ(t.tray->labelWindow() != nullptr, shown[i] == 'W') << host << " check " << i + 1;
        }
        if (t.tray->labelWindow() != nullptr) {
            t.tickAt(realAt(7, 6));
            EXPECT_EQ(t.tray->labelWindow()->findChild<QLabel*>(u"clockLabel"_s)->text(), u"VT: 07:06");
        }
    }
}

TEST(Application, CarriesOutTheMenuCommands) {
    TempSettings settings;
    QList<QUrl> opened;
    const auto open = [&opened](const QUrl& url) {
        return (opened.append(url), true);
    };
    DaziviruVuzudIdi app(
        *settings.store, std::make_unique<NullSpeechOutput>(),
        {[] { return realAt(7, 5); }, [] { return QStringList{u"ja-JP"_s}; }, [] { return true; }, open});
    const auto choose = [&app](const char* name) {
        entry(app.menuView().menu(), name)->trigger();
    };
    choose("alarmSettingsAction");
    AlarmSettingsWindow* window = app.alarmSettingsWindow();
    ASSERT_NE(window, nullptr);
    window->close();
    ASSERT_TRUE(settings.store->setAlarms({alarmAt("07", "00")})); // while it was closed
    choose("alarmSettingsAction");
    EXPECT_EQ(window->findChildren<QWidget*>(u"alarmRow"_s).size(), 1);
    QWidget other;
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    choose("alarmSettingsAction"); // open behind another window: the same one comes to the front
    EXPECT_EQ(app.alarmSettingsWindow(), window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));

    choose("aboutAction");
    choose("aboutAction");
    QList<QWidget*> about = QApplication::topLevelWidgets();
    about.removeIf([](QWidget* w) { return qobject_cast<QMessageBox*>(w) == nullptr || !w->isVisible(); });
    ASSERT_EQ(about.size(), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    about[0]->close();

    choose("supportAction");
    EXPECT_EQ(opened, QList<QUrl>{QUrl(supportAddress())});
    QTimer deadline;
    QObject::connect(&deadline, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    deadline.start(10000);
    QTimer::singleShot(0, entry(app.menuView().menu(), "quitAction"), &QAction::trigger);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST(Application, SupportLinkOpensOnlyAnAbsoluteHttpsAddress) {
    for (const char* address : {"https://x.example/", "http://x.example/", "https://", "not a url", ""}) {
        int opened = 0;
        openSupportAddress(QString::fromLatin1(address), [&opened](const QUrl&) { return ++opened > 0; });
        EXPECT_EQ(opened, address == "https://x.example/"_L1 ? 1 : 0) << address;
    }
}

// The texts are written in Japanese; any other first language, or none, reads English.
TEST(Translations, EnglishUnlessTheFirstLanguageIsJapanese) {
    ModelRig rig;
    rig.start(realAt(7, 5));
    for (const auto& [languages, japanese] :
         {std::pair{QStringList{"ja-JP"}, true}, std::pair{QStringList{"ja"}, true},
          std::pair{QStringList{"en-US", "ja"}, false}, std::pair{QStringList{}, false}}) {
        installTranslations(*qApp, languages);
        const MenuView view(*rig.model);
        const AlarmSettingsWindow window(*rig.settings.store);
        EXPECT_EQ(entry(view.menu(), "timeSignalAction")->text() + window.windowTitle(),
                  japanese ? u"時報アラーム設定"_s : u"Time signalAlarm settings"_s)
            << languages.join(u',').toStdString();
        qDeleteAll(qApp->findChildren<QTranslator*>()); // each takes itself out
    }
}

} // namespace
