#include "app/status_notifier_hosts.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

} // namespace

StatusNotifierHosts::StatusNotifierHosts(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , bus_(bus)
    , watcher_(kWatcher, bus, QDBusServiceWatcher::WatchForRegistration) {
    watcher_.setParent(this);
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, &StatusNotifierHosts::ask);
    // QtDBus connects bus signals only by the slot's name.
    bus_.connect(kWatcher, kWatcherPath, kWatcher, QStringLiteral("StatusNotifierHostRegistered"), this,
                 SIGNAL(hostRegistered()));
    ask();
}

bool StatusNotifierHosts::watcherPresent() const {
    const QDBusConnectionInterface* bus = bus_.interface();
    return bus != nullptr && bus->isServiceRegistered(kWatcher).value();
}

void StatusNotifierHosts::ask() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    // Not waited for: a panel still starting up may take its time to answer.
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        if (!reply.isError() && reply.value().variant().toBool()) {
            emit hostRegistered();
        }
        finished->deleteLater();
    });
}
