#include "app/StoreFrameSink.h"
#include "i18n/ModelTexts.h"

#include <cmath>

namespace mirelo {

FrameSinkFactory StoreFrameSink::factory(StoreOptions options) {
    return
        [options = std::move(options)](double fps, QString* error) -> std::unique_ptr<FrameSink> {
            StoreError failure;
            std::shared_ptr<RecordingStore> store = RecordingStore::create(options, fps, &failure);
            if (!store) {
                if (error) {
                    *error = i18n::describe(failure);
                }
                return nullptr;
            }
            return std::make_unique<StoreFrameSink>(std::move(store));
        };
}

bool StoreFrameSink::keep(const Image& frame, Image* kept, QString* error) {
    // The times only order the frames: the editor keeps the delays.
    const qint64 micros = std::llround(double(m_count) * 1e6 / m_store->fps());
    std::optional<StoreError> failure =
        m_store->append(frame, MediaTime{micros, 1'000'000, MediaTime::Valid}, 0, kept);
    ++m_count;
    if (failure && error) {
        *error = i18n::describe(*failure);
    }
    return !failure;
}

bool StoreFrameSink::finish(QString* error) {
    std::optional<StoreError> failure = m_store->finish(0);
    if (failure && error) {
        *error = i18n::describe(*failure);
    }
    return !failure;
}

}  // namespace mirelo
