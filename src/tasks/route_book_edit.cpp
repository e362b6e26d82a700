#include "tasks/route_book_edit.h"

#include <algorithm>

#include "common/task_status.h"
#include "device/device_names.h"
#include "ops/route_book_list.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/import_worker.h"
#include "tasks/route_book_set.h"

namespace {

namespace limits = edit_limits;

// The largest track file a document can carry: every segment and point it may hold, and bytes
// after them.
constexpr uint64_t kMaxTrackBytes =
    24 + 44 * uint64_t{limits::kSegments} + 10 * uint64_t{limits::kPoints} + limits::kFileBytes;

const std::string kTooMuch = "the set's files besides its track and route file exceed the " +
                             std::to_string(limits::kFileBytes) + " bytes a document carries";

bool largerThan(const std::string& path, uint64_t most) {
    std::optional<platform::FileInfo> info = platform::fileInfo(path);
    return info && info->size > most;
}

// The index as the document writes it: zeros, the records' offsets, or the values as read.
RouteIndex indexOf(const RouteBookData& route) {
    const std::vector<int32_t>& index = route.header.recordIndex;
    if (index.size() != route.records.size()) return RouteIndex::Zeros;
    if (std::all_of(index.begin(), index.end(), [](int32_t v) { return v == 0; }))
        return RouteIndex::Zeros;
    return index == routeRecordOffsets(route) ? RouteIndex::Offsets : RouteIndex::Kept;
}

// Takes the stored route file as the document's route.
void takeRoute(StoredRouteFile& route, const std::string& fileName, EditDocument& document,
               SetDocument& out) {
    if (!route.exact)
        out.inexact.push_back(fileName +
                              ": it ends inside a record, or its lengths disagree with its "
                              "texts; what it holds whole is kept");
    document.routeIndex = indexOf(route.data);
    document.routeTrailing = std::move(route.trailing);
    document.route = std::move(route.data);
}

// Reads a file of the set's folder into the document; the refusal when it cannot.
std::string takeFolderFile(const std::string& path, const std::string& fileName,
                           EditDocument& document, size_t& budget) {
    if (document.folderFiles.size() == limits::kFolderFiles)
        return "the set's folder holds more than " + std::to_string(limits::kFolderFiles) +
               " files";
    EditFile file{platform::ansiToUtf16(fileName), {}};
    if (largerThan(path, budget)) return kTooMuch;
    if (!platform::readWholeFile(path, file.bytes)) return "cannot read " + fileName;
    if (file.bytes.size() > budget) return kTooMuch;
    budget -= file.bytes.size();
    document.folderFiles.push_back(std::move(file));
    return {};
}

// The files of the set's folder, sorted by name so that a document does not depend on the order
// a file system lists them in; the route file becomes the document's route. False, with the
// refusal set, when the folder cannot be read or holds more than a document may.
bool readSetFolder(const std::string& folder, const std::string& name, EditDocument& document,
                   size_t& budget, SetDocument& out) {
    const std::string source = platform::joinPath(folder, name);
    if (!platform::folderExists(source)) return true;
    auto entries = platform::listFolder(source);
    if (!entries) {
        out.refusal = "cannot list the folder " + name;
        return false;
    }
    std::sort(entries->begin(), entries->end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const platform::FolderEntry& entry : *entries) {
        if (entry.name.empty() || entry.name[0] == '.' ||
            (entry.attributes & platform::kAttrDirectory))
            continue;
        const std::string path = platform::joinPath(source, entry.name);
        std::optional<StoredRouteFile> route;
        if (!document.route && sameDeviceName(entry.name, name + ".rut") &&
            !largerThan(path, limits::kDocumentBytes))
            route = readStoredRouteFile(path);
        if (route && route->trailing.size() <= budget) {
            budget -= route->trailing.size();
            takeRoute(*route, entry.name, document, out);
        } else {
            out.refusal = takeFolderFile(path, entry.name, document, budget);
            if (!out.refusal.empty()) return false;
        }
    }
    return true;
}

}  // namespace

SetDocument readRouteBookSet(const std::string& folder, const std::string& name) {
    SetDocument out;
    const std::string track = platform::joinPath(folder, name + ".trk");
    std::optional<StoredTrackFile> stored;
    if (!largerThan(track, kMaxTrackBytes)) stored = readStoredTrack(track);
    if (!stored) {
        out.refusal = platform::fileExists(track)
                          ? name + ".trk is no track file the navigator reads, or too large"
                          : "cannot read " + name + ".trk";
        return out;
    }
    if (!stored->exact)
        out.inexact.push_back(name + ".trk: it ends inside a segment; what it holds whole is kept");
    EditDocument document;
    document.name = platform::ansiToUtf16(name);
    document.track = std::move(*stored);
    size_t budget =
        limits::kFileBytes - std::min(document.track.trailing.size(), limits::kFileBytes);
    const std::string sim = platform::joinPath(folder, name + ".sim");
    if (platform::fileExists(sim)) {
        std::string bytes;
        if (largerThan(sim, budget) || !platform::readWholeFile(sim, bytes)) {
            out.refusal = largerThan(sim, budget) ? kTooMuch : "cannot read " + name + ".sim";
            return out;
        }
        budget -= bytes.size();
        document.sim = std::move(bytes);
    }
    if (!readSetFolder(folder, name, document, budget, out)) return out;
    out.document = std::move(document);
    return out;
}

namespace {

// A file of the folder named after the document's name takes the route book's.
std::u16string renamed(const std::u16string& file, const std::u16string& from,
                       const std::u16string& to) {
    const size_t dot = file.rfind(u'.');
    const std::u16string stem = file.substr(0, dot);
    if (from.empty() || foldDeviceName(stem) != foldDeviceName(from)) return file;
    return to + (dot == std::u16string::npos ? u"" : file.substr(dot));
}

bool writeFile(const std::string& path, const std::string& bytes, const std::string& trailing) {
    platform::File file(path, platform::OpenMode::CreateAlways);
    return file.isOpen() && file.write(bytes.data(), bytes.size()) &&
           file.write(trailing.data(), trailing.size());
}

}  // namespace

std::string writeRouteBookSet(const EditDocument& document, const std::string& folder,
                              const std::string& name) {
    // Every name is settled before anything is written.
    std::vector<std::u16string> taken;
    if (document.route) taken.push_back(foldDeviceName(platform::ansiToUtf16(name + ".rut")));
    std::vector<std::string> inner;
    for (size_t i = 0; i < document.folderFiles.size(); ++i) {
        const std::string field = "folderFiles[" + std::to_string(i) + "].name: ";
        const std::u16string wide =
            renamed(document.folderFiles[i].name, document.name, platform::ansiToUtf16(name));
        const std::string ansi = platform::utf16ToAnsi(wide);
        if (platform::ansiToUtf16(ansi) != wide)
            return field + "the system's code page cannot hold this name";
        const std::u16string folded = foldDeviceName(wide);
        if (std::find(taken.begin(), taken.end(), folded) != taken.end())
            return field + "the navigator takes it for another file of the set (letter case aside)";
        taken.push_back(folded);
        inner.push_back(ansi);
    }
    const std::string base = platform::joinPath(folder, name);
    bool ok =
        writeFile(base + ".trk", encodeTrackFile(document.track.version, document.track.segments),
                  document.track.trailing) &&
        (!document.sim || writeFile(base + ".sim", *document.sim, {}));
    if (ok && (document.route || !inner.empty())) ok = platform::createFolder(base);
    if (ok && document.route)
        ok = writeFile(platform::joinPath(base, name + ".rut"),
                       encodeRouteFile(*document.route, document.routeIndex),
                       document.routeTrailing);
    for (size_t i = 0; ok && i < inner.size(); ++i)
        ok = writeFile(platform::joinPath(base, inner[i]), document.folderFiles[i].bytes, {});
    return ok ? std::string() : "cannot write the route book's files in " + folder;
}

EditedInstall installEditedSet(TaskContext& context, const std::string& folder,
                               const std::string& name, bool replace) {
    if (!isRouteBookFileName(context.dataRoot, name) || !installationFits(context.dataRoot, name)) {
        context.device.seat.postStatus(TaskStatus::UnknownError);
        return EditedInstall::Failed;
    }
    const std::optional<std::string> existing = presentName(context, name);
    if (existing && !replace) return EditedInstall::Present;
    InstalledFiles written;
    const bool ok = existing ? replaceRouteBook(context, folder, name, *existing)
                             : installRouteBook(context, folder, name, written);
    if (!ok) return EditedInstall::Failed;
    context.device.routeBooks.use([&](RouteBookEntries& list) {
        for (auto& entry : list)
            if (existing && entry->fileName == *existing) {
                *entry = RouteBookEntry{name, name};
                return;
            }
        list.push_back(std::make_unique<RouteBookEntry>(RouteBookEntry{name, name}));
    });
    return EditedInstall::Installed;
}
