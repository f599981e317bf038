#pragma once

#include <QString>

#include <bit>
#include <cstdint>

// One Valdrian instant. The game world's clock counts from the Unix epoch and runs 144/7 times as
// fast as real time. Immutable: a new value is made for every reading.
class ZuduzirEraz {
public:
    // The double nearest to 144/7, stored rather than computed so every build agrees to the bit.
    static constexpr double kFactor = 20.571428571428573;
    static_assert(std::bit_cast<std::uint64_t>(kFactor) == 0x4034924924924925ULL);

    static constexpr int kSecondsPerDay = 86400;

    // realSeconds: seconds since 1970-01-01 00:00:00 UTC, fraction kept.
    explicit ZuduzirEraz(double realSeconds) noexcept;

    // Valdrian seconds since the epoch: one multiplication of the real instant.
    [[nodiscard]] double date() const noexcept { return date_; }
    [[nodiscard]] int hour() const noexcept { return secondOfDay_ / 3600; }
    [[nodiscard]] int minute() const noexcept { return secondOfDay_ / 60 % 60; }
    // "HH:MM", always five characters.
    [[nodiscard]] QString formattedTime() const;

private:
    double date_;
    int secondOfDay_; // 0..86399, from the floored Valdrian seconds
};

// Valdrian second of the day (0..86399) for Valdrian seconds v. Floored, so instants before the
// epoch read as the previous day. Defined for every double: NaN and infinities read as 0.
[[nodiscard]] int valdrianSecondOfDay(double valdrianSeconds) noexcept;

// The label shown for the clock: "VT: HH:MM".
[[nodiscard]] QString clockLabel(const ZuduzirEraz& vt);
