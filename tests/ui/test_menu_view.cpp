#include "alarms/settings_store.h"
#include "model_test.h"
#include "ui/about_dialog.h"
#include "ui/alarm_settings_window.h"
#include "ui/menu_view.h"
#include "ui/support_link.h"
#include "ui/translations.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace {

namespace keys = settings_keys;

AlarmList oneAlarm() {
    return {alarmAt("07", "00")};
}

// A menu on a model of its own, the clock standing still.
class MenuViewTest : public ModelTest {
protected:
    void SetUp() override {
        start(0);
        view = std::make_unique<MenuView>(*model);
    }

    [[nodiscard]] QAction* action(const char* name) const {
        auto* found = view->menu().findChild<QAction*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Opens and closes the menu, as a click on the tray icon would.
    void openAndClose() const {
        view->menu().popup(QPoint(0, 0));
        view->menu().hide();
    }

    // Written behind the menu's back, as the settings window or another process would; nullopt
    // removes the key.
    void writeBehindTheMenu(const char* key, std::optional<bool> value) const {
        const std::unique_ptr<QSettings> raw = temp.raw();
        if (value) {
            raw->setValue(QLatin1String(key), *value);
        } else {
            raw->remove(QLatin1String(key));
        }
    }

    // The value as written to the file, which is what another process would read.
    [[nodiscard]] std::optional<QString> onDisk(const char* key) const {
        QFile file(temp.path);
        if (!file.open(QIODevice::ReadOnly)) {
            return std::nullopt;
        }
        const QByteArray prefix = QByteArray(key) + '=';
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith(prefix)) {
                return QString::fromUtf8(line.mid(prefix.size()).trimmed());
            }
        }
        return std::nullopt;
    }

    std::unique_ptr<MenuView> view;
};

// The texts and their order are checked with the translations below; here the separators, which
// entries are switches, the one shortcut, and the state as built.
TEST_F(MenuViewTest, SwitchesAndCommandsBetweenSeparators) {
    // "" stands for a separator.
    const QStringList expected{"timeSignalAction",    "",          "alarmsAction",
                               "alarmSettingsAction", "",          "aboutAction",
                               "supportAction",       "quitAction"};
    QStringList shown;
    for (const QAction* entry : view->menu().actions()) {
        SCOPED_TRACE(entry->objectName().toStdString());
        shown.append(entry->isSeparator() ? QString() : entry->objectName());
        EXPECT_EQ(entry->isCheckable(),
                  entry == action("timeSignalAction") || entry == action("alarmsAction"));
        EXPECT_EQ(entry->shortcut().isEmpty(), entry != action("quitAction"));
    }
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(action("quitAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(action("quitAction")->isShortcutVisibleInContextMenu());
    // Set from the store as built, before it first opens: no alarms, so the alarm switch can't be chosen.
    EXPECT_TRUE(action("alarmsAction")->isChecked());
    EXPECT_FALSE(action("alarmsAction")->isEnabled());
}

TEST_F(MenuViewTest, CheckmarksAndEnabledStateFollowTheStoreWhenTheMenuOpens) {
    struct Case {
        const char* what;
        std::optional<bool> timeSignal; // nullopt: key absent
        std::optional<bool> alarmsOn;
        int alarmCount;
        bool timeSignalChecked;
        bool alarmsChecked;
        bool alarmsEnabled;
    };
    const std::vector<Case> cases{
        {"defaults, no alarms", std::nullopt, std::nullopt, 0, false, true, false},
        {"alarms off, no alarms", true, false, 0, true, false, false},
        {"defaults, one alarm", std::nullopt, std::nullopt, 1, false, true, true},
        {"both off, one alarm", false, false, 1, false, false, true},
        {"both on, no alarms again", true, true, 0, true, true, false},
    };
    const QList<QAction*> built = view->menu().actions();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBehindTheMenu(keys::kEnableTimeSignal.name, c.timeSignal);
        writeBehindTheMenu(keys::kEnableAlarm.name, c.alarmsOn);
        ASSERT_TRUE(temp.store->setAlarms(c.alarmCount == 0 ? AlarmList{} : oneAlarm()));

        openAndClose();
        EXPECT_EQ(action("timeSignalAction")->isChecked(), c.timeSignalChecked);
        EXPECT_EQ(action("alarmsAction")->isChecked(), c.alarmsChecked);
        EXPECT_EQ(action("alarmsAction")->isEnabled(), c.alarmsEnabled);
        EXPECT_TRUE(action("timeSignalAction")->isEnabled());
        // Updated in place: the very same entries.
        EXPECT_EQ(view->menu().actions(), built);
    }
}

TEST_F(MenuViewTest, ModelChangesRefreshOnlyWhileTheMenuIsShown) {
    QAction* timeSignal = action("timeSignalAction");
    const auto tickAndDeliver = [this] {
        model->tick();
        QCoreApplication::sendPostedEvents();
    };

    // Closed: the tick's announcement does not read the store.
    ASSERT_TRUE(temp.store->writeBool(keys::kEnableTimeSignal, true));
    tickAndDeliver();
    EXPECT_FALSE(timeSignal->isChecked());

    view->menu().popup(QPoint(0, 0));
    ASSERT_TRUE(view->menu().isVisible());
    EXPECT_TRUE(timeSignal->isChecked());

    // Open: a change made meanwhile shows at the next announcement.
    ASSERT_TRUE(temp.store->writeBool(keys::kEnableTimeSignal, false));
    ASSERT_TRUE(temp.store->setAlarms(oneAlarm()));
    EXPECT_TRUE(timeSignal->isChecked());
    tickAndDeliver();
    EXPECT_FALSE(timeSignal->isChecked());
    EXPECT_TRUE(action("alarmsAction")->isEnabled());
    view->menu().hide();
}

// The checkmark may be stale, so a switch inverts the stored value, not what it shows.
TEST_F(MenuViewTest, ChoosingASwitchInvertsTheStoredValueAtOnce) {
    struct Case {
        const char* actionName;
        const char* key;
        bool first; // stored after the first choice; the second turns it back
    };
    const std::vector<Case> cases{
        {"timeSignalAction", keys::kEnableTimeSignal.name, true},
        {"alarmsAction", keys::kEnableAlarm.name, false},
    };
    const auto text = [](bool value) {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    };
    ASSERT_TRUE(temp.store->setAlarms(oneAlarm()));
    openAndClose();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.actionName);
        QAction* shown = action(c.actionName);
        shown->trigger();
        EXPECT_EQ(onDisk(c.key), text(c.first));
        EXPECT_EQ(shown->isChecked(), c.first);
        shown->trigger();
        EXPECT_EQ(onDisk(c.key), text(!c.first));
        EXPECT_EQ(shown->isChecked(), !c.first);

        writeBehindTheMenu(c.key, c.first);
        ASSERT_EQ(shown->isChecked(), !c.first);
        shown->trigger();
        EXPECT_EQ(onDisk(c.key), text(!c.first));
        EXPECT_EQ(shown->isChecked(), !c.first);
    }
}

TEST_F(MenuViewTest, EachCommandAnnouncesItselfOnce) {
    struct Case {
        const char* actionName;
        void (MenuView::*signal)();
    };
    const std::vector<Case> cases{
        {"alarmSettingsAction", &MenuView::alarmSettingsRequested},
        {"aboutAction", &MenuView::aboutRequested},
        {"supportAction", &MenuView::supportRequested},
        {"quitAction", &MenuView::quitRequested},
    };
    for (const Case& chosen : cases) {
        SCOPED_TRACE(chosen.actionName);
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (const Case& c : cases) {
            spies.push_back(std::make_unique<QSignalSpy>(view.get(), c.signal));
        }
        action(chosen.actionName)->trigger();
        for (std::size_t i = 0; i < cases.size(); ++i) {
            EXPECT_EQ(spies[i]->count(), cases[i].signal == chosen.signal ? 1 : 0) << cases[i].actionName;
        }
    }
    // Commands leave the settings alone.
    EXPECT_EQ(onDisk(keys::kEnableTimeSignal.name), std::nullopt);
    EXPECT_EQ(onDisk(keys::kEnableAlarm.name), std::nullopt);
}

TEST(SupportLink, OnlyAnAbsoluteHttpsAddressIsHandedOver) {
    struct Case {
        const char* address;
        bool handedOver;
    };
    const std::vector<Case> cases{
        {"https://variredu-divar.github.io/", true},
        {"https://example.org", true},
        {"http://variredu-divar.github.io/", false},
        {"ftp://variredu-divar.github.io/", false},
        {"not a url", false},
        {"", false},
        {"https://", false},
        {"https:///path", false},
        {"/variredu-divar.github.io/", false},
        {"variredu-divar.github.io", false},
        {"https://exa mple.org/", false},
        {"javascript:alert(1)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        QList<QUrl> opened;
        const bool result = openSupportAddress(QString::fromUtf8(c.address), [&opened](const QUrl& url) {
            opened.append(url);
            return true;
        });
        EXPECT_EQ(result, c.handedOver);
        if (c.handedOver) {
            ASSERT_EQ(opened.size(), 1);
            EXPECT_EQ(opened[0], QUrl(QString::fromUtf8(c.address)));
        } else {
            EXPECT_TRUE(opened.isEmpty());
        }
    }
}

class TranslationsTest : public MenuViewTest {
protected:
    void TearDown() override { removeTranslators(); }

    static void removeTranslators() {
        const QList<QTranslator*> translators = qApp->findChildren<QTranslator*>(Qt::FindDirectChildrenOnly);
        for (QTranslator* translator : translators) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }

    // The texts of a menu built now, under the translators installed now.
    [[nodiscard]] QStringList menuTexts() const {
        const MenuView fresh(*model);
        QStringList texts;
        for (const QAction* entry : fresh.menu().actions()) {
            if (!entry->isSeparator()) {
                texts.append(entry->text());
            }
        }
        return texts;
    }
};

TEST_F(TranslationsTest, EnglishUnlessTheFirstLanguageIsJapanese) {
    const QStringList japanese{
        QStringLiteral("時報"),         QStringLiteral("アラームを作動"),
        QStringLiteral("アラーム設定"), QStringLiteral("Variredu Divar について"),
        QStringLiteral("サポート"),     QStringLiteral("Variredu Divar を終了..."),
    };
    const QStringList english{
        QStringLiteral("Time signal"),    QStringLiteral("Activate alarms"),
        QStringLiteral("Alarm settings"), QStringLiteral("About Variredu Divar"),
        QStringLiteral("Support"),        QStringLiteral("Quit Variredu Divar"),
    };
    struct Case {
        QStringList languages;
        bool installed;
    };
    const std::vector<Case> cases{
        {{QStringLiteral("en-US"), QStringLiteral("en-Latn-US"), QStringLiteral("en")}, true},
        {{QStringLiteral("de-DE"), QStringLiteral("ja-JP")}, true},
        {{QStringLiteral("C")}, true},
        {{}, true},
        {{QStringLiteral("ja-JP"), QStringLiteral("ja-Jpan-JP"), QStringLiteral("ja")}, false},
        {{QStringLiteral("ja"), QStringLiteral("en-US")}, false},
        {{QStringLiteral("ja-Jpan-JP")}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.languages.join(QLatin1Char(',')).toStdString());
        EXPECT_EQ(installTranslations(*qApp, c.languages), c.installed);
        EXPECT_EQ(menuTexts(), c.installed ? english : japanese);
        removeTranslators();
    }
}

TEST_F(TranslationsTest, TheSettingsWindowIsTranslatedToo) {
    ASSERT_TRUE(installTranslations(*qApp, {QStringLiteral("en-US")}));
    const AlarmSettingsWindow window(*temp.store);
    EXPECT_EQ(window.windowTitle(), u"Alarm settings");
    QStringList shown;
    for (const QPushButton* button : window.findChildren<QPushButton*>()) {
        shown.append(button->text());
    }
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        shown.append(label->text());
    }
    EXPECT_TRUE(shown.contains(u"Add alarm")) << shown.join(u'|').toStdString();
    EXPECT_TRUE(shown.contains(u"No alarms set")) << shown.join(u'|').toStdString();
}

class AboutDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        QCoreApplication::setApplicationName(QStringLiteral("Variredu Divar"));
        QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    }
    void TearDown() override {
        for (QMessageBox* box : openBoxes()) {
            box->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    [[nodiscard]] static QList<QMessageBox*> openBoxes() {
        QList<QMessageBox*> boxes;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == u"aboutDialog" && window->isVisible()) {
                boxes.append(qobject_cast<QMessageBox*>(window));
            }
        }
        return boxes;
    }
};

TEST_F(AboutDialogTest, OneNonModalDialogAtATime) {
    showAboutDialog();
    ASSERT_EQ(openBoxes().size(), 1);
    const QPointer<QMessageBox> first = openBoxes()[0];
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first->windowTitle(), u"バージョン情報 — Variredu Divar");
    EXPECT_TRUE(first->text().contains(u"Variredu Divar"));
    EXPECT_TRUE(first->text().contains(u"0.1.0"));
    EXPECT_EQ(first->informativeText(), copyrightLine());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    showAboutDialog();
    ASSERT_EQ(openBoxes().size(), 1);
    EXPECT_EQ(openBoxes()[0], first.data());

    // Closing deletes it, and the next request makes a new one.
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    showAboutDialog();
    EXPECT_EQ(openBoxes().size(), 1);
}

} // namespace
