#include "tasks/archive_stream.h"

#include <memory>
#include <string>

#include "platform/files.h"

namespace {

// Writes are gathered into large pieces: minizip hands over at most 64 KiB at a time, and a
// backup's entries reach it in the navigator's 2000 bytes.
struct Stream {
    platform::File file;
    int64_t position = 0;
    std::string pending;  // written, not yet handed to the file
    bool failed = false;

    bool flush() {
        if (!pending.empty() && !file.write(pending.data(), pending.size())) failed = true;
        pending.clear();
        return !failed;
    }
};

constexpr size_t kWriteGathering = size_t{1} << 20;

voidpf ZCALLBACK openStream(voidpf, const void* filename, int mode) {
    platform::OpenMode how = platform::OpenMode::Read;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        how = (mode & ZLIB_FILEFUNC_MODE_EXISTING) ? platform::OpenMode::ReadWriteExisting
                                                   : platform::OpenMode::CreateAlways;
    auto stream = std::make_unique<Stream>();
    if (!filename || !stream->file.open(static_cast<const char*>(filename), how)) return nullptr;
    return stream.release();
}

uLong ZCALLBACK readStream(voidpf, voidpf s, void* buffer, uLong size) {
    auto* stream = static_cast<Stream*>(s);
    if (!stream->flush()) return 0;
    size_t got = stream->file.read(buffer, size);
    stream->position += static_cast<int64_t>(got);
    return static_cast<uLong>(got);
}

uLong ZCALLBACK writeStream(voidpf, voidpf s, const void* buffer, uLong size) {
    auto* stream = static_cast<Stream*>(s);
    stream->pending.append(static_cast<const char*>(buffer), size);
    if (stream->pending.size() >= kWriteGathering && !stream->flush()) return 0;
    stream->position += static_cast<int64_t>(size);
    return size;
}

ZPOS64_T ZCALLBACK tellStream(voidpf, voidpf s) {
    return static_cast<ZPOS64_T>(static_cast<Stream*>(s)->position);
}

long ZCALLBACK seekStream(voidpf, voidpf s, ZPOS64_T offset, int origin) {
    auto* stream = static_cast<Stream*>(s);
    if (!stream->flush()) return -1;
    int64_t target = static_cast<int64_t>(offset);
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) target += stream->position;
    if (origin == ZLIB_FILEFUNC_SEEK_END) target += stream->file.size();
    if (target < 0 || !stream->file.seek(target)) return -1;
    stream->position = target;
    return 0;
}

int ZCALLBACK closeStream(voidpf, voidpf s) {
    std::unique_ptr<Stream> stream(static_cast<Stream*>(s));
    return stream->flush() ? 0 : 1;
}

int ZCALLBACK streamError(voidpf, voidpf s) {
    return static_cast<Stream*>(s)->failed ? 1 : 0;
}

}  // namespace

zlib_filefunc64_def archiveFileFunctions() {
    zlib_filefunc64_def f{};
    f.zopen64_file = openStream;
    f.zread_file = readStream;
    f.zwrite_file = writeStream;
    f.ztell64_file = tellStream;
    f.zseek64_file = seekStream;
    f.zclose_file = closeStream;
    f.zerror_file = streamError;
    return f;
}
