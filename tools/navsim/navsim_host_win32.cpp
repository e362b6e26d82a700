// The simulator's files and event on Windows: UTF-8 paths become UTF-16 paths for the wide file
// functions, so that any name the device can hold works whatever the ANSI code page; the event
// is a manual-reset event.
#include <windows.h>

#include "navsim_host.h"
#include "platform/utf8_text.h"

namespace navsim::host {

namespace {

std::wstring wide(const std::string& path) {
    std::u16string units = utf8::toUtf16(path);
    std::wstring out(units.begin(), units.end());
    for (wchar_t& c : out)
        if (c == L'/') c = L'\\';
    return out;
}

std::string narrow(const wchar_t* name) {
    std::u16string units;
    for (; *name; ++name)
        units += static_cast<char16_t>(*name);
    return utf8::fromUtf16(units);
}

rapi::FILETIME toRapi(const ::FILETIME& ft) {
    return {ft.dwLowDateTime, ft.dwHighDateTime};
}

::FILETIME fromRapi(const rapi::FILETIME& ft) {
    return {ft.dwLowDateTime, ft.dwHighDateTime};
}

Info infoOf(const WIN32_FIND_DATAW& data) {
    Info info;
    info.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    info.size =
        info.folder ? 0 : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.created = toRapi(data.ftCreationTime);
    info.accessed = toRapi(data.ftLastAccessTime);
    info.written = toRapi(data.ftLastWriteTime);
    return info;
}

bool isName(const wchar_t* name) {
    return !(name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)));
}

bool hasWildcard(const std::string& name) {
    return name.find_first_of("*?") != std::string::npos;
}

}  // namespace

bool exists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string spelledEntry(const std::string& folder, const std::string& name) {
    // The file system matches names without regard to case already; the search answers with the
    // name as it is stored.
    if (name.empty() || hasWildcard(name)) return {};
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide(folder + "/" + name).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return {};
    FindClose(find);
    return narrow(data.cFileName);
}

std::optional<std::vector<Entry>> list(const std::string& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide(folder + "/*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        // An empty folder has no entries at all, not even "." (a drive's root, for one).
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<Entry>{};
        return std::nullopt;
    }
    std::vector<Entry> entries;
    do {
        if (isName(data.cFileName)) entries.push_back({narrow(data.cFileName), infoOf(data)});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
}

std::optional<Entry> entry(const std::string& folder, const std::string& name) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide(folder + "/" + name).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(find);
    return Entry{narrow(data.cFileName), infoOf(data)};
}

bool makeFolder(const std::string& path) {
    return CreateDirectoryW(wide(path).c_str(), nullptr) != FALSE;
}

bool removeFolder(const std::string& path) {
    return RemoveDirectoryW(wide(path).c_str()) != FALSE;
}

bool deleteFile(const std::string& path) {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return DeleteFileW(wide(path).c_str()) != FALSE;
}

bool rename(const std::string& from, const std::string& to, bool) {
    // Without MOVEFILE_REPLACE_EXISTING an existing target is refused; a new spelling of the
    // same entry is not an existing target.
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0) != FALSE;
}

bool copyFile(const std::string& from, const std::string& to, bool failIfExists) {
    return CopyFileW(wide(from).c_str(), wide(to).c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

bool volumeSpace(const std::string& path, uint64_t& total, uint64_t& free) {
    std::wstring folder = wide(path);
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    ULARGE_INTEGER available, size, unused;
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, &size, &unused)) return false;
    total = size.QuadPart;
    free = available.QuadPart;
    return true;
}

bool File::open(const std::string& path, rapi::DWORD disposition, bool read, bool write) {
    close();
    if (disposition < rapi::kCreateNew || disposition > rapi::kTruncateExisting) return false;
    // Creating or truncating needs write access even for a read-only handle.
    bool writable = write || disposition != rapi::kOpenExisting;
    DWORD access = (read ? GENERIC_READ : 0) | (writable ? GENERIC_WRITE : 0);
    // Others may read, write, rename or delete the file meanwhile, as on the device.
    HANDLE h = CreateFileW(wide(path).c_str(), access,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

void File::close() {
    if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kNone;
}

bool File::read(void* buffer, uint32_t n, uint32_t& done) {
    done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < n) {
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(handle_), out + done, n - done, &got, nullptr))
            return false;
        if (got == 0) break;
        done += got;
    }
    return true;
}

bool File::write(const void* data, uint32_t n, uint32_t& done) {
    done = 0;
    const char* in = static_cast<const char*>(data);
    while (done < n) {
        DWORD put = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), in + done, n - done, &put, nullptr) ||
            put == 0)
            break;
        done += put;
    }
    return done == n;
}

bool File::size(uint64_t& bytes) const {
    LARGE_INTEGER size;
    if (handle_ == kNone || !GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) return false;
    bytes = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool File::setTimes(const rapi::FILETIME* created, const rapi::FILETIME* accessed,
                    const rapi::FILETIME* written) {
    ::FILETIME c{}, a{}, w{};
    if (created) c = fromRapi(*created);
    if (accessed) a = fromRapi(*accessed);
    if (written) w = fromRapi(*written);
    return SetFileTime(reinterpret_cast<HANDLE>(handle_), created ? &c : nullptr,
                       accessed ? &a : nullptr, written ? &w : nullptr) != FALSE;
}

bool Event::create() {
    close();
    // Manual reset: once up, the link stays signalled for every wait.
    HANDLE h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (h == nullptr) return false;
    wait_ = reinterpret_cast<intptr_t>(h);
    return true;
}

bool Event::signal() {
    return wait_ != -1 && SetEvent(reinterpret_cast<HANDLE>(wait_)) != FALSE;
}

void Event::close() {
    if (wait_ != -1) CloseHandle(reinterpret_cast<HANDLE>(wait_));
    wait_ = -1;
}

rapi::HANDLE Event::handle() const {
    return wait_ == -1 ? nullptr : reinterpret_cast<rapi::HANDLE>(wait_);
}

std::optional<std::string> environment(const char* name) {
    std::u16string units = utf8::toUtf16(name);
    std::wstring key(units.begin(), units.end());
    DWORD size = GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (size == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(key.c_str(), value.data(), size);
    if (length >= size) return std::nullopt;
    value.resize(length);
    return narrow(value.c_str());
}

}  // namespace navsim::host
