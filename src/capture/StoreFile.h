#pragma once

// The open files of a recording folder and the bands read from them, shared by the writer
// (RecordingStore.cpp) and recovery (StoreRecovery.cpp).

#include "capture/RecordingStore.h"
#include "capture/StoreScan.h"
#include "image/Image.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

namespace mirelo {

// The open files of one recording folder, shared by the store and every band read from it.
// Removes the folder, whatever else it holds, when the last of them goes.
class StoreFile {
public:
    QString folder;
    int bands = -1;
    int index = -1;
    int lock = -1;
    std::atomic<bool> removeWhenUnused{true};

    ~StoreFile();
    void removeFiles();

private:
    std::mutex m_mutex;
    bool m_removed = false;
};

// One compressed band of a store, decoded when an Image reads it: from memory when the
// budget allowed keeping its bytes, else read from the bands file and checked again.
class StoredBand : public PixelSource {
public:
    StoredBand(std::shared_ptr<StoreFile> file, QSize size, const StoreScan::Band& where,
               QByteArray memory, std::shared_ptr<MemoryBudget> budget);
    ~StoredBand() override;
    QSize size() const override { return m_size; }
    bool decode(uchar* out) const override;

private:
    std::shared_ptr<StoreFile> m_file;
    QSize m_size;
    StoreScan::Band m_where;
    QByteArray m_memory;
    std::shared_ptr<MemoryBudget> m_budget;
};

}  // namespace mirelo
