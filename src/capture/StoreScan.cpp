#include "capture/StoreScan.h"

#include "capture/StoreFormat.h"
#include "image/ImageServices.h"

#include <zstd.h>

#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

namespace mirelo {

using namespace storeformat;

namespace {

constexpr uint32_t kMaxDrops = 1u << 20;

struct Header {
    bool ok = false;
    uint32_t version = 0;
    double fps = 0;  // 0 where the header does not hold it (a version-1 bands file)
};

bool saneFps(double fps) {
    return std::isfinite(fps) && fps >= 1 && fps <= 1000;
}

Header readHeader(const char* data, size_t size, bool bandsFile) {
    Header header;
    if (size < kBandsHeaderBytesV1 ||
        std::memcmp(data, bandsFile ? kBandsMagic : kIndexMagic, 8) != 0) {
        return header;
    }
    if (bandsFile && get32(data + 8) == 1 && get32(data + 12) == 0) {
        header.ok = true;
        header.version = 1;
        return header;
    }
    if (size < kHeaderBytes || get32(data + 24) != checksum(data, 24)) {
        return header;
    }
    const uint32_t version = get32(data + 8);
    double fps = 0;
    std::memcpy(&fps, data + 16, 8);
    // A version-1 index and every version-2 header hold the frame rate.
    if (version < 1 || version > kVersion || (version == 1 && bandsFile) || !saneFps(fps)) {
        return header;
    }
    header.ok = true;
    header.version = version;
    header.fps = fps;
    return header;
}

struct End {
    uint32_t dropsAfter = 0;
    // Version 2 only.
    bool counted = false;
    uint32_t frames = 0;
    uint64_t intervals = 0;
};

// Collects the intact records of both files.
class Records {
public:
    explicit Records(uint32_t version) : m_version(version) {}

    // Walks one file from `start`: every record that checks is taken; after one that does
    // not, the walk goes on at the next place holding a record tag.
    void walk(const char* data, size_t size, size_t start, bool bandsFile) {
        size_t at = start;
        m_resynced = false;
        m_lastV1Band = 0;
        while (at < size) {
            const size_t next = record(data, size, at, bandsFile);
            if (next > at) {
                at = next;
                continue;
            }
            damaged = true;
            at = nextTag(data, size, at + 1);
            m_resynced = true;
        }
    }

    bool damaged = false;
    std::vector<StoreScan::Band> bands;
    std::unordered_map<uint32_t, size_t> bandIndex;  // id -> index into bands, or kConflict
    std::map<uint32_t, std::vector<char>> frames;    // number -> payload
    std::set<uint32_t> conflicting;                  // numbers with two different records
    std::optional<End> end;

    static constexpr size_t kConflict = SIZE_MAX;

private:
    static size_t nextTag(const char* data, size_t size, size_t from) {
        while (from + 4 <= size) {
            const void* found = std::memchr(data + from, 'M', size - from - 3);
            if (!found) {
                break;
            }
            from = static_cast<size_t>(static_cast<const char*>(found) - data);
            const uint32_t tag = get32(data + from);
            if (tag == kBandTag || tag == kFrameTag || tag == kEndTag) {
                return from;
            }
            ++from;
        }
        return size;
    }

    // The end of the intact record at `at`, or `at` when there is none. A band whose header
    // checks but whose bytes do not is skipped whole (its end is known).
    size_t record(const char* data, size_t size, size_t at, bool bandsFile) {
        const size_t left = size - at;
        if (left < 8) {
            return at;
        }
        const char* p = data + at;
        const uint32_t tag = get32(p);
        if (tag == kBandTag && bandsFile) {
            return band(p, left, at);
        }
        if (tag == kFrameTag && (!bandsFile || m_version >= 2)) {
            const uint32_t bytes = get32(p + 4);
            if (bytes < kFrameFixedBytes || (bytes - kFrameFixedBytes) % 4 != 0 ||
                (bytes - kFrameFixedBytes) / 4 > kMaxBandsPerFrame || left - 8 < bytes + 4 ||
                get32(p + 8 + bytes) != checksum(p + 8, bytes)) {
                return at;
            }
            frame(std::vector<char>(p + 8, p + 8 + bytes));
            return at + 12 + bytes;
        }
        if (tag == kEndTag) {
            const uint32_t bytes = get32(p + 4);
            if ((bytes != kEndPayloadBytesV1 && bytes != kEndPayloadBytes) ||
                left - 8 < bytes + 4 || get32(p + 8 + bytes) != checksum(p + 8, bytes)) {
                return at;
            }
            End found;
            found.dropsAfter = std::min(get32(p + 8), kMaxDrops);
            if (bytes == kEndPayloadBytes) {
                found.counted = true;
                found.frames = get32(p + 12);
                found.intervals = get64(p + 16);
            }
            if (!end || (found.counted && !end->counted)) {
                end = found;
            }
            return at + 12 + bytes;
        }
        return at;
    }

    size_t band(const char* p, size_t left, size_t at) {
        const size_t headerBytes = m_version >= 2 ? kBandHeaderBytes : kBandHeaderBytesV1;
        if (left < headerBytes) {
            return at;
        }
        const uint32_t id = get32(p + 4);
        const uint32_t width = get32(p + 8);
        const uint32_t rows = get32(p + 12);
        const uint32_t bytes = get32(p + 16);
        const uint32_t sum = get32(p + 20);
        if (m_version >= 2 && get32(p + 24) != checksum(p, 24)) {
            return at;
        }
        if (id < 1 || width < 1 || width > kMaxSide || rows < 1 || rows > kBandRows || bytes < 1 ||
            bytes > ZSTD_compressBound(size_t{width} * rows * 4)) {
            return at;
        }
        // Version 1 has no checksum over the header: its ids must count up one by one, but
        // for the gap a damaged record leaves.
        if (m_version < 2 &&
            (id <= m_lastV1Band || (!m_resynced && m_lastV1Band != 0 && id != m_lastV1Band + 1))) {
            return at;
        }
        if (left - headerBytes < bytes) {
            return at;  // cut short
        }
        const char* compressed = p + headerBytes;
        if (checksum(compressed, bytes) != sum) {
            if (m_version >= 2) {
                damaged = true;
                return at + headerBytes + bytes;
            }
            return at;
        }
        m_lastV1Band = id;
        m_resynced = false;
        const StoreScan::Band found{static_cast<qint64>(at + headerBytes), bytes, sum,
                                    static_cast<int>(width), static_cast<int>(rows)};
        const auto [it, fresh] = bandIndex.emplace(id, bands.size());
        if (fresh) {
            bands.push_back(found);
        } else {
            it->second = kConflict;  // two bands of one id: neither can be trusted
        }
        return at + headerBytes + bytes;
    }

    void frame(std::vector<char> payload) {
        const uint32_t number = get32(payload.data());
        const auto found = frames.find(number);
        if (found == frames.end()) {
            frames.emplace(number, std::move(payload));
        } else if (found->second != payload) {
            conflicting.insert(number);
        }
    }

    uint32_t m_version;
    bool m_resynced = false;
    uint32_t m_lastV1Band = 0;
};

}  // namespace

StoreScan scanStore(const char* index, size_t indexBytes, const char* bands, size_t bandsBytes) {
    StoreScan scan;
    const Header indexHeader = readHeader(index, indexBytes, false);
    const Header bandsHeader = readHeader(bands, bandsBytes, true);
    // Either header tells the version and the frame rate (a version-1 store only its index).
    const Header& header = indexHeader.ok ? indexHeader : bandsHeader;
    scan.damaged = (indexBytes > 0 && !indexHeader.ok) || (bandsBytes > 0 && !bandsHeader.ok);
    if (!header.ok || header.fps == 0) {
        scan.damaged = scan.damaged || indexBytes > 0 || bandsBytes > 0;
        return scan;
    }
    scan.valid = true;
    scan.version = header.version;
    scan.fps = header.fps;

    Records records(scan.version);
    records.walk(index, indexBytes, kHeaderBytes, false);
    records.walk(bands, bandsBytes, scan.version >= 2 ? kHeaderBytes : kBandsHeaderBytesV1, true);
    scan.damaged = scan.damaged || records.damaged;
    scan.bands = std::move(records.bands);

    // Every frame record, in recording order: the intact ones become frames; the others, and
    // the numbers no record is left of, are lost.
    uint64_t dropsSoFar = 0;  // version 1: the start of a frame is its number plus the drops
    bool havePosition = false;
    uint64_t lastPosition = 0;  // of the last frame record taken, intact or not
    uint32_t lastNumber = 0;
    uint64_t lostDrops = 0;
    for (const auto& [number, payload] : records.frames) {
        const char* p = payload.data();
        const uint32_t dropsBefore = std::min(get32(p + 12), kMaxDrops);
        dropsSoFar += dropsBefore;
        const uint64_t position = scan.version >= 2 ? get64(p + 32) : number + dropsSoFar;
        // Positions grow with the frame number by at least one interval a frame; a record
        // that breaks that cannot be placed and is lost.
        if (position < number ||
            (havePosition && position < lastPosition + (number - lastNumber))) {
            lostDrops += dropsBefore;
            continue;
        }
        havePosition = true;
        lastPosition = position;
        lastNumber = number;

        const uint32_t width = get32(p + 4);
        const uint32_t height = get32(p + 8);
        const uint32_t count = get32(p + 40);
        bool intact = !records.conflicting.contains(number) && width >= 1 && width <= kMaxSide &&
                      height >= 1 && height <= kMaxSide &&
                      qint64{width} * height <= ImageServices::kMaxSurfacePixels &&
                      count == (height + kBandRows - 1) / kBandRows &&
                      count == (payload.size() - kFrameFixedBytes) / 4;
        StoreScan::Frame frame;
        for (uint32_t i = 0; intact && i < count; ++i) {
            const uint32_t id = get32(p + kFrameFixedBytes + 4 * i);
            const uint32_t rows = std::min<uint32_t>(kBandRows, height - i * kBandRows);
            const auto found = records.bandIndex.find(id);
            intact = found != records.bandIndex.end() && found->second != Records::kConflict &&
                     scan.bands[found->second].width == static_cast<int>(width) &&
                     scan.bands[found->second].rows == static_cast<int>(rows);
            if (intact) {
                frame.bands.push_back(static_cast<uint32_t>(found->second));
            }
        }
        if (!intact) {
            lostDrops += dropsBefore;
            continue;
        }
        frame.number = number;
        frame.width = static_cast<int>(width);
        frame.height = static_cast<int>(height);
        frame.dropsBefore = dropsBefore;
        frame.timestamp.value = static_cast<int64_t>(get64(p + 16));
        frame.timestamp.timescale = static_cast<int32_t>(get32(p + 24));
        frame.timestamp.flags = get32(p + 28);
        frame.position = position;
        scan.frames.push_back(std::move(frame));
    }

    // How many frames there were and where the recording ends.
    uint64_t frameCount = records.frames.empty() ? 0 : uint64_t{records.frames.rbegin()->first} + 1;
    uint64_t end = havePosition ? lastPosition + 1 : 0;
    if (records.end) {
        if (records.end->counted) {
            frameCount = std::max<uint64_t>(frameCount, records.end->frames);
            end = std::max(end, records.end->intervals);
        } else if (havePosition) {
            end = lastPosition + 1 + records.end->dropsAfter;
        }
    }
    for (size_t i = 0; i < scan.frames.size(); ++i) {
        const uint64_t next = i + 1 < scan.frames.size() ? scan.frames[i + 1].position : end;
        scan.intervals.push_back(std::max<uint64_t>(1, next - scan.frames[i].position));
    }
    scan.lostFrames = static_cast<size_t>(frameCount - scan.frames.size());
    scan.lostIntervals = scan.lostFrames + lostDrops;
    if (scan.lostFrames > 0) {
        scan.damaged = true;
    }
    return scan;
}

StoreScan scanStore(const QByteArray& index, const QByteArray& bands) {
    return scanStore(index.constData(), static_cast<size_t>(index.size()), bands.constData(),
                     static_cast<size_t>(bands.size()));
}

}  // namespace mirelo
