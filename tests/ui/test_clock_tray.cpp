#include "model_test.h"
#include "ui/clock_icon.h"
#include "ui/clock_tray.h"
#include "ui/label_window.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

QImage imageOf(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A tray on a model driven by a fake clock; no tray host unless the test says so.
struct TrayUnderTest {
    explicit TrayUnderTest(double start) {
        clock.set(start);
        model = std::make_unique<TimerModel>(
            clock.function(), std::make_unique<NullSpeechOutput>(),
            [] { return QStringList{QStringLiteral("en-US")}; }, *settings.store);
        menu.addAction(QStringLiteral("entry"));
        tray = std::make_unique<ClockTray>(*model, menu, [this] { return trayAvailable; });
    }
    // One tick of the model at `now`, and the change delivered as the event loop would, without
    // running any timer.
    void tickAt(double now) {
        clock.set(now);
        model->tick();
        QCoreApplication::sendPostedEvents();
    }

    TempSettings settings;
    FakeClock clock;
    std::unique_ptr<TimerModel> model;
    QMenu menu;
    bool trayAvailable = false;
    std::unique_ptr<ClockTray> tray;
};

TEST(ClockTray, LabelTooltipAndIconFollowTheModel) {
    // The first instant is the start, before any tick; each later one is a tick.
    const std::tuple<double, const char*, int, int> steps[] = {
        {realAt(23, 59), "VT: 23:59", 23, 59},
        {realAt(0, 0, 30, kDay + 1), "VT: 00:00", 0, 0},
        {realAt(0, 1, 30, kDay + 1), "VT: 00:01", 0, 1},
        {realAt(7, 5, 30, kDay + 1), "VT: 07:05", 7, 5},
    };
    TrayUnderTest t(std::get<0>(steps[0]));
    for (const auto& [at, label, hour, minute] : steps) {
        SCOPED_TRACE(label);
        if (at != std::get<0>(steps[0])) {
            t.tickAt(at);
        }
        EXPECT_EQ(t.tray->label(), QString::fromUtf8(label));
        EXPECT_EQ(t.tray->trayIcon().toolTip(), QString::fromUtf8(label));
        EXPECT_EQ(imageOf(t.tray->trayIcon().icon().pixmap(QSize(22, 22), 1.0)),
                  imageOf(clockPixmap(hour, minute, 22, 1)));
    }
}

TEST(ClockTray, HandsOverANewIconOnlyWhenTheTextChanges) {
    struct Row {
        const char* name;
        double step; // real seconds between ticks
        int ticks;
        int fewest, most; // HH:MM changes to expect over the span
    };
    // A Valdrian minute lasts 175/60 real seconds.
    const Row rows[] = {
        {"ten minutes of one-second ticks", 1.0, 600, 205, 206},
        {"quarter-second ticks", 0.25, 200, 17, 18},
        {"a clock standing still", 0.0, 30, 0, 0},
        {"late ticks skipping minutes", 7.0, 50, 50, 50},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const double start = 1704067225.0;
        TrayUnderTest t(start);
        ASSERT_EQ(t.tray->iconUpdates(), 1); // the icon shown at start
        QString shown = ZuduzirEraz(start).formattedTime();
        int changes = 0;
        for (int i = 1; i <= row.ticks; ++i) {
            const double now = start + i * row.step;
            const QString text = ZuduzirEraz(now).formattedTime();
            const bool changed = text != shown;
            const int before = t.tray->iconUpdates();
            t.tickAt(now);
            ASSERT_EQ(t.tray->iconUpdates() - before, changed ? 1 : 0)
                << "tick " << i << " at " << text.toStdString();
            changes += changed ? 1 : 0;
            shown = text;
        }
        EXPECT_GE(changes, row.fewest);
        EXPECT_LE(changes, row.most);
    }
}

TEST(ClockTray, IconIsShownWithTheMenuEvenWithoutATray) {
    TrayUnderTest t(realAt(7, 5));
    EXPECT_TRUE(t.tray->trayIcon().isVisible());
    EXPECT_EQ(t.tray->trayIcon().contextMenu(), &t.menu);
    const auto* timer = t.tray->findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());

    // The context menu is Qt's own business; a left click (Trigger) brings the same menu up.
    const std::pair<QSystemTrayIcon::ActivationReason, bool> clicks[] = {
        {QSystemTrayIcon::Trigger, true},
        {QSystemTrayIcon::DoubleClick, false},
        {QSystemTrayIcon::MiddleClick, false},
    };
    auto& icon = const_cast<QSystemTrayIcon&>(t.tray->trayIcon());
    for (const auto& [reason, opens] : clicks) {
        SCOPED_TRACE(reason);
        emit icon.activated(reason);
        EXPECT_EQ(t.menu.isVisible(), opens);
        t.menu.hide();
    }
}

TEST(ClockTray, LabelWindowStandsInAfterConsecutiveChecksWithoutATray) {
    static_assert(ClockTray::kChecksBeforeLabelWindow == 6, "the table below counts six checks");
    struct Row {
        std::string tray;  // per check: 1 = a tray host is there
        std::string shown; // per check, after it: W = label window shown
    };
    const Row rows[] = {
        {"000000", ".....W"},
        {"00000100000", "..........."},
        {"000000010000000", ".....WW......WW"},
        {"1111111", "......."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tray);
        ASSERT_EQ(row.tray.size(), row.shown.size());
        TrayUnderTest t(realAt(7, 5));
        for (std::size_t i = 0; i < row.tray.size(); ++i) {
            t.trayAvailable = row.tray[i] == '1';
            t.tray->checkTray();
            EXPECT_EQ(t.tray->labelWindow() != nullptr, row.shown[i] == 'W') << "check " << i + 1;
        }
    }
}

TEST(ClockTray, LabelWindowShowsTheLabelAndFollowsIt) {
    TrayUnderTest t(realAt(7, 5));
    for (int i = 0; i < ClockTray::kChecksBeforeLabelWindow; ++i) {
        t.tray->checkTray();
    }
    QWidget* window = t.tray->labelWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowFlags(), Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    const auto* label = window->findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), u"VT: 07:05");
    t.tickAt(realAt(7, 6));
    EXPECT_EQ(label->text(), u"VT: 07:06");
}

TEST(LabelWindow, DragMovesItAndAClickOpensTheMenu) {
    struct Row {
        const char* name;
        std::vector<QPoint> path; // left button: pressed at the first point, released at the last
        bool opensMenu;
        QPoint moved;
    };
    const Row rows[] = {
        {"click", {{10, 5}, {10, 5}}, true, {}},
        {"shaky click", {{10, 5}, {11, 6}, {12, 6}}, true, {}},
        {"drag", {{10, 5}, {40, 25}, {60, 35}}, false, {50, 30}},
        {"drag back home", {{10, 5}, {60, 5}, {10, 5}}, false, {}},
    };
    QMenu menu;
    menu.addAction(QStringLiteral("entry"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LabelWindow window(menu);
        window.setLabel(QStringLiteral("VT: 07:05"));
        window.move(200, 100);
        window.show();
        const QPoint home = window.pos();
        // Points are on the screen, relative to where the window started; each event is sent
        // to where the window is at that moment.
        auto local = [&window, home](QPoint point) {
            return window.mapFromGlobal(home + point);
        };
        QTest::mousePress(&window, Qt::LeftButton, {}, local(row.path.front()));
        for (std::size_t i = 1; i < row.path.size(); ++i) {
            QTest::mouseMove(&window, local(row.path[i]));
        }
        QTest::mouseRelease(&window, Qt::LeftButton, {}, local(row.path.back()));
        EXPECT_EQ(window.pos() - home, row.moved);
        EXPECT_EQ(menu.isVisible(), row.opensMenu);
        menu.hide();
    }
    // The right button (or the menu key) asks for the same menu.
    LabelWindow window(menu);
    window.show();
    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5), window.mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(&window, &request);
    EXPECT_TRUE(menu.isVisible());
}

TEST(ClockIcon, HourOverMinuteLightDigitsDarkOutlineOnTransparency) {
    struct Row {
        int size;
        qreal ratio;
    };
    const Row rows[] = {{22, 1}, {22, 2}, {16, 1}, {64, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.size << " at " << row.ratio << "x");
        const QPixmap pixmap = clockPixmap(7, 5, row.size, row.ratio);
        const int side = int(row.size * row.ratio);
        EXPECT_EQ(pixmap.size(), QSize(side, side));
        EXPECT_EQ(pixmap.devicePixelRatio(), row.ratio);
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(side - 1, 0), QPoint(0, side - 1), QPoint(side - 1, side - 1)}) {
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
        }
        // Each half holds opaque light digit pixels and opaque dark outline pixels.
        for (const int half : {0, 1}) {
            int light = 0;
            int dark = 0;
            for (int y = half * side / 2; y < (half + 1) * side / 2; ++y) {
                for (int x = 0; x < side; ++x) {
                    const QRgb p = image.pixel(x, y);
                    light += qAlpha(p) == 255 && qGray(p) > 200;
                    dark += qAlpha(p) == 255 && qGray(p) < 60;
                }
            }
            EXPECT_GT(light, 0) << "half " << half;
            EXPECT_GT(dark, 0) << "half " << half;
        }
    }

    // The hour alone decides the top half, the minute alone the bottom half.
    const auto half = [](int hour, int minute, int which) {
        return imageOf(clockPixmap(hour, minute, 22, 1)).copy(0, which * 11, 22, 11);
    };
    EXPECT_EQ(half(7, 5, 0), half(7, 59, 0));
    EXPECT_NE(half(7, 5, 0), half(23, 5, 0));
    EXPECT_EQ(half(7, 5, 1), half(23, 5, 1));
    EXPECT_NE(half(7, 5, 1), half(7, 59, 1));
}

TEST(ClockIcon, HoldsADrawingForEverySizeAndRatio) {
    const QIcon icon = clockIcon(7, 5);
    const QList<QSize> sizes = icon.availableSizes();
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        for (const qreal ratio : {1.0, 2.0}) {
            SCOPED_TRACE(testing::Message() << size << " at " << ratio << "x");
            const int side = int(size * ratio);
            EXPECT_TRUE(sizes.contains(QSize(side, side)));
            // Drawn for that size, not another size scaled.
            EXPECT_EQ(imageOf(icon.pixmap(QSize(size, size), ratio)),
                      imageOf(clockPixmap(7, 5, size, ratio)));
        }
    }
}

} // namespace
