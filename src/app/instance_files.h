#pragma once

#include <QString>

// Where a user's clocks keep the files through which they find each other: the tray's lock and
// socket, and the lock of the clock that speaks. A folder only that user can write, so no one else
// can make those files first: $XDG_RUNTIME_DIR when it is such a folder, else variredu-divar in
// $XDG_STATE_HOME (~/.local/state), made private. Never a shared temporary folder.
struct InstanceDirectory {
    QString path;    // absolute; empty when no such folder could be had
    QString problem; // when path is empty: why, naming the folder
};

[[nodiscard]] InstanceDirectory instanceDirectory();

// "process 1234 (variredu-divar --terminal)", as far as the process table tells. For messages.
[[nodiscard]] QString describeProcess(qint64 pid);
