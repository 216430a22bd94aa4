#include "capture/FrameStore.h"

namespace mirelo {

void FrameStore::append(const Image& image, const MediaTime& timestamp) {
    std::lock_guard lock(m_mutex);
    m_frames.push_back(Frame{image, timestamp});
}

std::vector<FrameStore::Frame> FrameStore::drain() {
    std::vector<Frame> taken;
    std::lock_guard lock(m_mutex);
    taken.swap(m_frames);
    return taken;
}

size_t FrameStore::count() const {
    std::lock_guard lock(m_mutex);
    return m_frames.size();
}

}  // namespace mirelo
