// Packages from the route book server: unpacking them (with the renaming of the set and the
// stamping of its track) never creates, changes or removes anything outside the output folder.
//
// Each run unpacks into a fresh output folder inside a fresh parent that also holds a route
// book set of its own; afterwards the parent must hold exactly that set and the output folder,
// and the folder above the parent nothing but the parent.
//
// Input: a zip archive as it is (starting with "PK"), or entries to pack: for each, one byte
// of flags (bit 0: folder attribute, bit 1: UTF-8 name flag, bit 2: stored, not deflated),
// the name up to a 0 byte, one byte of length and that many bytes of content.
#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "session/device_manager.h"
#include "support/recording_seat.h"
#include "tasks/import_worker.h"

namespace fs = std::filesystem;

namespace {

using Tree = std::map<std::string, std::string>;  // relative path -> content, "<dir>", "<link>"

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Everything below `root` except `skip`, without following links.
Tree treeOf(const fs::path& root, const fs::path& skip) {
    Tree tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        std::string relative = it->path().lexically_relative(root).string();
        if (it->is_symlink())
            tree[relative] = "<link>";
        else if (it->is_directory())
            tree[relative] = "<dir>";
        else
            tree[relative] = readAll(it->path());
    }
    return tree;
}

// Packs the entries described by the input; false when the input describes none.
bool packEntries(const uint8_t* data, size_t size, const std::string& zipPath) {
    zipFile zip = zipOpen64(zipPath.c_str(), APPEND_STATUS_CREATE);
    if (!zip) return false;
    size_t at = 0;
    int entries = 0;
    while (at < size && entries < 64) {
        uint8_t flags = data[at++];
        std::string name;
        while (at < size && data[at] != 0)
            name += static_cast<char>(data[at++]);
        ++at;
        size_t length = at < size ? data[at++] : 0;
        if (length > size - std::min(at, size)) length = size - std::min(at, size);
        std::string content(reinterpret_cast<const char*>(data) + std::min(at, size), length);
        at += length;
        zip_fileinfo info{};
        info.tmz_date = {7, 30, 12, 21, 2, 2009};
        info.external_fa = (flags & 1) ? 0x10 : 0x20;
        if (zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                    (flags & 4) ? 0 : Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0,
                                    -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0,
                                    (flags & 2) ? 0x800 : 0, 0) != ZIP_OK)
            break;
        zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size()));
        zipCloseFileInZip(zip);
        ++entries;
    }
    zipClose(zip, nullptr);
    return entries > 0;
}

const Tree kNeighbours = {
    {"victim.trk", "the user's own track"},
    {"victim.sim", "sim"},
    {"victim", "<dir>"},
    {"victim/victim.rut", "route"},
    {"book.trk", "a set of the package's name beside the output folder"},
};

struct Sandbox {
    fs::path base;
    Sandbox() {
        std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/";
        base = folder + "vantu-fuzz-unpack-" + std::to_string(getpid());
        fs::remove_all(base);
        fs::create_directories(base);
    }
    ~Sandbox() {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static RecordingSeat seat;
    static DeviceManager device(seat);
    seat.clear();
    static PauseGate gate;
    static Sandbox sandbox;
    TaskContext context{device, RemovableDrive, {}, {}, TaskControl(device.stopRequested, gate)};

    std::string parentTemplate = (sandbox.base / "runXXXXXX").string();
    if (!mkdtemp(parentTemplate.data())) std::abort();
    const fs::path parent = parentTemplate;
    const fs::path out = parent / "out";
    fs::create_directory(out);
    for (const auto& [relative, content] : kNeighbours) {
        if (content == "<dir>")
            fs::create_directory(parent / relative);
        else
            writeAll(parent / relative, content);
    }

    const std::string zipPath = (out / "book.zip").string();
    if (size >= 2 && data[0] == 'P' && data[1] == 'K') {
        writeAll(zipPath, std::string(reinterpret_cast<const char*>(data), size));
    } else if (!packEntries(data, size, zipPath)) {
        fs::remove_all(parent);
        return 0;
    }

    unpackPackage(context, out.string() + "/", "book");

    if (treeOf(parent, out) != kNeighbours) std::abort();
    if (!treeOf(sandbox.base, parent).empty()) std::abort();
    std::error_code ec;
    fs::remove_all(parent, ec);
    return 0;
}
