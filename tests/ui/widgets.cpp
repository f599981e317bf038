// The widgets driven as a user would, on the offscreen platform: the alarm settings window (keys
// and clicks on its rows, the store read back through a second reader of the same file), the
// menu, the tray icon and label window, the application carrying out the menu's commands, and the
// choice of language.

#include "app/application.h"
#include "support.h"
#include "ui/alarm_row_key.h"
#include "ui/alarm_settings_view.h"
#include "ui/alarm_settings_window.h"
#include "ui/clock_icon.h"
#include "ui/clock_tray.h"
#include "ui/menu_view.h"
#include "ui/support_link.h"
#include "ui/symbol_icons.h"
#include "ui/translations.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
namespace keys = settings_keys;

// A control of a row, by its objectName.
template <typename T = QLineEdit> T* in(QWidget* row, const char* name) {
    return row->findChild<T*>(QLatin1String(name));
}

// The view in an active window on a store of its own holding `alarms`. A list reads as
// "hh:mm title" per alarm, with "*" when it is on, joined by "|".
struct Window {
    explicit Window(const AlarmList& alarms) {
        EXPECT_TRUE(settings.store->setAlarms(alarms));
        view.reload();
        view.resize(480, 360);
        view.show();
        QApplication::setActiveWindow(&view);
    }
    [[nodiscard]] QString stored() const {
        QStringList texts;
        for (const AlarmModel& a : settings.open()->alarms()) {
            texts.append(a.hour + u':' + a.minutes + u' ' + a.title + (a.enabled ? "*" : ""));
        }
        return texts.join(u'|');
    }
    // The rows that show, top to bottom.
    [[nodiscard]] std::vector<QWidget*> rows() const {
        std::vector<QWidget*> rows;
        std::ranges::copy_if(view.findChildren<QWidget*>(u"alarmRow"_s), std::back_inserter(rows),
                             [](QWidget* row) { return !row->isHidden(); });
        std::ranges::sort(rows, {}, &QWidget::y);
        return rows;
    }
    [[nodiscard]] qsizetype rowsMade() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return view.findChildren<QWidget*>(u"alarmRow"_s).size();
    }
    void add() { QTest::mouseClick(view.findChild<QPushButton*>(u"addAlarmButton"_s), Qt::LeftButton); }
    TempSettings settings;
    AlarmSettingsView view{*settings.store};
};

TEST(AlarmWindow, NewAlarmsGoOnTop) {
    Window w({alarmAt("07", "30")});
    QSettings(w.settings.path, QSettings::IniFormat).setValue(keys::kAlarms, u"[{"_s);
    w.view.reload(); // unreadable: no alarms
    EXPECT_TRUE(w.view.findChild<QLabel*>(u"emptyListMessage"_s)->isVisible() && w.rows().empty());
    w.add();
    QTest::keyClicks(in(w.rows()[0], "titleField"), "first");
    w.add();
    EXPECT_EQ(w.stored(), u"00:00 |00:00 first");
    w.view.findChild<QPushButton*>(u"addAlarmButton"_s)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // reading order: the new row first
    EXPECT_EQ(QApplication::focusWidget(), in<QCheckBox>(w.rows()[0], "enabledCheckBox"));
}

TEST(AlarmWindow, EditsAndDeletesTheRowsOwnAlarm) {
    // sharedId: B has A's id, as a hand-edited list may; goneBehind: B deleted by another process
    // while its row shows.
    for (const auto& [what, sharedId, goneBehind] :
         {std::tuple{"middle of three", false, false}, std::tuple{"shared id", true, false},
          std::tuple{"gone behind", false, true}}) {
        SCOPED_TRACE(what);
        AlarmList three{alarmAt("01", "00", "A"), alarmAt("02", "00", "B"), alarmAt("03", "00", "C")};
        three[1].id = sharedId ? three[0].id : three[1].id;
        Window w(three);
        const std::vector<QWidget*> rows = w.rows();
        QTest::keyClicks(in(rows[1], "titleField"), "!");
        EXPECT_EQ(w.stored(), u"01:00 A*|02:00 B!*|03:00 C*");
        ASSERT_TRUE(!goneBehind || w.settings.store->setAlarms({three[0], three[2]}));
        QTest::mouseClick(in<QToolButton>(rows[1], "deleteButton"), Qt::LeftButton);
        EXPECT_EQ(w.stored(), u"01:00 A*|03:00 C*");
        EXPECT_EQ(w.rows(), (std::vector{rows[0], rows[2]}));
    }
    // The second click of a double click lands on the row that moved up under the pointer.
    Window w({alarmAt("01", "00", "A"), alarmAt("02", "00", "B")});
    QTest::mouseClick(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    QTest::mouseDClick(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    QTest::mouseRelease(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    EXPECT_EQ(w.stored(), u"02:00 B*");
}

// The list is written back after every keystroke, and rows come and go around the field being
// typed in: it keeps the focus and the cursor.
TEST(AlarmWindow, TypingKeepsFocusAndCursorWhileTheListChanges) {
    Window w({alarmAt("01", "00", "first"), alarmAt("02", "00", "second")});
    QLineEdit* title = in(w.rows()[1], "titleField");
    title->setFocus();
    title->setCursorPosition(3);
    QTest::keyClicks(title, "X");
    w.add();
    QTest::mouseClick(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    QTest::keyClicks(title, "Y");
    EXPECT_EQ(QApplication::focusWidget(), title); // and its cursor: see where Y went
    QLineEdit* hour = in(w.rows()[1], "hourField");
    hour->setFocus();
    hour->selectAll();
    QTest::keyClicks(hour, "1");
    w.add();
    QTest::keyClicks(hour, "5");
    EXPECT_EQ(QApplication::focusWidget(), hour);
    EXPECT_EQ(w.stored(), u"00:00 |01:00 first*|15:00 secXYond*");
}

// A time that is not two digits shows as it is until edited. Each change of a time field stores
// its sanitized text and shows it, the other field left as it was (the cursor is left at its end:
// see the hour typed above). The sanitizing itself is tested with the core.
TEST(AlarmWindow, TimeFieldsStoreTheSanitizedText) {
    for (const auto& [field, typed, shown, time] :
         {std::tuple{"hourField", "7", "07", "07:5 "}, std::tuple{"hourField", "99", "23", "23:5 "},
          std::tuple{"minutesField", "60", "59", "7:59 "}}) {
        SCOPED_TRACE(typed);
        Window w({alarmAt("7", "5", "", false)});
        QWidget* row = w.rows().at(0);
        EXPECT_EQ(in(row, "hourField")->text() + in(row, "minutesField")->text(), u"75");
        in(row, field)->selectAll();
        QTest::keyClicks(in(row, field), QString::fromLatin1(typed));
        EXPECT_EQ(w.stored(), QLatin1String(time));
        EXPECT_EQ(in(row, field)->text(), QLatin1String(shown));
    }
}

// Each keystroke and click is stored at once. An edit the store refuses (a pasted lone surrogate
// has no UTF-8 form) leaves the window showing what is stored.
TEST(AlarmWindow, TitleAndSwitchAreStoredAtEachChange) {
    Window w({alarmAt("07", "05", "", false)});
    QWidget* row = w.rows().at(0);
    QString expected = u"07:05 "_s;
    for (const QString& key : {u"a"_s, u"釣"_s, u"😀"_s}) {
        QTest::sendKeyEvent(QTest::Click, in(row, "titleField"), Qt::Key_unknown, key, Qt::NoModifier);
        expected += key;
        EXPECT_EQ(w.stored(), expected);
    }
    QGuiApplication::clipboard()->setText(QString(QChar(0xD800)));
    QTest::keyClick(in(row, "titleField"), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(in(row, "titleField")->text(), expected.mid(6));
    QCheckBox* enabled = in<QCheckBox>(row, "enabledCheckBox");
    QTest::mouseClick(enabled, Qt::LeftButton, {}, QPoint(6, enabled->height() / 2));
    EXPECT_EQ(w.stored(), expected + u'*');
}

// However long the list, only the rows in sight exist: Tab and scrolling bring the others in, and
// the row being edited stays, focus and all, while the list scrolls away from it.
TEST(AlarmWindow, TenThousandAlarmsMakeOnlyTheRowsInSight) {
    constexpr qsizetype kAtMost = 20; // a 360-pixel view shows about nine
    AlarmList many;
    for (int i = 0; i < 10000; ++i) {
        many.append(alarmAt("00", "00", QByteArray::number(i).constData()));
    }
    Window w(many);
    in<QToolButton>(w.rows()[0], "deleteButton")->setFocus();
    for (int tab = 0; tab < 5 * 3 * kAtMost; ++tab) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(in(QApplication::focusWidget()->parentWidget(), "titleField")->text(),
              QString::number(3 * kAtMost));
    QScrollBar* bar = w.view.findChild<QScrollArea*>(u"alarmScrollArea"_s)->verticalScrollBar();
    EXPECT_LE(w.rowsMade(), kAtMost);
    bar->setValue(bar->maximum());
    QLineEdit* editing = in(w.rows().back(), "titleField");
    editing->setFocus();
    QTest::keyClicks(editing, "!");
    bar->setValue(0);
    ASSERT_EQ(QApplication::focusWidget(), editing);
    QTest::keyClicks(editing, "?");
    EXPECT_TRUE(w.stored().endsWith(u"00:00 9998*|00:00 9999!?*")) << w.stored().right(40).toStdString();
}

// Without an icon theme the window's buttons show the bundled artwork, which must load.
TEST(AlarmWindow, BundledSymbolsDraw) {
    for (const Symbol symbol : {Symbol::Plus, Symbol::Clock, Symbol::SpeakerBubble, Symbol::CrossCircle}) {
        EXPECT_FALSE(bundledSymbolIcon(symbol).pixmap(16).isNull()) << static_cast<int>(symbol);
    }
}

// Generated ids differing only by a counter in two places: Qt's own QUuid hash folds those
// together, which would put every row of such a list in one bucket.
TEST(AlarmWindow, PatternedIdsHashApart) {
    std::set<size_t> hashes;
    for (int i = 0; i < 1000; ++i) {
        hashes.insert(qHash(RowKey{QUuid(uint(i), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, uchar(i >> 8), uchar(i))}));
    }
    EXPECT_EQ(hashes.size(), 1000U);
}

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
        const bool shown = toggle->isChecked();
        ASSERT_TRUE(other->writeBool(key, !shown));
        toggle->trigger();
        EXPECT_EQ(other->readBool(key), shown) << key.name;
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
        EXPECT_TRUE(t.tray->trayIcon().isVisible()); // for a tray host that starts later
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
    DaziviruVuzudIdi app(*settings.store, std::make_unique<NullSpeechOutput>(),
                         {[] { return realAt(7, 5); }, [] { return QStringList{u"ja-JP"_s}; },
                          [] { return true; },
                          [&opened](const QUrl& url) {
                              return (opened.append(url), true);
                          }});
    const auto choose = [&app](const char* name) {
        entry(app.menuView().menu(), name)->trigger();
    };
    choose("alarmSettingsAction");
    AlarmSettingsWindow* window = app.alarmSettingsWindow();
    ASSERT_NE(window, nullptr);
    window->close();
    ASSERT_TRUE(settings.store->setAlarms({alarmAt("07", "00")})); // while it was closed
    choose("alarmSettingsAction");
    ASSERT_EQ(app.alarmSettingsWindow(), window);
    EXPECT_EQ(window->findChildren<QWidget*>(u"alarmRow"_s).size(), 1);
    choose("aboutAction");
    choose("aboutAction");
    QList<QWidget*> about = QApplication::topLevelWidgets();
    about.removeIf([](QWidget* w) { return qobject_cast<QMessageBox*>(w) == nullptr || !w->isVisible(); });
    ASSERT_EQ(about.size(), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(about[0]));
    choose("alarmSettingsAction"); // open behind the dialog: the same window comes to the front
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
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
