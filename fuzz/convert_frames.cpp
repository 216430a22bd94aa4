// mirelo-convert reads whatever files lie in the folder it is given: one
// file through the frame loader, as the converter reads each frame.
#include "FuzzSupport.h"
#include "convert/FrameLoader.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mirelo::fuzz::ensureApplication();
    static QTemporaryDir folder(QFile::exists(QStringLiteral("/dev/shm"))
                                    ? QStringLiteral("/dev/shm/mirelo-fuzz-XXXXXX")
                                    : QDir::tempPath() + QStringLiteral("/mirelo-fuzz-XXXXXX"));
    const QString name = QStringLiteral("frame.png");
    QFile file(folder.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        __builtin_trap();
    }
    file.close();
    mirelo::convert::FrameLoader loader(QDir(folder.path()), {name}, mirelo::CancelFlag(), 1, 1);
    const mirelo::Image frame = loader.frame(0);
    if (frame.isNull() == loader.error(0).isEmpty()) {
        __builtin_trap();  // a frame that failed must say why, and only then
    }
    return 0;
}
