#include "tasks/archive.h"

#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/full_path.h"
#include "platform/local_time.h"
#include "platform/paths.h"
#include "tasks/archive_stream.h"

namespace {

constexpr size_t kPieceBytes = 2048;
// General purpose bit 11: the entry's name is UTF-8.
constexpr uLong kUtf8NameFlag = 0x800;
constexpr uLong kEncryptedFlag = 0x1;
// minizip's own "version made by" for the entries it writes.
constexpr uLong kVersionMadeBy = 0;
// A stored entry's data is read in pieces of this size.
constexpr size_t kStoredPiece = size_t{1} << 20;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

using platform::lastSeparator;

// The part after the last separator.
std::string_view fileNameOf(std::string_view path) {
    size_t cut = lastSeparator(path);
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool isDrive(std::string_view path) {
    return path.size() == 2 && path[1] == ':';
}

// The stored name as local path components, or nothing when it would leave the folder.
std::optional<std::vector<std::string>> safeComponents(const std::string& name) {
    if (name.empty() || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) return std::nullopt;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !platform::isSeparatorAt(name, end))
            ++end;
        std::string part = name.substr(start, end - start);
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = end + 1;
    }
    if (parts.empty()) return std::nullopt;
    return parts;
}

zip_fileinfo entryInfo(const platform::LocalTime& written, uint32_t attributes) {
    zip_fileinfo entry{};
    entry.tmz_date.tm_sec = static_cast<uInt>(written.second);
    entry.tmz_date.tm_min = static_cast<uInt>(written.minute);
    entry.tmz_date.tm_hour = static_cast<uInt>(written.hour);
    entry.tmz_date.tm_mday = static_cast<uInt>(written.day);
    entry.tmz_date.tm_mon = static_cast<uInt>(written.month - 1);
    entry.tmz_date.tm_year = static_cast<uInt>(written.year);
    entry.dosDate = 0;
    entry.internal_fa = 0;
    entry.external_fa = attributes;
    return entry;
}

// The name a file is stored under, with '\\' between folders: its own name, or its path below
// `base`. Nothing for a path that leaves the base folder.
std::optional<std::string> storedName(const std::string& path, bool ignorePath, bool absolute,
                                      const std::string& base) {
    std::string stored;
    if (ignorePath) {
        stored = fileNameOf(path);
    } else if (path.size() >= 3 && path[0] == '.' && path[1] == '.' &&
               platform::isPathSeparator(path[2])) {
        return std::nullopt;
    } else if (absolute) {
        if (path.size() < base.size() ||
            !sameIgnoringCase(std::string_view(path).substr(0, base.size()), base))
            return std::nullopt;
        stored = path.substr(base.size());
    } else {
        stored = path;
        if (stored.size() >= 2 && stored[0] == '.' && platform::isPathSeparator(stored[1]))
            stored.erase(0, 2);
    }
    for (char& c : stored)
        if (c == '/') c = '\\';
    return stored;
}

}  // namespace

// ---- ArchiveReader

// The current stored entry's data, read from its place in the zip and checked against its
// CRC here.
struct ArchiveReader::StoredRead {
    platform::File file;
    platform::OsError* error = nullptr;
    bool active = false;
    uint64_t offset = 0;     // in the zip, of the next byte not read yet
    uint64_t remaining = 0;  // bytes of the entry not read yet
    uint32_t crc = 0;
    uint32_t expected = 0;
    std::vector<char> piece;
    size_t taken = 0;  // of the piece, handed over

    std::optional<size_t> read(void* buffer, size_t n) {
        if (taken == piece.size()) {
            if (remaining == 0) return 0;
            piece.resize(static_cast<size_t>(std::min<uint64_t>(remaining, kStoredPiece)));
            // A zip cut short is as damaged as a flipped byte.
            if (!file.seek(static_cast<int64_t>(offset)) ||
                file.read(piece.data(), piece.size(), error) != piece.size())
                return std::nullopt;
            offset += piece.size();
            remaining -= piece.size();
            crc = static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(piece.data()),
                                              static_cast<uInt>(piece.size())));
            taken = 0;
        }
        n = std::min(n, piece.size() - taken);
        std::copy_n(piece.data() + taken, n, static_cast<char*>(buffer));
        taken += n;
        return n;
    }
};

ArchiveReader::ArchiveReader() = default;

ArchiveReader::~ArchiveReader() {
    close();
}

bool ArchiveReader::open(const std::string& archivePath) {
    close();
    error_ = {};
    if (archivePath.empty()) return false;
    std::optional<std::string> full = platform::fullPath(archivePath);
    if (!full) return false;
    zlib_filefunc64_def functions = archiveFileFunctions(&error_);
    handle_ = unzOpen2_64(full->c_str(), &functions);
    if (!handle_) return false;
    stored_ = std::make_unique<StoredRead>();
    stored_->error = &error_;
    // Without this second handle the entries are read through minizip: no failure of the zip.
    stored_->file.open(*full, platform::OpenMode::Read);
    size_t nameStart = lastSeparator(*full);
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    size_t dot = full->find_last_of('.');
    outputFolder_ = (dot == std::string::npos || dot < nameStart) ? *full : full->substr(0, dot);
    return true;
}

bool ArchiveReader::setOutputFolder(const std::string& folder) {
    if (platform::fileExists(folder)) return false;
    outputFolder_ = folder;
    return createFolderPath(folder);
}

int ArchiveReader::entryCount() const {
    unz_global_info64 info{};
    if (!handle_ || unzGetGlobalInfo64(handle_, &info) != UNZ_OK) return 0;
    return static_cast<int>(info.number_entry);
}

bool ArchiveReader::gotoFirst(std::string_view extension) {
    return handle_ && unzGoToFirstFile(handle_) == UNZ_OK && seekExtension(extension);
}

bool ArchiveReader::gotoNext(std::string_view extension) {
    return handle_ && unzGoToNextFile(handle_) == UNZ_OK && seekExtension(extension);
}

bool ArchiveReader::seekExtension(std::string_view extension) {
    if (extension.empty()) return true;
    for (;;) {
        ArchiveEntryInfo info;
        if (!currentInfo(info)) return false;
        std::string_view name = fileNameOf(info.name);
        size_t dot = name.find_last_of('.');
        if (dot != std::string_view::npos && sameIgnoringCase(name.substr(dot + 1), extension))
            return true;
        if (unzGoToNextFile(handle_) != UNZ_OK) return false;
    }
}

bool ArchiveReader::currentInfo(ArchiveEntryInfo& info) {
    if (!handle_) return false;
    unz_file_info64 raw{};
    // A navigator's name of 240 units takes up to 720 bytes in UTF-8.
    char name[1024] = {};
    char comment[256] = {};
    if (unzGetCurrentFileInfo64(handle_, &raw, name, sizeof name - 1, nullptr, 0, comment,
                                sizeof comment - 1) != UNZ_OK ||
        raw.size_filename >= sizeof name)
        return false;
    info.storedName.assign(name, raw.size_filename);
    std::replace(info.storedName.begin(), info.storedName.end(), '/', '\\');
    info.name =
        (raw.flag & kUtf8NameFlag) ? platform::utf8ToAnsi(info.storedName) : info.storedName;
    info.comment = comment;
    info.versionMadeBy = static_cast<uint32_t>(raw.version);
    info.versionNeeded = static_cast<uint32_t>(raw.version_needed);
    info.flag = static_cast<uint32_t>(raw.flag);
    info.compressionMethod = static_cast<uint32_t>(raw.compression_method);
    info.dosDate = static_cast<uint32_t>(raw.dosDate);
    info.crc = static_cast<uint32_t>(raw.crc);
    info.compressedSize = raw.compressed_size;
    info.uncompressedSize = raw.uncompressed_size;
    info.internalAttributes = static_cast<uint32_t>(raw.internal_fa);
    info.externalAttributes = static_cast<uint32_t>(raw.external_fa);
    // Tools that mark no attribute still end a folder's name with a separator.
    info.isFolder = (info.externalAttributes & platform::kAttrDirectory) != 0 ||
                    (!info.name.empty() && info.name.back() == '\\');
    return true;
}

bool ArchiveReader::extractCurrent(const std::string& folderIn, bool ignorePaths) {
    if (!handle_) return false;
    const std::string& folder = folderIn.empty() ? outputFolder_ : folderIn;
    if (folder.empty() || !createFolderPath(folder)) return false;
    ArchiveEntryInfo info;
    if (!currentInfo(info)) return false;
    if (info.isFolder) return true;
    std::string name = ignorePaths ? std::string(fileNameOf(info.name)) : info.name;
    std::optional<std::vector<std::string>> parts = safeComponents(name);
    if (!parts) return false;
    std::string target = folder;
    for (const auto& part : *parts)
        target = platform::joinPath(target, part);
    if (!createParentFolders(target)) return false;

    platform::File out(target, platform::OpenMode::CreateAlways, &error_);
    if (!out.isOpen()) return false;
    bool ok = openCurrent();
    char piece[kPieceBytes];
    while (ok) {
        std::optional<size_t> got = readCurrent(piece, sizeof piece);
        if (!got || (*got > 0 && !out.write(piece, *got, &error_))) ok = false;
        if (!got || *got == 0) break;
    }
    // A damaged entry shows itself here, by its checksum.
    ok = closeCurrent() && ok;
    out.close();
    if (!ok) {
        platform::deleteFile(target);
        return false;
    }
    setFileTimeFromDos(target, info.dosDate);
    return true;
}

bool ArchiveReader::extractAll(bool ignorePaths) {
    if (!handle_ || outputFolder_.empty() || !createFolderPath(outputFolder_)) return false;
    if (!gotoFirst()) return true;
    do {
        if (!extractCurrent(outputFolder_, ignorePaths)) return false;
    } while (gotoNext());
    return true;
}

bool ArchiveReader::openCurrent() {
    if (!handle_ || unzOpenCurrentFile(handle_) != UNZ_OK) return false;
    unz_file_info64 raw{};
    if (unzGetCurrentFileInfo64(handle_, &raw, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    StoredRead& stored = *stored_;
    stored.active = stored.file.isOpen() && raw.compression_method == 0 &&
                    !(raw.flag & kEncryptedFlag) && raw.compressed_size == raw.uncompressed_size;
    stored.offset = unzGetCurrentFileZStreamPos64(handle_);
    stored.remaining = raw.uncompressed_size;
    stored.crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
    stored.expected = static_cast<uint32_t>(raw.crc);
    stored.piece.clear();
    stored.taken = 0;
    return true;
}

std::optional<size_t> ArchiveReader::readCurrent(void* buffer, size_t n) {
    if (!handle_) return std::nullopt;
    if (stored_->active) return stored_->read(buffer, n);
    int got =
        unzReadCurrentFile(handle_, buffer, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
    if (got < 0) return std::nullopt;
    return static_cast<size_t>(got);
}

bool ArchiveReader::closeCurrent() {
    if (!handle_) return false;
    bool ok = unzCloseCurrentFile(handle_) == UNZ_OK;
    StoredRead& stored = *stored_;
    // As the inflater's reads, only a whole read is checked.
    if (stored.active && stored.remaining == 0 && stored.taken == stored.piece.size())
        ok = ok && stored.crc == stored.expected;
    stored.active = false;
    return ok;
}

void ArchiveReader::close() {
    if (handle_) {
        unzCloseCurrentFile(handle_);
        unzClose(handle_);
        handle_ = nullptr;
    }
    stored_.reset();
    outputFolder_.clear();
}

// ---- ArchiveWriter

ArchiveWriter::~ArchiveWriter() {
    close();
}

bool ArchiveWriter::open(const std::string& archivePath, const std::string& baseFolder,
                         bool append) {
    close();
    error_ = {};
    if (archivePath.empty()) return false;
    std::optional<std::string> full = platform::fullPath(archivePath);
    if (!full) return false;
    int mode =
        append && platform::fileExists(*full) ? APPEND_STATUS_ADDINZIP : APPEND_STATUS_CREATE;
    zlib_filefunc64_def functions = archiveFileFunctions(&error_);
    handle_ = zipOpen2_64(full->c_str(), mode, nullptr, &functions);
    if (!handle_) return false;
    if (baseFolder.empty()) {
        size_t cut = lastSeparator(*full);
        baseFolder_ = full->substr(0, cut + 1);
    } else {
        baseFolder_ = baseFolder;
        if (!platform::isSeparatorAt(baseFolder_, baseFolder_.size() - 1))
            baseFolder_ += platform::kPathSeparator;
    }
    return true;
}

bool ArchiveWriter::addFile(const std::string& path, bool ignorePath) {
    if (!handle_ || path.empty()) return false;
    const bool absolute = platform::isAbsolutePath(path);
    std::optional<std::string> stored = storedName(path, ignorePath, absolute, baseFolder_);
    if (!stored) return false;
    const std::string source = absolute ? path : platform::joinPath(baseFolder_, path);

    std::optional<platform::FileInfo> fileInfo = platform::fileInfo(source);
    std::optional<platform::LocalTime> written = fileLocalTime(source);
    if (!fileInfo || !written) return false;
    zip_fileinfo entry = entryInfo(*written, fileInfo->attributes);

    platform::File in(source, platform::OpenMode::Read, &error_);
    if (!in.isOpen()) return false;
    bool ok = zipOpenNewFileInZip(handle_, stored->c_str(), &entry, nullptr, 0, nullptr, 0, nullptr,
                                  Z_DEFLATED, Z_DEFAULT_COMPRESSION) == ZIP_OK;
    if (ok) {
        ++fileCount_;
        char piece[kPieceBytes];
        platform::OsError readError;
        while (size_t got = in.read(piece, sizeof piece, &readError))
            if (!(ok = writeEntry(piece, got))) break;
        // A read that fails part way ends the loop as the file's end would.
        if (readError.failed()) {
            error_ = readError;
            ok = false;
        }
    }
    return endEntry() && ok;
}

bool ArchiveWriter::beginEntry(const std::string& name, platform::FileTime lastWriteTime,
                               uint64_t size, bool utf8Name) {
    if (!handle_ || name.empty()) return false;
    zip_fileinfo entry =
        entryInfo(platform::fileTimeToLocalTime(lastWriteTime), platform::kAttrArchive);
    const int zip64 = size >= 0xFFFFFFFFu ? 1 : 0;
    const uLong languageEncoding = utf8Name ? kUtf8NameFlag : 0;
    if (zipOpenNewFileInZip4_64(handle_, name.c_str(), &entry, nullptr, 0, nullptr, 0, nullptr, 0,
                                0, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                kVersionMadeBy, languageEncoding, zip64) != ZIP_OK)
        return false;
    ++fileCount_;
    return true;
}

bool ArchiveWriter::writeEntry(const void* data, size_t n) {
    if (!handle_) return false;
    auto* bytes = static_cast<const char*>(data);
    while (n > 0) {
        unsigned take = static_cast<unsigned>(std::min<size_t>(n, 1u << 30));
        if (zipWriteInFileInZip(handle_, bytes, take) != ZIP_OK) return false;
        byteCount_ += take;
        bytes += take;
        n -= take;
    }
    return true;
}

bool ArchiveWriter::endEntry() {
    return handle_ && zipCloseFileInZip(handle_) == ZIP_OK;
}

bool ArchiveWriter::close() {
    bool ok = true;
    if (handle_) {
        ok = zipClose(handle_, nullptr) == ZIP_OK;
        handle_ = nullptr;
    }
    baseFolder_.clear();
    fileCount_ = 0;
    byteCount_ = 0;
    return ok;
}

// ---- Free helpers

bool staysInsideFolder(const std::string& name) {
    return safeComponents(name).has_value();
}

bool createFolderPath(const std::string& pathIn) {
    if (pathIn.empty()) return false;
    std::string path = pathIn;
    while (path.size() > 1 && platform::isSeparatorAt(path, path.size() - 1) && !isDrive(path))
        path.pop_back();
    if (platform::folderExists(path)) return true;
    if (platform::fileExists(path)) return false;
    size_t cut = lastSeparator(path);
    if (cut == std::string::npos) return isDrive(path) || platform::createFolder(path);
    if (cut > 0) {
        std::string parent = path.substr(0, cut);
        if (!isDrive(parent) && !createFolderPath(parent)) return false;
    }
    return platform::createFolder(path);
}

bool createParentFolders(const std::string& filePath) {
    size_t cut = lastSeparator(filePath);
    if (cut == std::string::npos) return false;
    return cut == 0 || createFolderPath(filePath.substr(0, cut));
}

bool setFileTimeFromDos(const std::string& filePath, uint32_t dosDateTime) {
    uint32_t date = dosDateTime >> 16;
    uint32_t time = dosDateTime & 0xFFFF;
    platform::LocalTime local;
    local.year = static_cast<int>((date >> 9) + 1980);
    local.month = static_cast<int>((date >> 5) & 0xF);
    local.day = static_cast<int>(date & 0x1F);
    local.hour = static_cast<int>(time >> 11);
    local.minute = static_cast<int>((time >> 5) & 0x3F);
    local.second = static_cast<int>((time & 0x1F) * 2);
    std::optional<platform::FileTime> utc = platform::localTimeToFileTime(local);
    return utc && platform::fileExists(filePath) && platform::setFileWriteTime(filePath, *utc);
}

std::optional<platform::LocalTime> fileLocalTime(const std::string& filePath) {
    std::optional<platform::FileInfo> info = platform::fileInfo(filePath);
    if (!info) return std::nullopt;
    return platform::fileTimeToLocalTime(info->lastWriteTime);
}
