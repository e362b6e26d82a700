#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The readers under test take a path: each input is written to one file per process (in memory
// when /dev/shm exists), removed at exit.
inline const std::string& fuzzInputFile(const uint8_t* data, size_t size,
                                        const char* suffix = "in") {
    static const std::string path = [&] {
        std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/";
        std::string p = folder + "vantu-fuzz-" + std::to_string(getpid()) + "." + suffix;
        static std::string removeAtExit;
        removeAtExit = p;
        std::atexit([] { std::remove(removeAtExit.c_str()); });
        return p;
    }();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f != nullptr) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}
