// The clock on the desktop: its menu, tray icon and label window, the application carrying out
// the menu's commands, and the choice of language.

#include "app/application.h"
#include "support.h"
#include "ui/alarm_settings_window.h"
#include "ui/clock_icon.h"
#include "ui/clock_tray.h"
#include "ui/label_window.h"
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

namespace keys = settings_keys;

QAction* entry(const QMenu& menu, const char* name) {
    return menu.findChild<QAction*>(QLatin1String(name));
}

// The checkmark may be stale (the store was written behind the menu's back): a switch inverts
// what is stored, not what it shows.
TEST(Menu, SwitchesInvertTheStoredValue) {
    for (const auto& [name, key] : {std::pair{"timeSignalAction", keys::kEnableTimeSignal},
                                    std::pair{"alarmsAction", keys::kEnableAlarm}}) {
        SCOPED_TRACE(name);
        ModelRig rig;
        rig.start(realAt(7, 5));
        ASSERT_TRUE(rig.settings.store->setAlarms({alarmAt("07", "00")}));
        const MenuView view(*rig.model);
        QAction* toggle = entry(view.menu(), name);
        const bool shown = toggle->isChecked();
        ASSERT_TRUE(rig.settings.open()->writeBool(key, !shown));
        toggle->trigger();
        EXPECT_EQ(rig.settings.open()->readBool(key), shown);
        EXPECT_EQ(toggle->isChecked(), shown);
    }
}

TEST(Menu, ChecksAndEnabledStateFollowTheStore) {
    ModelRig rig;
    rig.start(realAt(7, 5));
    const MenuView view(*rig.model);
    QAction* timeSignal = entry(view.menu(), "timeSignalAction");
    QAction* alarms = entry(view.menu(), "alarmsAction");
    struct Case {
        bool timeSignal;
        bool alarmsOn;
        bool anyAlarm; // the alarm switch can be chosen only then
    };
    for (const Case& c : {Case{true, false, false}, Case{false, true, true}, Case{true, true, false}}) {
        SCOPED_TRACE(testing::Message() << c.timeSignal << c.alarmsOn << c.anyAlarm);
        const std::unique_ptr<SettingsStore> other = rig.settings.open();
        ASSERT_TRUE(other->writeBool(keys::kEnableTimeSignal, c.timeSignal));
        ASSERT_TRUE(other->writeBool(keys::kEnableAlarm, c.alarmsOn));
        ASSERT_TRUE(other->setAlarms(c.anyAlarm ? AlarmList{alarmAt("07", "00")} : AlarmList{}));
        view.menu().popup({});
        EXPECT_EQ(timeSignal->isChecked(), c.timeSignal);
        EXPECT_EQ(alarms->isChecked(), c.alarmsOn);
        EXPECT_EQ(alarms->isEnabled(), c.anyAlarm);
        // While it is open, a change shows at the next tick.
        ASSERT_TRUE(other->writeBool(keys::kEnableTimeSignal, !c.timeSignal));
        rig.model->tick();
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(timeSignal->isChecked(), !c.timeSignal);
        view.menu().hide();
    }
}

// A tray on a clock model that moves only when ticked, with a tray host only when the test says.
struct Tray {
    explicit Tray(double at) {
        rig.start(at);
        tray = std::make_unique<ClockTray>(*rig.model, menu, [this] { return trayHost; });
    }
    void tickAt(double now) {
        rig.now = now;
        rig.model->tick();
        QCoreApplication::sendPostedEvents();
    }
    ModelRig rig;
    QMenu menu;
    bool trayHost = false;
    std::unique_ptr<ClockTray> tray;
};

QImage imageOf(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Tray hosts pay for every icon handed over: a new one only when "VT: HH:MM" changes.
TEST(Tray, NewIconOnlyWhenTheTextChanges) {
    const double start = realAt(23, 58, 0);
    Tray t(start);
    EXPECT_EQ(t.tray->iconUpdates(), 1);
    QString shown = t.tray->label();
    int changes = 0;
    for (double now = start; now < start + 15; now += 0.4) {
        SCOPED_TRACE(now - start);
        const int before = t.tray->iconUpdates();
        t.tickAt(now);
        const QString label = clockLabel(ZuduzirEraz(now));
        EXPECT_EQ(t.tray->label(), label);
        EXPECT_EQ(t.tray->trayIcon().toolTip(), label);
        EXPECT_EQ(t.tray->iconUpdates() - before, label == shown ? 0 : 1);
        changes += label == shown ? 0 : 1;
        shown = label;
    }
    EXPECT_GE(changes, 4);
    // The icon is drawn for the time and for the size and scale asked, not scaled from another.
    for (const qreal ratio : {1.0, 2.0}) {
        EXPECT_EQ(imageOf(t.tray->trayIcon().icon().pixmap(QSize(22, 22), ratio)),
                  imageOf(clockPixmap(0, 3, 22, ratio)));
    }
}

// The hour over the minute, light digits with a dark outline, readable on any panel.
TEST(Tray, IconDrawsTheHourOverTheMinute) {
    const auto half = [](int hour, int minute, int which) {
        return imageOf(clockPixmap(hour, minute, 22, 1)).copy(0, which * 11, 22, 11);
    };
    EXPECT_EQ(half(7, 5, 0), half(7, 59, 0));
    EXPECT_NE(half(7, 5, 0), half(23, 5, 0));
    EXPECT_EQ(half(7, 5, 1), half(23, 5, 1));
    EXPECT_NE(half(7, 5, 1), half(7, 59, 1));
    int light = 0;
    int dark = 0;
    const QImage top = half(7, 5, 0);
    for (int i = 0; i < top.width() * top.height(); ++i) {
        const QRgb p = top.pixel(i % top.width(), i / top.width());
        light += qAlpha(p) == 255 && qGray(p) > 200 ? 1 : 0;
        dark += qAlpha(p) == 255 && qGray(p) < 60 ? 1 : 0;
    }
    EXPECT_GT(light, 0);
    EXPECT_GT(dark, 0);
}

TEST(Tray, LabelWindowStandsInWhileNoTrayHostShowsUp) {
    static_assert(ClockTray::kChecksBeforeLabelWindow == 6, "the rows count six checks");
    // Per check: 1 when a tray host is there; W when the label window shows after it.
    for (const auto& [host, shown] :
         {std::pair{"000001000000", "...........W"}, std::pair{"0000001", ".....W."}}) {
        SCOPED_TRACE(host);
        Tray t(realAt(7, 5));
        for (std::size_t i = 0; host[i] != 0; ++i) {
            t.trayHost = host[i] == '1';
            t.tray->checkTray();
            EXPECT_EQ(t.tray->labelWindow() != nullptr, shown[i] == 'W') << "check " << i + 1;
        }
    }
    Tray t(realAt(7, 5));
    for (int i = 0; i < ClockTray::kChecksBeforeLabelWindow; ++i) {
        t.tray->checkTray();
    }
    ASSERT_NE(t.tray->labelWindow(), nullptr);
    const auto* label = t.tray->labelWindow()->findChild<QLabel*>(QStringLiteral("clockLabel"));
    EXPECT_EQ(label->text(), u"VT: 07:05");
    t.tickAt(realAt(7, 6));
    EXPECT_EQ(label->text(), u"VT: 07:06");
}

TEST(Tray, LabelWindowMovesWhenDraggedAndOpensTheMenuWhenClicked) {
    QMenu menu;
    menu.addAction(QStringLiteral("entry"));
    for (const QPoint drag : {QPoint(0, 0), QPoint(50, 30)}) {
        LabelWindow window(menu);
        window.move(200, 100);
        window.show();
        const QPoint home = window.pos();
        QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(10, 5));
        QTest::mouseMove(&window, QPoint(10, 5) + drag);
        QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(10, 5));
        EXPECT_EQ(window.pos() - home, drag);
        EXPECT_EQ(menu.isVisible(), drag.isNull());
        menu.hide();
    }
}

struct App {
    TempSettings settings;
    QList<QUrl> opened;
    DaziviruVuzudIdi app{*settings.store, std::make_unique<NullSpeechOutput>(),
                         DaziviruVuzudIdi::Seams{[] { return realAt(7, 5); },
                                                 [] { return QStringList{QStringLiteral("ja-JP")}; },
                                                 [] { return true; },
                                                 [this](const QUrl& url) {
                                                     opened.append(url);
                                                     return true;
                                                 }}};
    [[nodiscard]] QAction* command(const char* name) const { return entry(app.menuView().menu(), name); }
};

QList<QWidget*> shownAboutDialogs() {
    QList<QWidget*> shown;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(window) != nullptr && window->isVisible()) {
            shown.append(window);
        }
    }
    return shown;
}

TEST(Application, CarriesOutTheMenuCommands) {
    App t;
    t.command("alarmSettingsAction")->trigger();
    AlarmSettingsWindow* window = t.app.alarmSettingsWindow();
    ASSERT_NE(window, nullptr);
    window->close();
    ASSERT_TRUE(t.settings.store->setAlarms({alarmAt("07", "00")})); // while it was closed
    t.command("alarmSettingsAction")->trigger();
    EXPECT_EQ(window->findChildren<QWidget*>(QStringLiteral("alarmRow")).size(), 1);

    t.command("aboutAction")->trigger();
    t.command("aboutAction")->trigger();
    const QList<QWidget*> about = shownAboutDialogs();
    ASSERT_EQ(about.size(), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowActive(about[0]));
    // Asked for again while open behind the dialog: the same window comes to the front.
    t.command("alarmSettingsAction")->trigger();
    EXPECT_EQ(t.app.alarmSettingsWindow(), window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    about[0]->close();

    t.command("supportAction")->trigger();
    EXPECT_EQ(t.opened, QList<QUrl>{QUrl(supportAddress())});

    QTimer deadline;
    QObject::connect(&deadline, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    deadline.start(10000);
    QTimer::singleShot(0, t.command("quitAction"), &QAction::trigger);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST(Application, SupportLinkOpensOnlyAnAbsoluteHttpsAddress) {
    for (const auto& [address, opens] :
         {std::pair{"https://x.example/", true}, std::pair{"http://x.example/", false},
          std::pair{"https://", false}, std::pair{"not a url", false}, std::pair{"", false}}) {
        SCOPED_TRACE(address);
        QList<QUrl> opened;
        EXPECT_EQ(openSupportAddress(QString::fromLatin1(address),
                                     [&opened](const QUrl& url) {
                                         opened.append(url);
                                         return true;
                                     }),
                  opens);
        EXPECT_EQ(opened, opens ? QList<QUrl>{QUrl(QString::fromLatin1(address))} : QList<QUrl>{});
    }
}

// The texts are written in Japanese; any other first language, or none, reads English.
TEST(Translations, EnglishUnlessTheFirstLanguageIsJapanese) {
    ModelRig rig;
    rig.start(realAt(7, 5));
    for (const auto& [languages, japanese] :
         {std::pair{QStringList{"ja-JP"}, true}, std::pair{QStringList{"ja"}, true},
          std::pair{QStringList{"en-US", "ja"}, false}, std::pair{QStringList{}, false}}) {
        SCOPED_TRACE(languages.join(u',').toStdString());
        installTranslations(*qApp, languages);
        const MenuView view(*rig.model);
        const AlarmSettingsWindow window(*rig.settings.store);
        EXPECT_EQ(entry(view.menu(), "timeSignalAction")->text(), japanese ? "時報" : "Time signal");
        EXPECT_EQ(window.windowTitle(), japanese ? "アラーム設定" : "Alarm settings");
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }
}

} // namespace
