#pragma once

#include <QHashFunctions>
#include <QUuid>

// An alarm as its row in the settings window knows it: its id and which of the alarms with that id
// it is (a hand-edited list may repeat an id).
struct RowKey {
    QUuid id;
    int occurrence = 0;

    friend bool operator==(const RowKey&, const RowKey&) = default;
};

// Over all sixteen bytes of the id: Qt's own QUuid hash folds the fields together with XOR, so ids
// made by a pattern (a generated or hand-edited list) can all land in one bucket.
[[nodiscard]] inline size_t qHash(const RowKey& key, size_t seed = 0) noexcept {
    return qHashMulti(seed, qHashBits(&key.id, sizeof key.id), key.occurrence);
}
