#pragma once

#include "capture/MediaTime.h"

#include <chrono>

// The capture backends schedule frames on the steady clock and stamp them
// with its time.
namespace mirelo::captureclock {

using Clock = std::chrono::steady_clock;

// A steady-clock time as a presentation time in nanoseconds.
inline MediaTime mediaTime(Clock::time_point time) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    return MediaTime{ns, 1'000'000'000, MediaTime::Valid};
}

// The interval between frames on the steady clock; an invalid or empty one
// is a second.
inline Clock::duration period(const MediaTime& interval) {
    const double seconds = interval.isValid() && interval.value > 0 ? interval.seconds() : 1.0;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace mirelo::captureclock
