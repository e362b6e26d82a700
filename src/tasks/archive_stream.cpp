#include "tasks/archive_stream.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

namespace {

// Reads and writes go to the file in large pieces. minizip reads a zip's directory a field at a
// time and hands over at most 64 KiB to write, and a backup's entries reach it in the
// navigator's 2000 bytes: one system call each would cost more than the work.
constexpr size_t kReadAhead = size_t{64} << 10;
constexpr size_t kWriteGathering = size_t{1} << 20;

struct Stream {
    platform::File file;
    platform::OsError* error = nullptr;  // the archive's, for the cause of a failure
    int64_t position = 0;                // where minizip is
    // Read ahead of the position: ahead[taken..] are the bytes from the position on, and the
    // file stands at their end.
    std::vector<char> ahead;
    size_t taken = 0;
    std::string pending;  // written, not yet handed to the file
    bool failed = false;

    // Puts the file where minizip is, with nothing read ahead or held back.
    bool settle() {
        if (!pending.empty() && !file.write(pending.data(), pending.size(), error)) failed = true;
        pending.clear();
        if (taken < ahead.size() && !file.seek(position)) failed = true;
        ahead.clear();
        taken = 0;
        return !failed;
    }

    size_t read(char* out, size_t size) {
        size_t total = 0;
        while (total < size) {
            if (taken < ahead.size()) {
                size_t n = std::min(size - total, ahead.size() - taken);
                std::copy_n(ahead.data() + taken, n, out + total);
                taken += n;
                total += n;
                continue;
            }
            if (size - total >= kReadAhead) {
                total += file.read(out + total, size - total, error);
                break;
            }
            ahead.resize(kReadAhead);
            ahead.resize(file.read(ahead.data(), ahead.size(), error));
            taken = 0;
            if (ahead.empty()) break;
        }
        position += static_cast<int64_t>(total);
        return total;
    }

    bool seek(int64_t target) {
        // Within what was read ahead, no system call is needed.
        const int64_t start = position - static_cast<int64_t>(taken);
        if (pending.empty() && target >= start &&
            target <= start + static_cast<int64_t>(ahead.size())) {
            taken = static_cast<size_t>(target - start);
            position = target;
            return true;
        }
        if (!settle() || target < 0 || !file.seek(target)) return false;
        position = target;
        return true;
    }
};

voidpf ZCALLBACK openStream(voidpf error, const void* filename, int mode) {
    platform::OpenMode how = platform::OpenMode::Read;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        how = (mode & ZLIB_FILEFUNC_MODE_EXISTING) ? platform::OpenMode::ReadWriteExisting
                                                   : platform::OpenMode::CreateAlways;
    auto stream = std::make_unique<Stream>();
    stream->error = static_cast<platform::OsError*>(error);
    if (!filename || !stream->file.open(static_cast<const char*>(filename), how, stream->error))
        return nullptr;
    return stream.release();
}

uLong ZCALLBACK readStream(voidpf, voidpf s, void* buffer, uLong size) {
    auto* stream = static_cast<Stream*>(s);
    if (!stream->pending.empty() && !stream->settle()) return 0;
    return static_cast<uLong>(stream->read(static_cast<char*>(buffer), size));
}

uLong ZCALLBACK writeStream(voidpf, voidpf s, const void* buffer, uLong size) {
    auto* stream = static_cast<Stream*>(s);
    if (!stream->ahead.empty() && !stream->settle()) return 0;
    stream->pending.append(static_cast<const char*>(buffer), size);
    if (stream->pending.size() >= kWriteGathering && !stream->settle()) return 0;
    stream->position += static_cast<int64_t>(size);
    return size;
}

ZPOS64_T ZCALLBACK tellStream(voidpf, voidpf s) {
    return static_cast<ZPOS64_T>(static_cast<Stream*>(s)->position);
}

long ZCALLBACK seekStream(voidpf, voidpf s, ZPOS64_T offset, int origin) {
    auto* stream = static_cast<Stream*>(s);
    int64_t target = static_cast<int64_t>(offset);
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) target += stream->position;
    if (origin == ZLIB_FILEFUNC_SEEK_END) {
        if (!stream->settle()) return -1;
        target += stream->file.size();
    }
    return stream->seek(target) ? 0 : -1;
}

int ZCALLBACK closeStream(voidpf, voidpf s) {
    std::unique_ptr<Stream> stream(static_cast<Stream*>(s));
    return stream->pending.empty() || stream->settle() ? 0 : 1;
}

int ZCALLBACK streamError(voidpf, voidpf s) {
    return static_cast<Stream*>(s)->failed ? 1 : 0;
}

}  // namespace

zlib_filefunc64_def archiveFileFunctions(platform::OsError* error) {
    zlib_filefunc64_def f{};
    f.opaque = error;
    f.zopen64_file = openStream;
    f.zread_file = readStream;
    f.zwrite_file = writeStream;
    f.ztell64_file = tellStream;
    f.zseek64_file = seekStream;
    f.zclose_file = closeStream;
    f.zerror_file = streamError;
    return f;
}
