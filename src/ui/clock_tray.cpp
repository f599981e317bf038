#include "ui/clock_tray.h"

#include "clock/timer_model.h"
#include "ui/clock_icon.h"
#include "ui/label_window.h"
#include "ui/upcoming_text.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

#include <chrono>

namespace {

// One debug line per icon handed to the tray, so the update rate and the time to the first icon can
// be read off a running program: QT_LOGGING_RULES="variredu.tray.debug=true".
Q_LOGGING_CATEGORY(lcTray, "variredu.tray", QtInfoMsg)

} // namespace

ClockTray::ClockTray(const TimerModel& model, QMenu& menu, TrayAvailable trayAvailable, IconStart iconStart,
                     QObject* parent)
    : QObject(parent)
    , model_(model)
    , menu_(menu)
    , trayAvailable_(std::move(trayAvailable)) {
    connect(&model_, &TimerModel::changed, this, &ClockTray::refresh);
    refresh();
    if (iconStart == IconStart::AtOnce) {
        makeTrayIcon();
    } else {
        qCDebug(lcTray) << "the icon waits for a D-Bus tray host";
    }

    // A child, so the tray's timers can be found; as a member it leaves the children before the
    // parent would delete them.
    trayCheck_.setParent(this);
    trayCheck_.setInterval(kTrayCheckInterval);
    connect(&trayCheck_, &QTimer::timeout, this, &ClockTray::checkTray);
    trayCheck_.start();
}

ClockTray::~ClockTray() = default;

QWidget* ClockTray::labelWindow() const {
    return labelWindow_ && labelWindow_->isVisible() ? labelWindow_.get() : nullptr;
}

void ClockTray::makeTrayIcon() {
    trayIcon_ = std::make_unique<QSystemTrayIcon>();
    trayIcon_->setContextMenu(&menu_);
    // The context menu comes up by itself; a plain left click brings it up too.
    connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    menu_.popup(QCursor::pos());
                }
            });
    trayIcon_->setToolTip(toolTip_);
    handIconOver();
    // Shown even without a tray host: the icon is embedded when one starts later.
    trayIcon_->show();
    qCDebug(lcTray) << "tray icon made";
}

void ClockTray::trayHostAppeared() {
    if (!trayIcon_) {
        makeTrayIcon();
    }
    checkTray();
}

void ClockTray::noTrayHostToWaitFor() {
    checksWithoutTray_ = kChecksBeforeLabelWindow - 1;
    checkTray();
}

void ClockTray::checkTray() {
    sinceTrayCheck_.start();
    // Without an icon, Qt is not asked: asking would make its choice of tray for good.
    if (trayIcon_ && trayAvailable_()) {
        checksWithoutTray_ = 0;
        if (labelWindow_) {
            labelWindow_.reset();
            qCDebug(lcTray) << "label window hidden";
        }
        // From now on refresh() checks on the model's ticks: a timer of its own would wake the
        // program once more every few seconds, for a program that wakes once a second anyway.
        trayCheck_.stop();
        return;
    }
    if (checksWithoutTray_ < kChecksBeforeLabelWindow) {
        ++checksWithoutTray_;
    }
    if (checksWithoutTray_ < kChecksBeforeLabelWindow) {
        return;
    }
    if (!labelWindow_) {
        labelWindow_ = std::make_unique<LabelWindow>(menu_);
        labelWindow_->setLabel(label_);
        labelWindow_->setToolTip(toolTip_);
        labelWindow_->adjustSize();
        // Where a tray would be: the top right corner of the screen's free area.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            constexpr int kMargin = 8;
            const QRect area = screen->availableGeometry();
            labelWindow_->move(area.right() - labelWindow_->width() - kMargin, area.top() + kMargin);
        }
        qCDebug(lcTray) << "label window shown";
    }
    // Shown again at each check if someone closed it: without a tray it is the clock's only face.
    labelWindow_->show();
}

void ClockTray::refresh() {
    // Half a tick early counts: ticks jitter, and waiting for the next would make it 6 s.
    constexpr auto kDue = std::chrono::milliseconds(kTrayCheckInterval) - std::chrono::milliseconds(500);
    if (!trayCheck_.isActive() && sinceTrayCheck_.isValid() && sinceTrayCheck_.hasExpired(kDue.count())) {
        checkTray();
    }
    const ZuduzirEraz& vt = model_.vt();
    const QString label = clockLabel(vt);
    if (label == label_ && model_.upcoming() == upcoming_) {
        return; // most ticks: hosts pay for every change, so nothing is handed over
    }
    upcoming_ = model_.upcoming();
    toolTip_ = upcomingToolTip(label, upcoming_);
    if (trayIcon_) {
        trayIcon_->setToolTip(toolTip_);
    }
    if (labelWindow_) {
        labelWindow_->setToolTip(toolTip_);
    }
    if (label == label_) {
        return;
    }
    label_ = label;
    if (trayIcon_) {
        handIconOver();
    }
    if (labelWindow_) {
        labelWindow_->setLabel(label_);
    }
}

void ClockTray::handIconOver() {
    const ZuduzirEraz& vt = model_.vt();
    trayIcon_->setIcon(clockIcon(vt.hour(), vt.minute()));
    ++iconUpdates_;
    qCDebug(lcTray) << "icon handed over:" << label_;
}
