#include "app/unix_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalSockets[2] = {-1, -1};
// Set by the first signal, or once the event loop has ended for another reason.
std::atomic_flag quitting;

// The first signal asks the event loop to quit. One after it ends the process at once: a quit
// that is stuck (in a speech engine, say) must not keep the user from ending it.
void onSignal(int signalNumber) {
    const int savedErrno = errno;
    if (quitting.test_and_set()) {
        ::_exit(128 + signalNumber);
    }
    const char byte = char(signalNumber);
    [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitOnSignals::QuitOnSignals(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitOnSignals::readSignal);
    // From the Quit menu too: once the loop is over, nothing reads the socket any more.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            [] { quitting.test_and_set(); });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    // One at a time: two arriving together are handled in turn, the second ending the process.
    sigemptyset(&action.sa_mask);
    for (int signalNumber : signalNumbers) {
        sigaddset(&action.sa_mask, signalNumber);
    }
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
