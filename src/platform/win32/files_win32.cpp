#include <random>

#include "platform/files.h"
#include "platform/os_error.h"
#include "platform/paths.h"
#include "platform/win32/win32_util.h"

namespace platform {

namespace win32 {

std::string withoutTrailingSeparator(const std::string& path) {
    std::string out = path;
    while (out.size() > 1 && isSeparatorAt(out, out.size() - 1) &&
           !(out.size() == 3 && out[1] == ':'))
        out.pop_back();
    return out;
}

std::string randomName(size_t length) {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    std::string name;
    for (size_t i = 0; i < length; ++i)
        name += kAlphabet[pick(random)];
    return name;
}

}  // namespace win32

namespace {

// The reads and writes of ReadFile and WriteFile count in DWORD.
constexpr size_t kMaxTransfer = size_t{1} << 30;

// Others may read, write, rename and delete a file while it is open, as on POSIX: a reader never
// stops a file from being replaced by a whole new copy.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FolderEntry entryOf(const WIN32_FIND_DATAA& found) {
    FolderEntry e;
    e.name = found.cFileName;
    e.attributes = found.dwFileAttributes;
    e.lastWriteTime = win32::fromFiletime(found.ftLastWriteTime);
    e.size = win32::sizeOf(found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow);
    return e;
}

}  // namespace

bool File::open(const std::string& path, OpenMode mode, OsError* error) {
    close();
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
        case OpenMode::Read:
            access = GENERIC_READ;
            break;
        case OpenMode::ReadWriteExisting:
            break;
        case OpenMode::CreateAlways:
            disposition = CREATE_ALWAYS;
            break;
        case OpenMode::OpenAlways:
            disposition = OPEN_ALWAYS;
            break;
        case OpenMode::CreateNew:
            // Fails on any name that exists, a link included, without following it.
            disposition = CREATE_NEW;
            break;
    }
    HANDLE h = win32::syscalls().createFile(path.c_str(), access, kShareAll, nullptr, disposition,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failWithOsError("open", path, error);
    // Folders do not open without backup semantics; device names ("NUL", "COM1", "CON") do, and
    // are no files to read or write.
    if (win32::syscalls().getFileType(h) != FILE_TYPE_DISK) {
        win32::syscalls().closeHandle(h);
        SetLastError(ERROR_INVALID_FUNCTION);
        return failWithOsError("open", path, error);
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    path_ = path;
    return true;
}

void File::close() {
    if (handle_ != -1) {
        win32::syscalls().closeHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = -1;
    }
}

size_t File::read(void* buffer, size_t n, OsError* error) {
    if (handle_ == -1) return 0;
    size_t total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < n) {
        size_t want = n - total > kMaxTransfer ? kMaxTransfer : n - total;
        DWORD got = 0;
        if (!win32::syscalls().readFile(reinterpret_cast<HANDLE>(handle_), out + total,
                                        static_cast<DWORD>(want), &got, nullptr)) {
            failWithOsError("read", path_, error);
            break;
        }
        if (got == 0) break;
        total += got;
    }
    return total;
}

bool File::write(const void* data, size_t n, OsError* error) {
    if (handle_ == -1) return false;
    size_t total = 0;
    const auto* in = static_cast<const char*>(data);
    while (total < n) {
        size_t want = n - total > kMaxTransfer ? kMaxTransfer : n - total;
        DWORD put = 0;
        if (!win32::syscalls().writeFile(reinterpret_cast<HANDLE>(handle_), in + total,
                                         static_cast<DWORD>(want), &put, nullptr) ||
            put == 0)
            return failWithOsError("write", path_, error);
        total += put;
    }
    return true;
}

bool File::seek(int64_t offset) {
    if (handle_ == -1 || offset < 0) return false;
    LARGE_INTEGER to;
    to.QuadPart = offset;
    LARGE_INTEGER now;
    return win32::syscalls().setFilePointer(reinterpret_cast<HANDLE>(handle_), to, &now,
                                            FILE_BEGIN) &&
           now.QuadPart == offset;
}

int64_t File::size() const {
    LARGE_INTEGER size;
    if (handle_ == -1 || !win32::syscalls().getFileSize(reinterpret_cast<HANDLE>(handle_), &size))
        return -1;
    return static_cast<int64_t>(size.QuadPart);
}

bool File::setTimes(FileTime time) {
    if (handle_ == -1) return false;
    FILETIME ft = win32::toFiletime(time);
    return win32::syscalls().setFileTime(reinterpret_cast<HANDLE>(handle_), &ft, &ft, &ft) != 0;
}

std::optional<std::vector<FolderEntry>> findFiles(const std::string& pattern) {
    const win32::Syscalls& sys = win32::syscalls();
    WIN32_FIND_DATAA found;
    HANDLE search = sys.findFirstFile(pattern.c_str(), &found);
    std::vector<FolderEntry> entries;
    if (search == INVALID_HANDLE_VALUE) {
        // The folder is there and nothing in it matches.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return entries;
        return std::nullopt;
    }
    do {
        std::string_view name(found.cFileName);
        if (name == "." || name == "..") continue;
        entries.push_back(entryOf(found));
    } while (sys.findNextFile(search, &found));
    sys.findClose(search);
    return entries;
}

std::optional<std::vector<FolderEntry>> listFolder(const std::string& folder) {
    return findFiles(joinPath(folder, "*"));
}

bool writeNewFile(const std::string& path, std::string_view data, OsError* error) {
    const win32::Syscalls& sys = win32::syscalls();
    DWORD standing = win32::attributesAt(path);
    if (standing != INVALID_FILE_ATTRIBUTES) {
        if (standing & FILE_ATTRIBUTE_DIRECTORY) {
            // A link to a folder is removed as the link; a real folder stays and the create fails.
            if (standing & FILE_ATTRIBUTE_REPARSE_POINT) sys.removeDirectory(path.c_str());
        } else {
            // A read-only file would refuse to go.
            if (standing & FILE_ATTRIBUTE_READONLY)
                sys.setFileAttributes(path.c_str(), standing & ~DWORD{FILE_ATTRIBUTE_READONLY});
            sys.deleteFile(path.c_str());
        }
    }
    win32::Handle file(sys.createFile(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return failWithOsError("create", path, error);
    bool ok = sys.getFileType(file.get()) == FILE_TYPE_DISK;
    for (size_t done = 0; ok && done < data.size();) {
        size_t want = data.size() - done > kMaxTransfer ? kMaxTransfer : data.size() - done;
        DWORD put = 0;
        ok = (sys.writeFile(file.get(), data.data() + done, static_cast<DWORD>(want), &put,
                            nullptr) &&
              put > 0) ||
             failWithOsError("write", path, error);
        done += put;
    }
    ok = file.reset() && ok;
    if (!ok) sys.deleteFile(path.c_str());
    return ok;
}

bool fileExists(const std::string& path) {
    DWORD attributes = win32::attributesAt(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path) {
    DWORD attributes = win32::attributesAt(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool deleteFile(const std::string& path, OsError* error) {
    return win32::syscalls().deleteFile(path.c_str()) || failWithOsError("delete", path, error);
}

bool createFolder(const std::string& path, OsError* error) {
    // A drive root answers "access denied" rather than "exists".
    if (win32::syscalls().createDirectory(path.c_str(), nullptr)) return true;
    OsError failure = lastOsError();
    if (folderExists(path)) return true;
    SetLastError(static_cast<DWORD>(failure.code));
    return failWithOsError("create folder", path, error);
}

bool removeFolder(const std::string& path, OsError* error) {
    return win32::syscalls().removeDirectory(path.c_str()) != 0 ||
           failWithOsError("remove folder", path, error);
}

}  // namespace platform
