#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/startup_marks.h"

namespace platform {

// The start is field 22 of /proc/self/stat, in clock ticks since the boot.
double processAgeMs() {
    std::ifstream in("/proc/self/stat");
    std::string text;
    std::getline(in, text);
    size_t close = text.rfind(')');  // the program's name may hold anything
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int k = 3; k <= 22 && fields >> field; ++k) {
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    double started =
        std::strtod(field.c_str(), nullptr) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - started) *
           1000;
}

}  // namespace platform
