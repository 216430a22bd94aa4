#include "capture/ThreadScheduling.h"

#include <cstdio>

namespace mirelo {

std::chrono::nanoseconds runQueueWait() {
    std::FILE* file = std::fopen("/proc/thread-self/schedstat", "r");
    if (file == nullptr) {
        return {};
    }
    unsigned long long running = 0;
    unsigned long long waiting = 0;
    const int fields = std::fscanf(file, "%llu %llu", &running, &waiting);
    std::fclose(file);
    return fields == 2 ? std::chrono::nanoseconds(waiting) : std::chrono::nanoseconds{};
}

}  // namespace mirelo
