#pragma once

#include <QObject>

#include <initializer_list>

// Quits the application's event loop, cleanly and with status 0, when one of the given signals
// arrives. The handler only writes a byte to a socket; the loop does the rest. A signal after that
// one, or after the loop has ended, ends the process at once with status 128 + its number.
class QuitOnSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitOnSignals(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~QuitOnSignals() override;

private:
    void readSignal();
};
