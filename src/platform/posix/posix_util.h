#pragma once

#include <sys/stat.h>
#include <time.h>

#include <string>

#include "platform/files.h"

// Helpers shared by the POSIX side of the seam.
namespace platform {

// folder + "*" or folder + "/*".
std::string joinFolderPattern(const std::string& folder);

namespace posix {

// An open file descriptor, closed when the object goes.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; false when the close reported a failure (data may not have reached the disk).
    bool reset();

  private:
    int fd_;
};

// Copies everything that can be read from `in` to `out`; false on a read or write error.
bool copyDescriptor(int in, int out);

// ANSI (GBK) path to the UTF-8 path the system calls take.
std::string toNative(const std::string& ansiPath);
FileTime fileTimeFromTimespec(const struct timespec& ts);
struct timespec timespecFromFileTime(FileTime time);
// Windows attribute bits for a file: directory or archive, read-only when not writable, hidden
// when the name starts with '.'.
uint32_t attributesOf(const std::string& nativePath, const struct stat& st, const char* name);

}  // namespace posix
}  // namespace platform
