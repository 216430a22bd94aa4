#pragma once

#include <chrono>

namespace mirelo {

// Time the calling thread has spent ready to run without a processor so far (the kernel's
// scheduler statistics); zero where the kernel keeps none. Cheap enough to read at the start
// and end of a recording.
std::chrono::nanoseconds runQueueWait();

}  // namespace mirelo
