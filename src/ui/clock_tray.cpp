#include "ui/clock_tray.h"

#include "clock/timer_model.h"
#include "ui/clock_icon.h"
#include "ui/label_window.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

ClockTray::ClockTray(const TimerModel& model, QMenu& menu, TrayAvailable trayAvailable, QObject* parent)
    : QObject(parent)
    , model_(model)
    , menu_(menu)
    , trayAvailable_(std::move(trayAvailable))
    , notifier_(model)
    , trayIcon_(std::make_unique<QSystemTrayIcon>()) {
    trayIcon_->setContextMenu(&menu_);
    // The context menu comes up by itself; a plain left click brings it up too.
    connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    menu_.popup(QCursor::pos());
                }
            });
    connect(&notifier_, &ChangeNotifier::changed, this, &ClockTray::refresh);
    refresh();
    // Shown even without a tray host: the icon is embedded when one starts later.
    trayIcon_->show();

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

void ClockTray::checkTray() {
    if (trayAvailable_()) {
        checksWithoutTray_ = 0;
        labelWindow_.reset();
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
        labelWindow_->adjustSize();
        // Where a tray would be: the top right corner of the screen's free area.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            constexpr int kMargin = 8;
            const QRect area = screen->availableGeometry();
            labelWindow_->move(area.right() - labelWindow_->width() - kMargin, area.top() + kMargin);
        }
    }
    // Shown again at each check if someone closed it: without a tray it is the clock's only face.
    labelWindow_->show();
}

void ClockTray::refresh() {
    const ZuduzirEraz& vt = model_.vt();
    const QString label = clockLabel(vt);
    if (label == label_) {
        return; // most ticks: hosts pay for every new icon, so nothing is handed over
    }
    label_ = label;
    trayIcon_->setToolTip(label_);
    trayIcon_->setIcon(clockIcon(vt.hour(), vt.minute()));
    ++iconUpdates_;
    if (labelWindow_) {
        labelWindow_->setLabel(label_);
    }
}
