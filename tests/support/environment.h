#pragma once

#include <optional>
#include <string>

// The variable the system's temporary folder comes from: TMP on Windows (GetTempPath), TMPDIR
// elsewhere.
#ifdef _WIN32
inline constexpr const char* kTempFolderVariable = "TMP";
#else
inline constexpr const char* kTempFolderVariable = "TMPDIR";
#endif

// An ANSI path as an environment variable holds it: ANSI on Windows, UTF-8 elsewhere.
std::string environmentText(const std::string& ansi);

// Sets (or, with null, removes) an environment variable, for the C library and the system alike.
void setEnvironment(const char* name, const char* value);

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};
