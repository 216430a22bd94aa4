#include "capture/InputEventLog.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace mirelo {

namespace {

constexpr char kMagic[8] = {'M', 'I', 'R', 'E', 'L', 'O', 'E', 'V'};
constexpr uint32_t kVersion = 1;
// kind, seconds, modifiers, typing, button, x, y: then the key name's UTF-8 bytes.
constexpr qsizetype kFixedPayload = 1 + 8 + 4 + 1 + 4 + 4 + 4;
// A key name longer than this is no key name: the record is damaged.
constexpr qsizetype kMaxName = 256;
// Reading stops past this many bytes: no recording has that many events.
constexpr qint64 kMaxLogBytes = qint64{64} << 20;

template <typename T>
void put(QByteArray& out, T value) {
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

template <typename T>
T take(const char* data) {
    return qFromLittleEndian<T>(data);
}

uint32_t checksum(const char* data, qsizetype size) {
    return uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(data), uInt(size)));
}

}  // namespace

InputEventLog::~InputEventLog() {
    close();
}

QString InputEventLog::fileName() {
    return QStringLiteral("events.dat");
}

QByteArray InputEventLog::header() {
    QByteArray out(kMagic, sizeof(kMagic));
    put<uint32_t>(out, kVersion);
    return out;
}

QByteArray InputEventLog::encode(const InputEvent& event) {
    QByteArray payload;
    put<uint8_t>(payload, uint8_t(event.kind));
    double seconds = event.seconds;
    uint64_t bits = 0;
    std::memcpy(&bits, &seconds, sizeof(bits));
    put<uint64_t>(payload, bits);
    put<uint32_t>(payload, event.modifiers);
    put<uint8_t>(payload, event.typing ? 1 : 0);
    put<int32_t>(payload, event.button);
    put<int32_t>(payload, event.position.x());
    put<int32_t>(payload, event.position.y());
    payload.append(event.keyName.toUtf8().left(kMaxName));
    QByteArray record;
    put<uint32_t>(record, uint32_t(payload.size()));
    put<uint32_t>(record, checksum(payload.constData(), payload.size()));
    record.append(payload);
    return record;
}

bool InputEventLog::open(const QString& folder) {
    close();
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(fileName()));
    m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        return false;
    }
    const QByteArray start = header();
    if (::write(m_fd, start.constData(), size_t(start.size())) != start.size()) {
        close();
        return false;
    }
    return true;
}

bool InputEventLog::append(const InputEvent& event) {
    if (m_fd < 0) {
        return false;
    }
    const QByteArray record = encode(event);
    ssize_t written = 0;
    do {
        written = ::write(m_fd, record.constData(), size_t(record.size()));
    } while (written < 0 && errno == EINTR);
    if (written != record.size()) {
        // A part of a record stays at the end; readers stop there. Nothing more is written.
        close();
        return false;
    }
    return true;
}

void InputEventLog::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

std::vector<InputEvent> InputEventLog::read(const QString& folder) {
    QFile file(QDir(folder).filePath(fileName()));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return parse(file.read(kMaxLogBytes));
}

std::vector<InputEvent> InputEventLog::parse(const QByteArray& bytes) {
    std::vector<InputEvent> events;
    const QByteArray start = header();
    if (!bytes.startsWith(start)) {
        return events;
    }
    qsizetype at = start.size();
    while (bytes.size() - at >= 8) {
        const char* data = bytes.constData() + at;
        const uint32_t size = take<uint32_t>(data);
        const uint32_t sum = take<uint32_t>(data + 4);
        if (size < uint32_t(kFixedPayload) || size > uint32_t(kFixedPayload + kMaxName) ||
            qsizetype(size) > bytes.size() - at - 8) {
            break;
        }
        const char* payload = data + 8;
        if (checksum(payload, qsizetype(size)) != sum) {
            break;
        }
        InputEvent event;
        const auto kind = take<uint8_t>(payload);
        if (kind > uint8_t(InputEvent::Kind::pointerMove)) {
            break;
        }
        event.kind = InputEvent::Kind(kind);
        const uint64_t bits = take<uint64_t>(payload + 1);
        std::memcpy(&event.seconds, &bits, sizeof(bits));
        if (!std::isfinite(event.seconds)) {
            break;
        }
        event.modifiers = take<uint32_t>(payload + 9);
        event.typing = take<uint8_t>(payload + 13) != 0;
        event.button = take<int32_t>(payload + 14);
        event.position = QPoint(take<int32_t>(payload + 18), take<int32_t>(payload + 22));
        event.keyName = QString::fromUtf8(payload + kFixedPayload, qsizetype(size) - kFixedPayload);
        events.push_back(std::move(event));
        at += 8 + qsizetype(size);
    }
    return events;
}

}  // namespace mirelo
