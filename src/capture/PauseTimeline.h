#pragma once

#include "capture/MediaTime.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace mirelo {

// Takes the paused spans out of one recording's timeline. While paused, arriving frames are
// left out; once resumed, the first frame that arrives is placed one frame interval after the
// last frame kept before the pause, and every later frame moves back by the same amount. The
// frames on either side of a pause are thus neighbours with an ordinary frame interval between
// them, and the recording's times stay evenly spaced whatever the pause lasted.
//
// Thread safety: every member may be called from any thread at any time.
class PauseTimeline {
public:
    // `frameInterval` is the stream's minimum frame interval (1 / fps).
    explicit PauseTimeline(const MediaTime& frameInterval);
    PauseTimeline(const PauseTimeline&) = delete;
    PauseTimeline& operator=(const PauseTimeline&) = delete;

    // Frames arriving from now on are left out. Returns false when already paused.
    bool pause();
    // Frames are kept again from now on. Returns false when not paused.
    bool resume();
    bool isPaused() const;

    // Frames that arrive with a time before `start` are left out, as in a pause, but without
    // moving the later frames: the recording begins at `start` on the frames' own clock. An
    // invalid time keeps every frame again.
    void keepFrom(const MediaTime& start);

    // The recording time of a frame that arrived with `timestamp`, or nothing when the frame
    // falls into a pause. A timestamp that is not valid is kept as it is.
    std::optional<MediaTime> place(const MediaTime& timestamp);

    // The recording time of an input event at `timestamp` (on the frames' clock), or nothing
    // when it falls into a pause. Changes nothing: an event after a pause whose next frame has
    // not come yet is placed one frame interval after the last frame kept, where that frame
    // will be.
    std::optional<MediaTime> placeEvent(const MediaTime& timestamp) const;

private:
    mutable std::mutex m_mutex;
    const MediaTime m_interval;
    bool m_paused = false;
    bool m_closeGap = false;        // a pause ended; the next kept frame closes the gap
    int32_t m_timescale = 0;        // of the frames' times (0 until the first kept frame)
    int64_t m_shift = 0;            // time taken out so far, in m_timescale units
    std::optional<int64_t> m_last;  // recording time of the last kept frame
    MediaTime m_keepFrom;           // frames before it are left out (when valid)
};

}  // namespace mirelo
