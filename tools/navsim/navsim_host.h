#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/rapi_abi.h"

// What the simulator needs from the PC it runs on: files and folders named by UTF-8 paths with
// '/' as the separator (the Windows side turns them into UTF-16 paths), and the link-start
// event. navsim_host_posix.cpp and navsim_host_win32.cpp implement it.
namespace navsim::host {

struct Info {
    bool folder = false;
    bool readOnly = false;
    bool hidden = false;  // beyond the leading '.' rule, which holds everywhere
    uint64_t size = 0;
    rapi::FILETIME created{};
    rapi::FILETIME accessed{};
    rapi::FILETIME written{};
};

struct Entry {
    std::string name;
    Info info;
};

// Whether anything stands at the path (a dangling link included).
bool exists(const std::string& path);
// Whether the path names a folder (not a link to one).
bool isFolder(const std::string& path);
// The entry of `folder` that `name` names, spelled as the folder spells it: the same name, or
// one that differs only in letter case. Empty when there is none.
std::string spelledEntry(const std::string& folder, const std::string& name);
// The entries of a folder ("." and ".." left out) with what they point to; nothing when the
// folder cannot be read.
std::optional<std::vector<Entry>> list(const std::string& folder);
// The entry `name` of a folder (spelled as the folder spells it), when it stands there.
std::optional<Entry> entry(const std::string& folder, const std::string& name);

bool makeFolder(const std::string& path);
bool removeFolder(const std::string& path);
// Deletes a file; false for a folder.
bool deleteFile(const std::string& path);
// Renames; false when `to` exists, unless it names `from` itself (a change of letter case).
bool rename(const std::string& from, const std::string& to, bool sameEntry);
bool copyFile(const std::string& from, const std::string& to, bool failIfExists);
// Size and free space of the volume holding the path.
bool volumeSpace(const std::string& path, uint64_t& total, uint64_t& free);

// An open file; the simulator's handles map to these.
class File {
  public:
    File() = default;
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = other.handle_;
            other.handle_ = kNone;
        }
        return *this;
    }

    // `disposition` is one of the remote API's creation dispositions. A folder is not opened.
    bool open(const std::string& path, rapi::DWORD disposition, bool read, bool write);
    void close();
    // Reads up to n bytes (fewer only at the end); false on an error.
    bool read(void* buffer, uint32_t n, uint32_t& done);
    // Writes n bytes; false unless all were written.
    bool write(const void* data, uint32_t n, uint32_t& done);
    bool size(uint64_t& bytes) const;
    // Sets the times given; a null time stays as it is.
    bool setTimes(const rapi::FILETIME* created, const rapi::FILETIME* accessed,
                  const rapi::FILETIME* written);

  private:
    static constexpr intptr_t kNone = -1;
    intptr_t handle_ = kNone;  // descriptor or HANDLE
};

// The event that tells the program the link is up: a handle it can wait on.
class Event {
  public:
    Event() = default;
    ~Event() { close(); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool create();
    bool signal();
    void close();
    rapi::HANDLE handle() const;

  private:
    intptr_t wait_ = -1;  // the handle given out (read end of a pipe, or event HANDLE)
    intptr_t set_ = -1;   // the write end of the pipe (POSIX only)
};

// An environment variable as UTF-8; nothing when unset.
std::optional<std::string> environment(const char* name);

}  // namespace navsim::host
