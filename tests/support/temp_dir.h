#pragma once

#include <string>

// A fresh folder under the temporary folder, removed with everything in it when the object goes.
// Paths are the program's ANSI text and end with the platform's separator.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + relative, with '/' in relative turned into the platform's separator.
    std::string file(const std::string& relative) const;

  private:
    std::string path_;
};

// Whole-file helpers for tests (ANSI paths).
std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
