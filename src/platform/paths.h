#pragma once

#include <string>
#include <string_view>

#include "platform/os_error.h"

// Local paths are ANSI text; the separator is the platform's. Device paths (reached through the
// remote API) always use '\' and never pass through these helpers.
namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
// The longest local path the system's file functions take, in ANSI bytes (without its end).
inline constexpr size_t kMaxLocalPath = 259;
#else
inline constexpr char kPathSeparator = '/';
inline constexpr size_t kMaxLocalPath = 4095;
#endif

// True for either separator: names that come from the page or from packages may use both.
inline bool isPathSeparator(char c) {
    return c == '/' || c == '\\';
}

// Whether path[i] is a separator of its own: in the ANSI code page the second byte of a
// double-byte character can have the value of '\'.
bool isSeparatorAt(std::string_view path, size_t i);
// Position of the last separator (either kind), or npos.
size_t lastSeparator(std::string_view path);

// folder + separator (unless folder is empty or already ends with one) + name.
std::string joinPath(std::string_view folder, std::string_view name);

// Full path of the running program file.
std::string programFile();
// programFile() up to and including its last separator.
std::string programFolder();
// The user's temporary folder, ending with a separator (TMPDIR on POSIX, as GetTempPath uses TMP).
std::string tempFolder();

// The user's configuration folder, ending with a separator ($XDG_CONFIG_HOME when it is an
// absolute path, else ~/.config/ on POSIX); empty when the user has no home.
std::string userConfigFolder();
// Whether this user may create files in `folder`.
bool isWritableFolder(const std::string& folder);
// Whether a program in `folder` keeps its files beside itself: the user may write there and the
// folder is not part of an installation (system-wide, or the user's own on Windows).
bool isPortableFolder(const std::string& folder);
// This run's own working folder, ending with a separator: made fresh under a new random name
// that only the user can enter (under the per-user runtime folder where the system has one,
// else under the temporary folder) and removed with its contents when the program ends. The
// program's working files go here, never at fixed names in the shared temporary folder, where
// another user could have planted a link, a pipe or a file of their own. Empty when no such
// folder can be made; callers then write nothing.
std::string privateFolder();
// privateFolder() + name, or empty when there is no private folder: a caller then fails to open
// the file instead of writing it anywhere else.
std::string privateFile(std::string_view name);
// The start of the name of every run's private folder; a random part follows.
inline constexpr std::string_view kRunFolderPrefix = "vantu-";
// The random part of the name of this run's private folder: it tells this run's files from
// another run's where the two share a folder (the navigator's). Empty without a private folder.
std::string runName();
// Whether the run whose runName() is `name` may still be running: it is this run, or its private
// folder stands and is held by a live run, is too new to tell, or is not this user's to look
// into.
bool runMayBeLive(const std::string& name);
// Makes such a folder under `parent` (ANSI, with or without a final separator); empty when it
// cannot be made (the system's cause in *error) or does not turn out to be the user's own. The
// caller removes it.
std::string createPrivateFolder(const std::string& parent, OsError* error = nullptr);

}  // namespace platform
