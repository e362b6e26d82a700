#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// The program's settings file "vantu.ini" (every key in section "xxx") and the page's text files,
// both in one folder: the program's own, or the user's configuration folder for an installed
// program (see folderFor).
class SettingsStore {
  public:
    // `folder` ends with a path separator.
    explicit SettingsStore(std::string folder);

    // Where a program in `programFolder` keeps its settings: beside itself when that folder is a
    // portable copy the user can write to, else the "vantu" folder in the user's configuration
    // folder, created on demand. Both programs use this one rule, so they share their settings.
    static std::string folderFor(const std::string& programFolder);

    const std::string& folder() const { return folder_; }
    std::string settingsFilePath() const;

    // At most 255 characters; empty when the key or the file is missing. Read from the file
    // once, and again only when the file has changed since (the window and vantu-cli share it).
    std::string getValue(const std::string& key) const;
    // A null value removes the key.
    void writeValue(const std::string& key, const char* value) const;
    int readIntSetting(const std::string& key) const;
    void writeIntSetting(const std::string& key, int n) const;

    // Text files named relative to the settings folder. A name that is absolute, carries a drive or
    // root prefix, or has a ".." part is refused, so that a page cannot reach outside it.
    // The text stops at the file's first NUL byte; empty when the file cannot be read.
    std::string getFileText(const std::string& name) const;
    // Writes content's bytes (creating or truncating the file); 1, or 0 when refused or unopenable.
    int writeFileText(const std::string& name, const std::string& content) const;

  private:
    // The local path for a page's file name, or empty when the name is refused.
    std::string pathFor(const std::string& name) const;

    // What tells whether the settings file has changed: its size and last-write time, or that
    // it is not there.
    struct FileStamp {
        bool exists = false;
        uint64_t size = 0;
        uint64_t lastWriteTime = 0;
        bool operator==(const FileStamp&) const = default;
    };
    FileStamp stamp() const;

    std::string folder_;
    // The values read since the file last changed. Nothing is kept while the file's last write
    // is so recent that a change within the file time's resolution could leave the stamp alone.
    mutable std::mutex cacheMutex_;
    mutable std::optional<FileStamp> cachedStamp_;
    mutable std::map<std::string, std::string> cachedValues_;
};
