#pragma once

#include <array>
#include <string>

// Failures of the operating system put in the place of the seam's own calls (its replaceable
// table) for as long as a scope lasts, so that a test sees the real code path meet them.
namespace test {

enum class OsFault {
    PartialWrite,   // the first write puts half its bytes, every later one fails
    DiskFull,       // every write fails for want of space
    RenameRefused,  // every rename or replacement is refused
    Locked,         // another program holds one file: it cannot be opened, moved or removed
};

inline constexpr std::array<OsFault, 4> kOsFaults = {OsFault::PartialWrite, OsFault::DiskFull,
                                                     OsFault::RenameRefused, OsFault::Locked};

const char* nameOf(OsFault fault);
// The code the system reports for the fault (errno, or GetLastError()).
unsigned long codeOf(OsFault fault);

class ScopedOsFault {
  public:
    // `locked` is the file another program holds, for OsFault::Locked (ANSI, as the program
    // names it).
    explicit ScopedOsFault(OsFault fault, const std::string& locked = {});
    ~ScopedOsFault();
    ScopedOsFault(const ScopedOsFault&) = delete;
    ScopedOsFault& operator=(const ScopedOsFault&) = delete;
};

// Puts a replacement in one entry of the table until the scope ends.
template <class Entry>
class ScopedSyscall {
  public:
    ScopedSyscall(Entry& entry, Entry replacement) : entry_(entry), saved_(entry) {
        entry_ = replacement;
    }
    ~ScopedSyscall() { entry_ = saved_; }
    ScopedSyscall(const ScopedSyscall&) = delete;
    ScopedSyscall& operator=(const ScopedSyscall&) = delete;

  private:
    Entry& entry_;
    Entry saved_;
};

}  // namespace test
