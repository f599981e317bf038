#include "app/unix_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalSockets[2] = {-1, -1};

void onSignal(int signalNumber) {
    const char byte = char(signalNumber);
    [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
}

} // namespace

QuitOnSignals::QuitOnSignals(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitOnSignals::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : signalNumbers) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

QuitOnSignals::~QuitOnSignals() = default;

void QuitOnSignals::readSignal() {
    char byte = 0;
    [[maybe_unused]] const auto got = ::read(signalSockets[1], &byte, 1);
    QCoreApplication::exit(0);
}
