#include "capture/PauseTimeline.h"

#include <algorithm>
#include <cmath>

namespace mirelo {

namespace {

// `value` ticks of `from` expressed in ticks of `to`, rounded to the nearest tick.
int64_t rescale(int64_t value, int32_t from, int32_t to) {
    if (from == to || from <= 0 || to <= 0) {
        return value;
    }
    return std::llround(static_cast<long double>(value) * to / from);
}

}  // namespace

PauseTimeline::PauseTimeline(const MediaTime& frameInterval) : m_interval(frameInterval) {}

bool PauseTimeline::pause() {
    std::lock_guard lock(m_mutex);
    if (m_paused) {
        return false;
    }
    m_paused = true;
    return true;
}

bool PauseTimeline::resume() {
    std::lock_guard lock(m_mutex);
    if (!m_paused) {
        return false;
    }
    m_paused = false;
    m_closeGap = true;
    return true;
}

bool PauseTimeline::isPaused() const {
    std::lock_guard lock(m_mutex);
    return m_paused;
}

void PauseTimeline::keepFrom(const MediaTime& start) {
    std::lock_guard lock(m_mutex);
    m_keepFrom = start;
}

std::optional<MediaTime> PauseTimeline::place(const MediaTime& timestamp) {
    std::lock_guard lock(m_mutex);
    if (m_paused) {
        return std::nullopt;
    }
    if (!timestamp.isValid()) {
        return timestamp;
    }
    if (m_keepFrom.isValid() &&
        static_cast<long double>(timestamp.value) * m_keepFrom.timescale <
            static_cast<long double>(m_keepFrom.value) * timestamp.timescale) {
        return std::nullopt;
    }
    if (m_timescale != 0 && timestamp.timescale != m_timescale) {
        m_shift = rescale(m_shift, m_timescale, timestamp.timescale);
        if (m_last) {
            m_last = rescale(*m_last, m_timescale, timestamp.timescale);
        }
    }
    m_timescale = timestamp.timescale;
    if (m_closeGap && m_last) {
        const int64_t interval =
            m_interval.isValid() ? rescale(m_interval.value, m_interval.timescale, m_timescale) : 0;
        const int64_t gap = timestamp.value - m_shift - *m_last;
        if (gap > interval) {
            m_shift += gap - interval;
        }
    }
    m_closeGap = false;
    MediaTime placed = timestamp;
    placed.value -= m_shift;
    m_last = placed.value;
    return placed;
}

std::optional<MediaTime> PauseTimeline::placeEvent(const MediaTime& timestamp) const {
    std::lock_guard lock(m_mutex);
    if (m_paused) {
        return std::nullopt;
    }
    if (!timestamp.isValid() || m_timescale == 0) {
        return timestamp;
    }
    MediaTime placed = timestamp;
    const int64_t shift = rescale(m_shift, m_timescale, timestamp.timescale);
    placed.value -= shift;
    if (m_closeGap && m_last) {
        const int64_t last = rescale(*m_last, m_timescale, timestamp.timescale);
        const int64_t interval =
            m_interval.isValid()
                ? rescale(m_interval.value, m_interval.timescale, timestamp.timescale)
                : 0;
        placed.value = std::min(placed.value, last + interval);
    }
    return placed;
}

}  // namespace mirelo
