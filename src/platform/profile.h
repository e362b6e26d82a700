#pragma once

#include <string>

#include "platform/os_error.h"

// Initialisation ("profile") files: "[section]" lines and "key=value" lines. Section and key
// names compare without regard to ASCII case; values are ANSI text.
namespace platform {

// The value of key in section, at most bufferSize - 1 bytes (cut at a character boundary), or
// defaultValue when the file, the section or the key is missing.
std::string getProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, const std::string& file,
                             size_t bufferSize = 256);

// The value read as a signed decimal integer (leading digits only), or defaultValue when the key
// is missing; a value without leading digits reads as 0.
int getProfileInt(const std::string& section, const std::string& key, int defaultValue,
                  const std::string& file);

// Stores the value, creating the file and the section as needed; a null value removes the key.
// Other sections, keys, comments and the file's line ends are left as they were. False, with the
// system's cause in *error, when the file cannot be written.
bool writeProfileString(const std::string& section, const std::string& key, const char* value,
                        const std::string& file, OsError* error = nullptr);

}  // namespace platform
