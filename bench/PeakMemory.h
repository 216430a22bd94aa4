#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace mirelo::bench {

// The process's peak resident memory, in MB, from /proc.
inline double peakMemoryMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atof(line.c_str() + 6) / 1024.0;
        }
    }
    return 0;
}

}  // namespace mirelo::bench
