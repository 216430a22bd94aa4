#pragma once

#include "capture/RecordingStore.h"
#include "editor/FrameSink.h"

namespace mirelo {

// Keeps the frames of an editor's geometry operation in a recording store of their own, beside
// the recordings: compressed in memory while the budget lasts, then on disk. The folder goes
// with the last frame read back from it (undo history included).
class StoreFrameSink : public FrameSink {
public:
    // A factory making one such sink, and store, per operation.
    static FrameSinkFactory factory(StoreOptions options);

    explicit StoreFrameSink(std::shared_ptr<RecordingStore> store) : m_store(std::move(store)) {}
    bool keep(const Image& frame, Image* kept, QString* error) override;
    bool finish(QString* error) override;

private:
    std::shared_ptr<RecordingStore> m_store;
    qint64 m_count = 0;
};

}  // namespace mirelo
