#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/drive_folder.h"
#include "platform/os_error.h"
#include "platform/win32/win32_util.h"

// Windows has no openat: each folder on the way is looked at before a name is used, and refused
// when it is a reparse point (a symbolic link, a junction, a mount point). The last part is
// opened with FILE_FLAG_OPEN_REPARSE_POINT, so that a link there is opened as itself and
// refused. Paths carry the "\\?\" prefix: the navigator's long names and names the system would
// take for devices ("con", "nul") are reached as the files they are.
namespace platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kNotPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

bool failed(std::string_view operation, const std::string& root, std::u16string_view name,
            OsError* error) {
    return failWithOsError(operation, root + utf16ToAnsi(name), error);
}

EntryKind kindOfAttributes(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Other;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
}

// The root as a full "\\?\" path ending with "\".
std::u16string nativeRoot(const std::string& root) {
    std::u16string given = ansiToUtf16(root);
    std::vector<wchar_t> full(32768);
    DWORD n = win32::syscalls().getFullPathNameW(wide(given), static_cast<DWORD>(full.size()),
                                                 full.data(), nullptr);
    if (n == 0 || n >= full.size()) return {};
    std::u16string path(reinterpret_cast<const char16_t*>(full.data()), n);
    if (path.back() != u'\\') path += u'\\';
    if (path.rfind(u"\\\\?\\", 0) == 0) return path;
    if (path.rfind(u"\\\\", 0) == 0) return u"\\\\?\\UNC\\" + path.substr(2);
    return u"\\\\?\\" + path;
}

}  // namespace

DriveFolder::DriveFolder(const std::string& root) : root_(root), native_(nativeRoot(root)) {
    DWORD attributes = native_.empty() ? INVALID_FILE_ATTRIBUTES
                                       : win32::syscalls().getFileAttributesW(wide(native_));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        native_.clear();
}

DriveFolder::~DriveFolder() = default;

bool DriveFolder::isOpen() const {
    return !native_.empty();
}

namespace {

// The full path of a name below `root`, when every folder on its way is a real folder; empty
// otherwise (the last failure then says why).
std::u16string walk(const std::u16string& root, std::u16string_view name) {
    if (root.empty() || !isWalkableName(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return {};
    }
    std::u16string path = root;
    for (size_t start = 0;;) {
        size_t end = name.find(u'\\', start);
        if (end == name.npos) return path + std::u16string(name.substr(start));
        path += name.substr(start, end - start);
        DWORD attributes = win32::syscalls().getFileAttributesW(wide(path));
        if (attributes == INVALID_FILE_ATTRIBUTES) return {};
        if ((attributes & kNotPlain) != FILE_ATTRIBUTE_DIRECTORY) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return {};
        }
        path += u'\\';
        start = end + 1;
    }
}

DriveEntry entryOf(const WIN32_FIND_DATAW& found) {
    DriveEntry entry;
    entry.name = reinterpret_cast<const char16_t*>(found.cFileName);
    entry.kind = kindOfAttributes(found.dwFileAttributes);
    entry.size =
        entry.kind == EntryKind::File
            ? win32::sizeOf(found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow)
            : 0;
    entry.lastWriteTime = win32::fromFiletime(found.ftLastWriteTime);
    return entry;
}

}  // namespace

std::optional<std::vector<DriveEntry>> DriveFolder::list(std::u16string_view folder) const {
    std::u16string path = folder.empty() ? native_ : walk(native_, folder);
    if (path.empty()) return std::nullopt;
    if (!folder.empty()) {
        DWORD attributes = win32::syscalls().getFileAttributesW(wide(path));
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & kNotPlain) != FILE_ATTRIBUTE_DIRECTORY)
            return std::nullopt;
        path += u'\\';
    }
    WIN32_FIND_DATAW found;
    HANDLE search = win32::syscalls().findFirstFileW(wide(path + u"*"), &found);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<DriveEntry> entries;
    do {
        std::u16string_view name(reinterpret_cast<const char16_t*>(found.cFileName));
        if (name != u"." && name != u"..") entries.push_back(entryOf(found));
    } while (win32::syscalls().findNextFileW(search, &found));
    win32::syscalls().findClose(search);
    return entries;
}

std::optional<EntryKind> DriveFolder::kindOf(std::u16string_view name) const {
    std::u16string path = walk(native_, name);
    DWORD attributes =
        path.empty() ? INVALID_FILE_ATTRIBUTES : win32::syscalls().getFileAttributesW(wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return kindOfAttributes(attributes);
}

bool DriveFolder::openFile(std::u16string_view name, OpenMode mode, File& file,
                           OsError* error) const {
    if (mode != OpenMode::Read && mode != OpenMode::CreateNew) return false;
    std::u16string path = walk(native_, name);
    if (path.empty()) return false;
    const bool read = mode == OpenMode::Read;
    HANDLE h = win32::syscalls().createFileW(
        wide(path), read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
        read ? OPEN_EXISTING : CREATE_NEW,
        read ? FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failed("open", root_, name, error);
    BY_HANDLE_FILE_INFORMATION info{};
    if (win32::syscalls().getFileType(h) != FILE_TYPE_DISK ||
        !win32::syscalls().getFileInformation(h, &info) || (info.dwFileAttributes & kNotPlain)) {
        win32::syscalls().closeHandle(h);
        return false;
    }
    file.adopt(reinterpret_cast<intptr_t>(h), root_ + utf16ToAnsi(name));
    return true;
}

bool DriveFolder::createFolder(std::u16string_view name, OsError* error) const {
    std::u16string path = walk(native_, name);
    return (!path.empty() && win32::syscalls().createDirectoryW(wide(path), nullptr)) ||
           failed("create folder", root_, name, error);
}

bool DriveFolder::removeFolder(std::u16string_view name, OsError* error) const {
    std::u16string path = walk(native_, name);
    return (!path.empty() && win32::syscalls().removeDirectoryW(wide(path))) ||
           failed("remove folder", root_, name, error);
}

bool DriveFolder::removeFile(std::u16string_view name, OsError* error) const {
    std::u16string path = walk(native_, name);
    return (!path.empty() && win32::syscalls().deleteFileW(wide(path))) ||
           failed("delete", root_, name, error);
}

bool DriveFolder::moveNoReplace(std::u16string_view from, std::u16string_view to,
                                OsError* error) const {
    std::u16string fromPath = walk(native_, from);
    std::u16string toPath = fromPath.empty() ? std::u16string() : walk(native_, to);
    return (!toPath.empty() && win32::syscalls().moveFileExW(wide(fromPath), wide(toPath), 0)) ||
           failed("rename", root_, from, error);
}

bool DriveFolder::moveIntoPlace(std::u16string_view fresh, std::u16string_view target,
                                OsError* error) const {
    const win32::Syscalls& sys = win32::syscalls();
    std::u16string freshPath = walk(native_, fresh);
    std::u16string targetPath = freshPath.empty() ? std::u16string() : walk(native_, target);
    if (targetPath.empty()) return false;
    DWORD freshAttributes = sys.getFileAttributesW(wide(freshPath));
    DWORD targetAttributes = sys.getFileAttributesW(wide(targetPath));
    if (freshAttributes == INVALID_FILE_ATTRIBUTES || (freshAttributes & kNotPlain) ||
        (targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & kNotPlain)))
        return false;
    // The bytes reach the disk before the name does.
    const std::string path = root_ + utf16ToAnsi(fresh);
    win32::Handle file(sys.createFileW(wide(freshPath), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid() || !sys.flushFileBuffers(file.get()) || !file.reset())
        return failWithOsError("flush", path, error);
    // A read-only target refuses to be replaced; it gets its flag back afterwards.
    const bool readOnly =
        targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly)
        sys.setFileAttributesW(wide(targetPath),
                               targetAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    bool moved = sys.moveFileExW(wide(freshPath), wide(targetPath),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
                 failWithOsError("rename", path, error);
    if (readOnly) sys.setFileAttributesW(wide(targetPath), targetAttributes);
    return moved;
}

}  // namespace platform
