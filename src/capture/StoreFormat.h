#pragma once

// The layout of a recording folder's two files, shared by the writer (RecordingStore.cpp) and
// the reader (StoreScan.cpp). All numbers are little-endian.
//
// frames.idx: a 32-byte header (magic "MIRELOIX", version, 0, fps as a double, CRC-32 of the
// 24 bytes before it, 0), then one frame record per frame and an end record.
//
// bands.dat, version 2: a 32-byte header laid out like the index's (magic "MIRELOBD"), then,
// for every frame, the band records of its bands that changed followed by a copy of its frame
// record, and the end record. Every record can be checked on its own, so a reader finds the
// records after a damaged one again, and either file alone gives back the frame list.
// Version 1 (still read): a 16-byte header (magic, version, 0) and band records with the
// 24-byte header, no frame records.
//
// Band record: tag "MBND", id (from 1, in writing order), width, rows, bytes, CRC-32 of the
// compressed bytes, and in version 2 the CRC-32 of the 24 header bytes before it; then the
// zstd-compressed rows (width x 4 bytes each, premultiplied RGBA).
//
// Frame record: tag "MFRM", payload size, payload, CRC-32 of the payload. Payload: frame
// number, width, height, frames dropped before it, timestamp (value, timescale, flags), its
// start in frame intervals from the start of the recording (version 2; 0 before), band count,
// 0, then the id of every band, top first.
//
// End record: tag "MEND", payload size, payload, CRC-32 of the payload. Payload: frames dropped
// after the last one; in version 2 also the number of frames and the recording's length in
// frame intervals.

#include "image/BandedFrame.h"

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace mirelo::storeformat {

// Rows per stored band: frames from the capture backends are already cut so. Stored files hold
// bands of this height, so it is part of the format.
constexpr int kBandRows = BandedFrame::kRows;
static_assert(kBandRows == 16, "stored recordings hold bands of 16 rows");
constexpr int kMaxSide = 32768;

constexpr char kIndexMagic[8] = {'M', 'I', 'R', 'E', 'L', 'O', 'I', 'X'};
constexpr char kBandsMagic[8] = {'M', 'I', 'R', 'E', 'L', 'O', 'B', 'D'};
// The version new stores are written in.
constexpr uint32_t kVersion = 2;
constexpr uint32_t kFrameTag = 0x4d52464d;  // "MFRM"
constexpr uint32_t kEndTag = 0x444e454d;    // "MEND"
constexpr uint32_t kBandTag = 0x444e424d;   // "MBND"
constexpr size_t kHeaderBytes = 32;         // both files' header from version 2, the index's in 1
constexpr size_t kBandsHeaderBytesV1 = 16;
constexpr size_t kBandHeaderBytesV1 = 24;
constexpr size_t kBandHeaderBytes = 28;
constexpr size_t kFrameFixedBytes = 48;  // a frame record's payload before its band ids
constexpr size_t kEndPayloadBytesV1 = 4;
constexpr size_t kEndPayloadBytes = 16;
constexpr uint32_t kMaxBandsPerFrame = (kMaxSide + kBandRows - 1) / kBandRows;

inline uint32_t checksum(const void* data, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* bytes = static_cast<const Bytef*>(data);
    while (size > 0) {
        const uInt chunk = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, bytes, chunk);
        bytes += chunk;
        size -= chunk;
    }
    return static_cast<uint32_t>(crc);
}

inline void put32(std::vector<char>& out, uint32_t value) {
    char b[4];
    std::memcpy(b, &value, 4);
    out.insert(out.end(), b, b + 4);
}
inline void put64(std::vector<char>& out, uint64_t value) {
    char b[8];
    std::memcpy(b, &value, 8);
    out.insert(out.end(), b, b + 8);
}
inline uint32_t get32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t get64(const char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// A version-2 header of either file: magic, version, 0, fps, checksum, 0.
inline std::vector<char> header(const char (&magic)[8], double fps) {
    std::vector<char> out(magic, magic + 8);
    put32(out, kVersion);
    put32(out, 0);
    uint64_t fpsBits;
    std::memcpy(&fpsBits, &fps, 8);
    put64(out, fpsBits);
    put32(out, checksum(out.data(), out.size()));
    put32(out, 0);
    return out;
}

}  // namespace mirelo::storeformat
