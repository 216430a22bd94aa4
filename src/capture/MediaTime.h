#pragma once

#include <cstdint>

namespace mirelo {

// A presentation time kept whole, as a rational value with its flags and
// epoch, so that nothing is lost between the capture source and the store.
struct MediaTime {
    enum Flag : uint32_t {
        Valid = 1u << 0,
        HasBeenRounded = 1u << 1,
        PositiveInfinity = 1u << 2,
        NegativeInfinity = 1u << 3,
        Indefinite = 1u << 4,
    };

    int64_t value = 0;
    int32_t timescale = 0;
    uint32_t flags = 0;
    int64_t epoch = 0;

    bool isValid() const { return (flags & Valid) != 0 && timescale > 0; }
    // value / timescale; 0 for an invalid time.
    double seconds() const {
        return isValid() ? static_cast<double>(value) / static_cast<double>(timescale) : 0.0;
    }

    friend bool operator==(const MediaTime&, const MediaTime&) = default;
};

}  // namespace mirelo
