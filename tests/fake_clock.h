#pragma once

#include "clock/timer_model.h"

#include <memory>

// A clock that moves only when a test says so.
struct FakeClock {
    std::shared_ptr<double> now = std::make_shared<double>(0.0);
    [[nodiscard]] TimerModel::Clock function() const {
        return [now = now] {
            return *now;
        };
    }
    void set(double seconds) const { *now = seconds; }
    void advance(double seconds) const { *now += seconds; }
};
