// The update feed comes from the network: parse it, and compare the versions
// it names with each other and with ours.
#include "platform/UpdateChecker.h"

#include <cstddef>
#include <cstdint>

using mirelo::UpdateChecker;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray feed(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<mirelo::AppcastItem> newest = UpdateChecker::newestItem(feed);
    UpdateChecker::evaluate(feed, QStringLiteral("1.2.3"));
    if (newest) {
        // The order must be consistent whatever the feed names.
        const QString& v = newest->version;
        if (UpdateChecker::compareVersions(v, v) != 0 ||
            (UpdateChecker::compareVersions(v, QStringLiteral("1.0")) > 0) !=
                (UpdateChecker::compareVersions(QStringLiteral("1.0"), v) < 0)) {
            __builtin_trap();
        }
    }
    return 0;
}
