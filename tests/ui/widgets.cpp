// The widgets driven as a user would, on the offscreen platform: the alarm settings window (keys,
// pastes and clicks on its rows, the store read back through a second reader of the same file),
// the menu, the tray icon and label window, the application carrying out the menu's commands, and
// the language a screen reader hears.

#include "app/application.h"
#include "support.h"
#include "ui/alarm_row_key.h"
#include "ui/alarm_settings_view.h"
#include "ui/alarm_settings_window.h"
#include "ui/clock_icon.h"
#include "ui/clock_tray.h"
#include "ui/label_window.h"
#include "ui/menu_view.h"
#include "ui/support_link.h"
#include "ui/symbol_icons.h"
#include "ui/translations.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTranslator>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
namespace keys = settings_keys;

// A widget or action under `parent`, by its objectName.
template <typename T = QLineEdit> T* in(const QObject* parent, const char* name) {
    return parent->findChild<T*>(QLatin1String(name));
}

// A label window's tooltip, "." when there is none.
QString win_tip(const QWidget* win) {
    return win ? win->toolTip() : u"."_s;
}

// The view in an active window on a store of its own holding `alarms`, writing with `writer`.
struct Window {
    explicit Window(const AlarmList& alarms, WholeFileWriter writer = WholeFileWriter())
        : store(settings.open(std::move(writer))) {
        EXPECT_TRUE(settings.store->setAlarms(alarms));
        view.reload();
        view.show();
        QApplication::setActiveWindow(&view);
    }
    // The list as stored: "hh:mm title" per alarm, with "*" when it is on, joined by "|".
    [[nodiscard]] QString stored() const {
        QStringList texts;
        for (const AlarmModel& a : settings.open()->alarms()) {
            texts.append(a.hour + u':' + a.minutes + u' ' + a.title + (a.enabled ? "*" : ""));
        }
        return texts.join(u'|');
    }
    // The rows that show, top to bottom.
    [[nodiscard]] QList<QWidget*> rows() const {
        QList<QWidget*> rows = view.findChildren<QWidget*>(u"alarmRow"_s);
        rows.removeIf([](const QWidget* row) { return row->isHidden(); });
        std::ranges::sort(rows, {}, &QWidget::y);
        return rows;
    }
    TempSettings settings;
    std::unique_ptr<SettingsStore> store;
    double now = 0;
    AlarmSettingsView view{*store, [this] {
                               return now;
                           }};
};

// Each row edits and deletes its own alarm, also when another alarm has its id (a hand-edited list
// may) or another process deleted it meanwhile. The list is written back at every keystroke and
// rows come and go around the field being typed in: it keeps the focus and the cursor. New alarms
// go on top, switched off, first after the add button in the Tab order; added from the keyboard,
// the focus goes to the new one's hour.
TEST(AlarmWindow, RowsKeepTheirAlarmFocusAndCursorWhileTheListChanges) {
    for (const bool goneBehind : {false, true}) {
        SCOPED_TRACE(goneBehind ? "B gone behind" : "B has A's id");
        AlarmList three{alarmAt("01", "00", "A"), alarmAt("02", "00", "B", false), alarmAt("03", "00", "C")};
        three[1].id = goneBehind ? three[1].id : three[0].id;
        Window w(three);
        const QPointer<QLineEdit> title = in(w.rows()[1], "titleField");
        title->setFocus();
        title->setCursorPosition(0);
        QTest::keyClicks(title, "<");
        in<QPushButton>(&w.view, "addAlarmButton")->click();
        in<QToolButton>(w.rows()[0], "deleteButton")->click();
        ASSERT_EQ(QApplication::focusWidget(), title);
        QTest::keyClicks(title, ">");
        in<QCheckBox>(w.rows()[1], "enabledCheckBox")->click();
        ASSERT_EQ(w.stored(), u"01:00 A*|02:00 <>B*|03:00 C*"); // stop: a wrong row may crash what follows
        ASSERT_TRUE(!goneBehind || w.settings.store->setAlarms({three[0], three[2]}));
        // A double click: its second click lands on C's button, moved up under the pointer.
        QTest::mouseClick(in<QToolButton>(w.rows()[1], "deleteButton"), Qt::LeftButton);
        QTest::mouseDClick(in<QToolButton>(w.rows()[1], "deleteButton"), Qt::LeftButton);
        QTest::mouseRelease(in<QToolButton>(w.rows()[1], "deleteButton"), Qt::LeftButton);
        in<QPushButton>(&w.view, "addAlarmButton")->click();
        EXPECT_EQ(w.stored(), u"00:00 |01:00 A*|03:00 C*");
        in<QPushButton>(&w.view, "addAlarmButton")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), in<QCheckBox>(w.rows()[0], "enabledCheckBox"));
        // Added from the keyboard, the new alarm's time can be typed at once.
        in<QPushButton>(&w.view, "addAlarmButton")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        EXPECT_EQ(QApplication::focusWidget(), in(w.rows()[0], "hourField"));
    }
}

// A field shows the stored text as it is: unpadded, and uncut past QLineEdit's default 32,767.
// A paste is stored at once, a time sanitized (the sanitizing itself is tested with the core); one
// the store refuses (a lone surrogate has no UTF-8 form) leaves the field showing what is stored.
TEST(AlarmWindow, FieldsShowWhatIsStoredAndStoreEachPaste) {
    const QString longTitle(40'000, u'あ');
    // clang-format off
    const std::tuple<const char*, QString, QString, QString> pastes[] = {
        // field, title before, pasted at the end, the field's text after
        {"hourField", u""_s, u"9"_s, u"23"_s},
        {"minutesField", u""_s, u"60"_s, u"59"_s},
        {"titleField", u"x"_s, QString(QChar(0xD800)), u"x"_s},
        {"titleField", longTitle, u"!"_s, longTitle + u'!'},
    };
    // clang-format on
    for (const auto& [field, title, pasted, after] : pastes) {
        Window w({alarmAt("7", "5", title.toUtf8().constData(), false)});
        QWidget* row = w.rows().at(0);
        const auto shown = [row] {
            return in(row, "hourField")->text() + u':' + in(row, "minutesField")->text() + u' ' +
                   in(row, "titleField")->text();
        };
        EXPECT_EQ(shown(), w.stored());
        QGuiApplication::clipboard()->setText(pasted);
        in(row, field)->end(false);
        QTest::keyClick(in(row, field), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(in(row, field)->text(), after);
        EXPECT_EQ(shown(), w.stored());
        in<QToolButton>(row, "deleteButton")->click();
        EXPECT_TRUE(in<QLabel>(&w.view, "emptyListMessage")->isVisible());
    }
}

// A failed save leaves the window showing what is stored, and one line under the add bar saying
// the changes are not saved, and why, until a save succeeds. A typed time whose save failed still
// has its sanitized form stored: 9 stores 09, then 99 stores 23.
TEST(AlarmWindow, SaysWhileChangesAreNotSaved) {
    int failures = 1000;
    Window w({alarmAt("07", "00", "kept")},
             WholeFileWriter([&failures](int fd, const void* data, size_t size) {
                 return failures-- > 0 ? (errno = ENOSPC, -1) : ::write(fd, data, size);
             }));
    const auto said = [&w] {
        const auto* line = in<QLabel>(&w.view, "saveFailedMessage");
        return line->isVisible() ? line->text() : u"(none)"_s;
    };
    in<QPushButton>(&w.view, "addAlarmButton")->click();
    EXPECT_EQ(QString::number(w.rows().size()) + u' ' + w.stored(), u"1 07:00 kept*");
    EXPECT_EQ(said(), u"変更は保存されていません: No space left on device");
    failures = 1;
    QLineEdit* hour = in(w.rows().at(0), "hourField");
    hour->selectAll();
    QTest::keyClicks(hour, "9");
    EXPECT_EQ(hour->text() + u' ' + w.stored() + u' ' + said(), u"09 09:00 kept* (none)");
    QTest::keyClicks(hour, "9");
    EXPECT_EQ(hour->text() + u' ' + w.stored(), u"23 23:00 kept*");
    in<QPushButton>(&w.view, "addAlarmButton")->click();
    EXPECT_EQ(w.stored(), u"00:00 |23:00 kept*");
}

// However long the list, only the rows in sight exist: Tab brings the others in, and the row being
// edited stays, focus and all, while the list scrolls away from it. Rows are found by a hash of
// their ids, which must spread ids made by a pattern: Qt's own QUuid hash folds two fields
// together, which would put every row of such a list in one bucket.
TEST(AlarmWindow, TenThousandAlarmsMakeOnlyTheRowsInSight) {
    AlarmList many;
    for (int i = 0; i < 10000; ++i) {
        many.append(alarmAt("00", "00", QByteArray::number(i).constData()));
    }
    Window w(many);
    in<QToolButton>(w.rows()[0], "deleteButton")->setFocus();
    for (int tab = 0; tab < 5 * 60; ++tab) { // five controls a row
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QLineEdit* editing = in(QApplication::focusWidget()->parentWidget(), "titleField");
    ASSERT_EQ(editing->text(), u"60");
    EXPECT_LE(w.rows().size(), 20); // a handful are in sight
    editing->setFocus();
    in<QScrollArea>(&w.view, "alarmScrollArea")->verticalScrollBar()->setValue(0);
    ASSERT_EQ(QApplication::focusWidget(), editing);
    QTest::keyClicks(editing, "?");
    EXPECT_EQ(w.settings.store->alarms()[60].title, u"60?");
    std::set<size_t> hashes;
    for (int i = 0; i < 1000; ++i) {
        hashes.insert(qHash(RowKey{QUuid(uint(i), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, uchar(i >> 8), uchar(i))}));
    }
    EXPECT_EQ(hashes.size(), 1000U);
}

// Without an icon theme the window's buttons show the bundled artwork, which must load.
TEST(AlarmWindow, BundledSymbolsDraw) {
    for (const Symbol symbol : {Symbol::Plus, Symbol::Clock, Symbol::SpeakerBubble, Symbol::CrossCircle}) {
        EXPECT_FALSE(bundledSymbolIcon(symbol).pixmap(16).isNull()) << static_cast<int>(symbol);
    }
}

// The application on a clock that moves only when ticked, with a tray host only when the test says
// and a browser that only records what it is given.
struct App {
    App() = default;
    explicit App(ClockTray::IconStart iconStart)
        : start(iconStart) {}
    void choose(const char* entry) const { in<QAction>(&app.menuView().menu(), entry)->trigger(); }
    [[nodiscard]] ClockTray& tray() const { return app.clockTray(); }
    bool browse(const QUrl& url) { return (opened.append(url), true); }
    TempSettings settings;
    double now = realAt(7, 5);
    bool trayHost = false;
    QList<QUrl> opened;
    ClockTray::IconStart start = ClockTray::IconStart::AtOnce;
    DaziviruVuzudIdi app{*settings.store,
                         std::make_unique<NullSpeechOutput>(),
                         {[this] { return now; }, [] { return QStringList{u"ja-JP"_s}; },
                          [this] { return trayHost; }, start, std::bind_front(&App::browse, this)}};
};

// The store is written behind the menu's back (by the window or another process): the marks
// follow it when the menu opens, and a switch inverts what is stored, not what its stale mark
// shows.
TEST(Menu, FollowsTheStore) {
    const App a;
    QAction* timeSignal = in<QAction>(&a.app.menuView().menu(), "timeSignalAction");
    QAction* alarms = in<QAction>(&a.app.menuView().menu(), "alarmsAction");
    // The alarm switch can be chosen only when there are alarms.
    for (const auto& [timeSignalOn, alarmsOn, anyAlarm] :
         {std::tuple{true, false, false}, std::tuple{true, true, false}, std::tuple{false, true, true}}) {
        ASSERT_TRUE(a.settings.store->writeBool(keys::kEnableTimeSignal, timeSignalOn));
        ASSERT_TRUE(a.settings.store->writeBool(keys::kEnableAlarm, alarmsOn));
        ASSERT_TRUE(a.settings.store->setAlarms(anyAlarm ? AlarmList{alarmAt("07", "00")} : AlarmList{}));
        a.app.menuView().menu().popup({});
        EXPECT_EQ((std::tuple{timeSignal->isChecked(), alarms->isChecked(), alarms->isEnabled()}),
                  (std::tuple{timeSignalOn, alarmsOn, anyAlarm}));
        a.app.menuView().menu().hide();
    }
    for (const auto& [toggle, key] :
         {std::pair{timeSignal, keys::kEnableTimeSignal}, std::pair{alarms, keys::kEnableAlarm}}) {
        const bool shown = toggle->isChecked();
        ASSERT_TRUE(a.settings.store->writeBool(key, !shown));
        toggle->trigger();
        EXPECT_EQ(a.settings.store->readBool(key), shown) << key.name;
    }
}

// Tray hosts pay for every icon handed over: a new one only when "VT: HH:MM" changes, drawn for
// the size and scale asked rather than scaled from another, the hour over the minute. The sixth
// tray check in a row without a tray host shows the label window in its place, with the same time,
// until one shows up. Per tick (0.4 s, then a tray check): 1 when a tray host is there, W when the
// label window shows.
TEST(Tray, ShowsEachMinuteOnceAndALabelWindowWhileNoTrayHostShowsUp) {
    // clang-format off
    const char* host  = "00000100000000000000011111111111111111";
    const char* shown = "...........WWWWWWWWWW.................";
    // clang-format on
    App a;
    EXPECT_TRUE(a.tray().trayIcon()->isVisible()); // for a tray host that starts later
    QSet<QString> labels{a.tray().label()};
    for (int i = 0; host[i] != 0; ++i) {
        a.now = realAt(23, 58, 0) + 0.4 * i;
        a.app.timerModel().tick();
        a.trayHost = host[i] == '1';
        a.tray().checkTray();
        const QString label = clockLabel(ZuduzirEraz(a.now));
        labels.insert(label);
        EXPECT_EQ(a.tray().label() + a.tray().trayIcon()->toolTip(), label + label);
        EXPECT_EQ(win_tip(a.tray().labelWindow()), shown[i] == 'W' ? label : u"."_s) << i;
        ASSERT_EQ(a.tray().iconUpdates(), labels.size()) << label.toStdString();
        const QWidget* win = a.tray().labelWindow();
        EXPECT_EQ(win ? win->findChild<QLabel*>()->text() : u"."_s, shown[i] == 'W' ? label : u"."_s) << i;
    }
    EXPECT_EQ(a.tray().trayIcon()->icon().pixmap(QSize(22, 22), 2).toImage(),
              clockPixmap(0, 3, 22, 2).toImage());
    const auto top = [](int hour, int minute) {
        return clockPixmap(hour, minute, 22, 1).toImage().copy(0, 0, 22, 11);
    };
    EXPECT_EQ(top(7, 5), top(7, 59));
    EXPECT_NE(top(7, 5), top(23, 5));
    // The halves are drawn once and kept, a bounded number: every size, ratio and pair comes back as
    // first drawn, also after a host asked for many others.
    const std::tuple<int, int, qreal> icons[] = {
        {7, 22, 1}, {7, 22, 2}, {5, 22, 1}, {7, 16, 1}, {59, 24, 1.25}};
    QList<QImage> first;
    for (const auto& [value, size, ratio] : icons) {
        first.append(clockPixmap(value, value, size, ratio).toImage());
    }
    for (int minute = 0; minute < 60; ++minute) {
        (void)clockPixmap(23, minute, 64, 2);
    }
    for (qsizetype i = std::size(icons) - 1; i >= 0; --i) {
        const auto& [value, size, ratio] = icons[i];
        EXPECT_EQ(clockPixmap(value, value, size, ratio).toImage(), first[i]) << i;
    }
}

// Where only a D-Bus tray can show the icon, it is made once a tray host appears. With no tray to wait
// for, the label window shows at once, and goes when a host comes after all.
TEST(Tray, WithNoTrayToWaitForTheLabelWindowShowsAtOnce) {
    App a(ClockTray::IconStart::WithFirstTrayHost);
    a.tray().checkTray();
    EXPECT_EQ((std::pair{a.tray().trayIcon(), a.tray().labelWindow()}),
              (std::pair<const QSystemTrayIcon*, QWidget*>{}));
    a.tray().noTrayHostToWaitFor();
    EXPECT_EQ(win_tip(a.tray().labelWindow()), a.tray().label());
    a.trayHost = true;
    a.tray().trayHostAppeared();
    EXPECT_EQ((std::pair{a.tray().trayIcon() != nullptr, a.tray().labelWindow()}),
              (std::pair<bool, QWidget*>{true, nullptr}));
}

// The tooltip tells what will be said next and when in real local time (here UTC+9), in the
// language of the texts; a row's clock symbol tells when its time comes next, at the moment asked.
TEST(Tray, ToolTipTellsWhatComesNextInRealTime) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Asia/Tokyo");
    const AlarmList fishing{alarmAt("04", "00", "釣り大会"), alarmAt("4", "0"),
                            alarmAt("4", "0", "off", false)};
    // clang-format off
    const std::tuple<const char*, AlarmList, bool, bool, const char*> rows[] = {
        {"ja", fishing, true, true, "VT: 23:58\n次のアラーム: 釣り大会 (04:00) +1 21:01、あと 12 分\n次の時報: 00:00 20:50、あと 5 秒"},
        {"en", fishing, true, true, "VT: 23:58\nNext alarm: 釣り大会 (04:00) +1 at 21:01, in 12 min\nNext time signal: 00:00 at 20:50, in 5 s"},
        {"en", {alarmAt("4", "00")}, true, false, "VT: 23:58\nNext alarm: 04:00 at 21:01, in 12 min"},
        {"en", {alarmAt("04", "00", "Fishing\ncontest at the north pier, bring bait")}, true, false,
         "VT: 23:58\nNext alarm: Fishing contest at the north pi… (04:00) at 21:01, in 12 min"},
        {"ja", fishing, false, false, "VT: 23:58"},
    };
    // clang-format on
    for (const auto& [language, alarms, alarmsOn, timeSignalOn, expected] : rows) {
        installTranslations(*qApp, {QString::fromLatin1(language)});
        App a;
        a.trayHost = true;
        ASSERT_TRUE(a.settings.store->setAlarms(alarms));
        ASSERT_TRUE(a.settings.store->writeBool(keys::kEnableAlarm, alarmsOn));
        ASSERT_TRUE(a.settings.store->writeBool(keys::kEnableTimeSignal, timeSignalOn));
        a.now = realAt(23, 58, 30);
        a.app.timerModel().tick();
        EXPECT_EQ(a.tray().trayIcon()->toolTip().toStdString(), expected);
        // Switched off from the menu: the tooltip says so at once, not at the next tick.
        a.app.timerModel().setEnableAlarm(false);
        a.app.timerModel().setEnableTimeSignal(false);
        EXPECT_EQ(a.tray().trayIcon()->toolTip(), u"VT: 23:58"_s);
        qDeleteAll(qApp->findChildren<QTranslator*>());
    }
    Window w(fishing + AlarmList{alarmAt("99", "00")});
    w.now = realAt(23, 58, 30);
    w.view.resize(480, 600);
    QStringList tips;
    for (QWidget* row : w.rows()) {
        QWidget* clock = in<QWidget>(row, "clockIcon");
        QHelpEvent help(QEvent::ToolTip, {}, clock->mapToGlobal(QPoint()));
        QApplication::sendEvent(clock, &help);
        tips << QToolTip::text();
    }
    EXPECT_EQ(tips.join(u'|').toStdString(),
              "実時間で次は 21:01、22:11、23:21|実時間で次は 21:01、22:11、23:21|"
              "実時間で次は 21:01、22:11、23:21|この時刻は来ません");
    qputenv("TZ", zone);
}

// Opening the settings window again (the menu, a second launch) brings the same one to the front,
// maximised or not; a minimised one comes back, a closed one shows the list as stored now.
TEST(Application, CarriesOutTheMenuCommands) {
    App a;
    a.choose("alarmSettingsAction");
    AlarmSettingsWindow* window = a.app.alarmSettingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->windowIcon().isNull()); // the application's, looked up as the first window opens
    ASSERT_TRUE(a.settings.store->setAlarms({alarmAt("07", "00")}));
    // clang-format off
    const std::pair<void (QWidget::*)(), Qt::WindowStates> reopened[] = {
        {&QWidget::hide, Qt::WindowNoState}, {&QWidget::showMaximized, Qt::WindowMaximized},
        {&QWidget::showMinimized, Qt::WindowMaximized},
    };
    // clang-format on
    for (const auto& [before, after] : reopened) {
        (window->*before)();
        a.choose("alarmSettingsAction");
        ASSERT_EQ(a.app.alarmSettingsWindow(), window);
        EXPECT_EQ(window->windowState() & ~Qt::WindowActive, after) << int(window->windowState());
    }
    EXPECT_EQ(window->findChildren<QWidget*>(u"alarmRow"_s).size(), 1);
    a.choose("aboutAction");
    a.choose("aboutAction");
    QList<QWidget*> about = QApplication::topLevelWidgets();
    about.removeIf([](QWidget* w) { return qobject_cast<QMessageBox*>(w) == nullptr || !w->isVisible(); });
    ASSERT_EQ(about.size(), 1);
    EXPECT_FALSE(qobject_cast<QMessageBox*>(about[0])->iconPixmap().isNull());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(about[0]));
    a.choose("alarmSettingsAction"); // open behind the dialog: the same window comes to the front
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    about[0]->close();

    a.choose("supportAction");
    // Only an absolute https address is handed to the browser.
    for (const char* address : {"https://x.example/", "http://x.example/", "https://", "not a url", ""}) {
        openSupportAddress(QString::fromLatin1(address), std::bind_front(&App::browse, &a));
    }
    EXPECT_EQ(a.opened, (QList<QUrl>{QUrl(supportAddress()), QUrl(u"https://x.example/"_s)}));
    QTimer::singleShot(10000, &a.app, [] { QCoreApplication::exit(1); }); // a deadline, gone with the app
    QTimer::singleShot(0, &a.app, [&a] { a.choose("quitAction"); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

// What a screen reader reads of a row, through the accessibility tree: its name, then each control's
// name (and description), in the tree's order.
QString readRow(QAccessibleInterface* row) {
    QStringList texts{row->text(QAccessible::Name) + u':'};
    for (int i = 0; i < row->childCount(); ++i) {
        const QString description = row->child(i)->text(QAccessible::Description);
        texts << row->child(i)->text(QAccessible::Name) +
                     (description.isEmpty() ? u""_s : u" / "_s + description);
    }
    texts.removeAll(u""_s);
    return texts.join(u'|');
}

// Screen readers said "button" and "text" for every control, and English ears got Japanese names;
// every row's controls had the same names, and the rows came in the wrong order. The texts are
// written in Japanese; any other first language, or none, reads English.
TEST(Translations, ControlsAreNamedInTheFirstLanguageOrEnglish) {
    const char* longTitle = "釣り大会、港で全員集合。竿とバケツは各自持参で、雨天決行です。遅れないように";
    // clang-format off
    const std::pair<const char*, const char*> rows[] = { // the second after 07 became 078
        {"アラーム 07:30 釣り大会、港で全員集合。竿とバケツは各自持参で、雨天決行です…:|"
         "アラーム 07:30 釣り大会、港で全員集合。竿とバケツは各自持参で、雨天決行です… 有効|アラームの時 / ",
         "Alarm 07:30 釣り大会、港で全員集合。竿とバケツは各自持参で、雨天決行です…:|"
         "Alarm 07:30 釣り大会、港で全員集合。竿とバケツは各自持参で、雨天決行です… enabled|Alarm hour / "},
        {"アラーム 23:05:|アラーム 23:05 有効|アラームの時 / アラーム 23:05|:|アラームの分 / アラーム 23:05|"
         "アラーム内容 / アラーム 23:05|アラーム 23:05 を削除",
         "Alarm 23:05:|Alarm 23:05 enabled|Alarm hour / Alarm 23:05|:|Alarm minute / Alarm 23:05|"
         "Alarm text / Alarm 23:05|Delete alarm 23:05"},
    };
    const std::tuple<const char*, const char*, const char*> names[] = {
        {"addAlarmButton", "アラームを追加", "Add alarm"},
        {"alarmScrollArea", "アラーム一覧", "Alarm list"},
        {"clockLabelWindow", "ヴァルドリア時間の時計", "Valdrian time clock"},
    };
    // clang-format on
    for (const auto& [languages, japanese] :
         {std::pair{QStringList{"ja-JP"}, true}, std::pair{QStringList{"ja"}, true},
          std::pair{QStringList{"en-US", "ja"}, false}, std::pair{QStringList{}, false}}) {
        SCOPED_TRACE(languages.join(u',').toStdString());
        installTranslations(*qApp, languages);
        Window w({alarmAt("07", "05"), alarmAt("07", "30", longTitle)});
        new LabelWindow(*new QMenu(&w.view), &w.view);
        QTest::keyClicks(in(w.rows()[0], "hourField"), "8");
        for (const auto& [object, ja, en] : names) {
            auto* control = QAccessible::queryAccessibleInterface(in<QWidget>(&w.view, object));
            EXPECT_EQ(control->text(QAccessible::Name), QString::fromUtf8(japanese ? ja : en)) << object;
        }
        // Reordered behind the window's back: the row made first is now the second on screen.
        const AlarmList stored = w.settings.store->alarms();
        ASSERT_TRUE(w.settings.store->setAlarms({stored[1], stored[0]}));
        w.view.reload();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(in<QWidget>(&w.view, "alarmRows"));
        QStringList read;
        for (int i = 0; i < list->childCount(); ++i) {
            read << readRow(list->child(i));
        }
        ASSERT_EQ(read.size(), 2);
        for (int i = 0; i < 2; ++i) { // the start of each
            const QString expected = QString::fromUtf8(japanese ? rows[i].first : rows[i].second);
            EXPECT_EQ(read[i].left(expected.size()).toStdString(), expected.toStdString());
        }
        if (!japanese) { // no text a person reads is left untranslated: menu, titles, About, labels
            const App a;
            a.choose("alarmSettingsAction");
            a.choose("aboutAction");
            QStringList texts;
            for (const QAction* action : a.app.menuView().menu().actions()) {
                texts << action->text();
            }
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->isVisible()) {
                    texts << top->windowTitle();
                    for (const QLabel* label : top->findChildren<QLabel*>()) {
                        texts << label->text();
                    }
                }
            }
            texts.removeIf([](const QString& text) {
                return std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000; });
            });
            EXPECT_EQ(texts.join(u'|').toStdString(), "");
            for (QWidget* top : QApplication::topLevelWidgets()) {
                top->close(); // the About box deletes itself; the window goes with the app
            }
        }
        qDeleteAll(qApp->findChildren<QTranslator*>()); // each takes itself out
    }
}

} // namespace
