#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

// Tells when a panel that shows tray items over D-Bus (a StatusNotifierItem host) is there: when the
// watcher's name appears on the session bus with a host registered, or a host registers with a
// watcher that was there already (some panels take the name early and register their host only
// once their UI is up). Also asks once at construction.
class StatusNotifierHosts : public QObject {
    Q_OBJECT

public:
    explicit StatusNotifierHosts(const QDBusConnection& bus, QObject* parent = nullptr);

    // Whether a watcher's name is on the bus now: a panel is there or starting. Asks the bus itself,
    // which answers at once, never the panel.
    [[nodiscard]] bool watcherPresent() const;

signals:
    void hostRegistered();

private slots:
    // Asks the watcher whether a host is registered; the answer comes later.
    void ask();

private:
    QDBusConnection bus_;
    QDBusServiceWatcher watcher_;
};
