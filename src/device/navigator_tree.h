#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_files.h"
#include "device/rapi_binding.h"
#include "platform/drive_folder.h"

// The navigator's files below one of its folders, named as the navigator names them: UTF-16,
// "\" between folders, relative to that folder. Over the remote API (a folder that starts with
// "\") or on the navigator's drive, where nothing on the way is followed through a link and only
// regular files are opened (platform/drive_folder.h). One set of operations for both, and on it
// the replacement of a file by a complete copy that every change of a navigator's file makes.
class NavigatorTree {
  public:
    // `folder` is ANSI and ends with its separator. `base` comes before every name: on a drive,
    // `folder` can be the drive's own folder and `base` the way from it, walked like any name.
    NavigatorTree(RapiBinding& rapi, const std::string& folder, std::u16string base = {});
    ~NavigatorTree();
    NavigatorTree(const NavigatorTree&) = delete;
    NavigatorTree& operator=(const NavigatorTree&) = delete;

    bool onDevice() const { return device_; }
    // The calls that take an OsError fill it in with the drive's cause when one fails; the
    // device's remote API tells none.

    // The device's library is loaded, or the drive's folder is open.
    bool reachable() const;
    // The length of the path of `name` in UTF-16 units, as the system counts it.
    size_t pathUnits(std::u16string_view name) const;

    // A folder's entries ("" for the folder itself); the device answers an empty folder as one
    // it cannot list, with nothing.
    std::optional<std::vector<platform::DriveEntry>> list(std::u16string_view folder) const;
    std::optional<platform::EntryKind> kindOf(std::u16string_view name) const;
    // Reads the whole file into the sink; false when it cannot be opened (or is no regular
    // file), a read fails part way, or the sink gives up.
    bool read(std::u16string_view name, const ChunkSink& sink,
              platform::OsError* error = nullptr) const;
    // Writes what the source gives to a file that does not exist yet; on failure nothing is
    // left at the name.
    bool writeNew(std::u16string_view name, const Replacement& replacement,
                  platform::OsError* error = nullptr) const;
    bool createFolder(std::u16string_view name, platform::OsError* error = nullptr) const;
    bool removeFolder(std::u16string_view name) const;
    bool remove(std::u16string_view name) const;
    // Fails when anything stands at `to`.
    bool move(std::u16string_view from, std::u16string_view to) const;

    // replaceNavigatorFile's steps (device/device_files.h) on the file `name`.
    bool writeCopy(std::u16string_view name, const Replacement& replacement,
                   platform::OsError* error = nullptr) const;
    bool putInPlace(std::u16string_view name, platform::OsError* error = nullptr) const;
    void discardCopy(std::u16string_view name) const;
    void finishInterrupted(std::u16string_view name) const;

  private:
    std::u16string devicePath(std::u16string_view name) const;
    std::u16string onDrive(std::u16string_view name) const;

    RapiBinding& rapi_;
    bool device_;
    std::string folder_;   // ANSI
    std::u16string root_;  // the folder in UTF-16
    std::u16string base_;
    std::unique_ptr<platform::DriveFolder> drive_;
};

// The folder that holds `path` (with its separator) and the file's own name in UTF-16.
std::pair<std::string, std::u16string> splitNavigatorPath(const std::string& path);
