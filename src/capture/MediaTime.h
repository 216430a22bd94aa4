#pragma once

#include <cstdint>

namespace mirelo {

// A presentation time kept whole, as a rational value, so that nothing is
// lost between the capture source and the store.
struct MediaTime {
    enum Flag : uint32_t {
        Valid = 1u << 0,
    };

    int64_t value = 0;
    int32_t timescale = 0;
    uint32_t flags = 0;

    bool isValid() const { return (flags & Valid) != 0 && timescale > 0; }
    // value / timescale; 0 for an invalid time.
    double seconds() const {
        return isValid() ? static_cast<double>(value) / static_cast<double>(timescale) : 0.0;
    }

    friend bool operator==(const MediaTime&, const MediaTime&) = default;
};

}  // namespace mirelo
