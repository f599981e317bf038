#include "app/application.h"
#include "fake_clock.h"
#include "recording_speech.h"
#include "temp_settings.h"
#include "ui/alarm_settings_window.h"
#include "ui/menu_view.h"
#include "ui/support_link.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QAction* action(const DaziviruVuzudIdi& app, const char* name) {
    return app.menuView().menu().findChild<QAction*>(QString::fromLatin1(name));
}

struct AppUnderTest {
    TempSettings temp;
    FakeClock clock;
    QList<QUrl> opened;
    std::unique_ptr<DaziviruVuzudIdi> app;

    AppUnderTest() {
        clock.set(1704067225); // Valdrian 07:00
        app = std::make_unique<DaziviruVuzudIdi>(
            *temp.store, std::make_unique<NullSpeechOutput>(),
            DaziviruVuzudIdi::Seams{clock.function(), [] { return QStringList{QStringLiteral("ja-JP")}; },
                                    [] { return false; },
                                    [this](const QUrl& url) {
                                        opened.append(url);
                                        return true;
                                    }});
    }
};

TEST(Application, LabelShowsTheTimeFromTheStart) {
    AppUnderTest t;
    EXPECT_EQ(t.app->clockTray().label(), QStringLiteral("VT: 07:00"));
}

TEST(Application, AlarmSettingsOpensOneWindow) {
    AppUnderTest t;
    EXPECT_EQ(t.app->alarmSettingsWindow(), nullptr); // not made until asked for
    action(*t.app, "alarmSettingsAction")->trigger();
    AlarmSettingsWindow* first = t.app->alarmSettingsWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowTitle(), QStringLiteral("アラーム設定"));
    EXPECT_EQ(first->minimumSize(), QSize(480, 360));
    EXPECT_EQ(first->size(), QSize(480, 360));
    EXPECT_EQ(first->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

    action(*t.app, "alarmSettingsAction")->trigger();
    first->close(); // closing only hides it
    action(*t.app, "alarmSettingsAction")->trigger();
    EXPECT_EQ(t.app->alarmSettingsWindow(), first);
    EXPECT_TRUE(first->isVisible());
    int windows = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        windows += qobject_cast<AlarmSettingsWindow*>(w) != nullptr ? 1 : 0;
    }
    EXPECT_EQ(windows, 1);
}

TEST(Application, SupportOpensTheAddressOnly) {
    AppUnderTest t;
    action(*t.app, "supportAction")->trigger();
    ASSERT_EQ(t.opened.size(), 1);
    EXPECT_EQ(t.opened.first(), QUrl(supportAddress()));
    EXPECT_EQ(t.app->alarmSettingsWindow(), nullptr);
}

TEST(Application, QuitEndsTheEventLoopWithStatusZero) {
    AppUnderTest t;
    QTimer::singleShot(0, action(*t.app, "quitAction"), &QAction::trigger);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

} // namespace
