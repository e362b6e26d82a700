#include "tasks/route_book_set.h"

#include <map>

#include "common/task_status.h"
#include "device/device_connection.h"
#include "device/device_files.h"
#include "device/device_names.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

// The navigator's track folder, over the remote API or as a drive: its files, and paths in it
// with the separator of either.
class NavigatorFolder : public NavigatorFiles {
  public:
    NavigatorFolder(NavigatorState& device, ConnectionMode mode, std::string root)
        : NavigatorFiles(device.rapi, mode == RapiDevice), root_(std::move(root)) {}
    explicit NavigatorFolder(const TaskContext& context)
        : NavigatorFolder(context.device, context.mode, context.dataRoot) {}

    std::string path(const std::string& name) const { return inside(root_, name); }
    std::string inside(const std::string& folder, const std::string& name) const {
        if (!onDevice()) return platform::joinPath(folder, name);
        // The trail byte of a double-byte character may have the value of '\\'.
        const bool closed = folder.empty() || platform::isSeparatorAt(folder, folder.size() - 1);
        return folder + (closed ? "" : "\\") + name;
    }

  private:
    std::string root_;
};

bool isPlainEntry(const platform::FolderEntry& entry) {
    return !entry.name.empty() && entry.name[0] != '.';
}

// Empties a folder of the set (one level deep) and removes it; true when nothing is left of it.
bool removeSetFolder(const TaskContext& context, const NavigatorFolder& nav,
                     const std::string& folder) {
    if (auto entries = nav.list(folder)) {
        for (const auto& entry : *entries) {
            context.control.waitWhilePaused();
            if (isPlainEntry(entry) && !nav.gone(nav.inside(folder, entry.name))) return false;
        }
    }
    return nav.removeFolder(folder) || !nav.exists(folder);
}

// A set copied to its installation names on the navigator: what was written there, and the
// names of the files of its folder.
struct StagedSet {
    InstalledFiles written;
    std::vector<std::string> inner;
    bool hasSim = false;
    bool hasFolder = false;
    platform::OsError error;  // why a copy failed, when the system said

    bool copy(const NavigatorFolder& nav, const std::string& from, const std::string& to) {
        if (!nav.copyNew(from, to, &error)) return false;
        written.files.push_back(to);
        return true;
    }
};

// Copies the set in `folder` to its installation names: track, sim, then the set's folder when
// it has one.
bool stageSet(const TaskContext& context, const NavigatorFolder& nav, const std::string& folder,
              const std::string& name, StagedSet& set) {
    const std::string staged = installationName(name);
    const std::string stagedFolder = nav.path(staged);
    const std::string source = platform::joinPath(folder, name);
    set.hasFolder = platform::folderExists(source);
    bool ok = !set.hasFolder || nav.createFolder(stagedFolder);
    if (ok && set.hasFolder) set.written.createdFolder = stagedFolder;
    const std::string sim = platform::joinPath(folder, name + ".sim");
    set.hasSim = platform::fileExists(sim);
    ok = ok &&
         set.copy(nav, platform::joinPath(folder, name + ".trk"), nav.path(staged + ".trk")) &&
         (!set.hasSim || set.copy(nav, sim, nav.path(staged + ".sim")));
    if (!ok || !set.hasFolder) return ok;
    auto entries = platform::listFolder(source);
    if (!entries) return false;
    for (const auto& entry : *entries) {
        if (context.control.checkpoint()) break;
        // The set's folder is one level deep: what lies in a folder below it is not installed.
        if (!isPlainEntry(entry) || (entry.attributes & platform::kAttrDirectory)) continue;
        if (!set.copy(nav, platform::joinPath(source, entry.name),
                      nav.inside(stagedFolder, entry.name)))
            return false;
        set.inner.push_back(entry.name);
    }
    return true;
}

// Takes away what an earlier installation of this name in this run could not.
void clearStaged(const TaskContext& context, const NavigatorFolder& nav, const std::string& name) {
    const std::string staged = installationName(name);
    nav.gone(nav.path(staged + ".trk"));
    nav.gone(nav.path(staged + ".sim"));
    removeSetFolder(context, nav, nav.path(staged));
}

// The moves that put a staged set in place as N, the track last: only a whole set is listed.
std::vector<PathMove> movesIntoPlace(const NavigatorFolder& nav, const StagedSet& set,
                                     const std::string& name) {
    const std::string staged = installationName(name);
    std::vector<PathMove> moves;
    if (set.hasFolder) moves.push_back({nav.path(staged), nav.path(name)});
    if (set.hasSim) moves.push_back({nav.path(staged + ".sim"), nav.path(name + ".sim")});
    moves.push_back({nav.path(staged + ".trk"), nav.path(name + ".trk")});
    return moves;
}

// What the set N put in place holds.
void recordInPlace(const NavigatorFolder& nav, const StagedSet& set, const std::string& name,
                   InstalledFiles& written) {
    if (set.hasFolder) written.createdFolder = nav.path(name);
    written.files.push_back(nav.path(name + ".trk"));
    if (set.hasSim) written.files.push_back(nav.path(name + ".sim"));
    for (const std::string& entry : set.inner)
        written.files.push_back(nav.inside(written.createdFolder, entry));
}

// Removes a set from the data root, the track last; true when nothing of it is left.
bool removeSet(const TaskContext& context, const NavigatorFolder& nav, const std::string& name) {
    return removeSetFolder(context, nav, nav.path(name)) && nav.gone(nav.path(name + ".sim")) &&
           nav.gone(nav.path(name + ".trk"));
}

}  // namespace

bool installRouteBook(const TaskContext& context, const std::string& folder,
                      const std::string& name, InstalledFiles& written) {
    const NavigatorFolder nav(context);
    clearStaged(context, nav, name);
    StagedSet set;
    bool ok = stageSet(context, nav, folder, name, set);
    if (ok && !context.control.stopRequested())
        ok = nav.moveAllOrNone(movesIntoPlace(nav, set, name), false);
    if (!ok) failWorker(context, TaskStatus::TransferError, set.error, "installing " + name);
    if (!ok || context.control.stopRequested()) {
        removeInstalledFiles(context, set.written);
        return false;
    }
    recordInPlace(nav, set, name, written);
    return true;
}

bool replaceRouteBook(const TaskContext& context, const std::string& folder,
                      const std::string& name, const std::string& existing) {
    const NavigatorFolder nav(context);
    clearStaged(context, nav, name);
    StagedSet set;
    bool ok = stageSet(context, nav, folder, name, set);
    // The old set steps aside, its track first so that it is no longer listed, and the new one
    // takes its place, its track last: a failure takes every move back. An old set parked by an
    // earlier replacement in this run that could not remove it goes first.
    const std::string parked = parkingName(existing);
    removeSet(context, nav, parked);
    std::vector<PathMove> moves = {{nav.path(existing + ".trk"), nav.path(parked + ".trk")}};
    if (nav.exists(nav.path(existing + ".sim")))
        moves.push_back({nav.path(existing + ".sim"), nav.path(parked + ".sim")});
    if (nav.exists(nav.path(existing))) moves.push_back({nav.path(existing), nav.path(parked)});
    for (const PathMove& move : movesIntoPlace(nav, set, name))
        moves.push_back(move);
    if (ok && !context.control.stopRequested()) ok = nav.moveAllOrNone(moves, false);
    if (!ok) failWorker(context, TaskStatus::TransferError, set.error, "replacing " + existing);
    if (!ok || context.control.stopRequested()) {
        removeInstalledFiles(context, set.written);
        return false;
    }
    // A parked set that cannot be removed now goes with the leftovers of this run.
    removeSet(context, nav, parked);
    return true;
}

std::string installationName(const std::string& name) {
    return kInstallPrefix + platform::runName() + "~" + name;
}

std::string parkingName(const std::string& name) {
    return kParkPrefix + platform::runName() + "~" + name;
}

bool installationFits(const std::string& root, const std::string& name) {
    // The longest path on the way in: root + installation name + separator + N.rut.
    return root.size() + installationName(name).size() + 1 + name.size() + 4 <= kMaxSearchPath;
}

bool removeInstalledFiles(const TaskContext& context, const InstalledFiles& written) {
    const NavigatorFolder nav(context);
    bool ok = true;
    for (auto it = written.files.rbegin(); it != written.files.rend(); ++it)
        ok = nav.gone(*it) && ok;
    if (!written.createdFolder.empty())
        ok = (nav.removeFolder(written.createdFolder) || !nav.exists(written.createdFolder)) && ok;
    if (!ok && nav.onDevice()) context.device.seat.postStatus(TaskStatus::RemoveFailed);
    return ok;
}

bool removeRouteBookRemote(const TaskContext& context, const std::string& name) {
    const NavigatorFolder nav(context);
    // The track marks a route book: it goes last, so that a removal cut short leaves a set
    // that is still listed and can be deleted again.
    if (removeSet(context, nav, name)) return true;
    context.device.seat.postStatus(TaskStatus::RemoveFailed);
    return false;
}

bool removeRouteBookLocal(const std::string& folder, const std::string& name) {
    const std::string track = platform::joinPath(folder, name + ".trk");
    if (!platform::fileExists(track)) return false;
    auto gone = [](const std::string& path) {
        return platform::deleteFile(path) || !platform::fileExists(path);
    };
    // The track goes last, as on the device: a set left half-removed is still listed.
    return platform::removeTree(platform::joinPath(folder, name)) &&
           gone(platform::joinPath(folder, name + ".sim")) &&
           gone(platform::joinPath(folder, name + ".poi")) && platform::deleteFile(track);
}

bool copyRouteBookFromDevice(const TaskContext& context, const std::string& folder,
                             const std::string& name) {
    const NavigatorFolder nav(context);
    // One look at the set tells which parts it has; each of those must arrive whole.
    bool hasTrack = false, hasSim = false, hasFolder = false;
    if (auto found = nav.find(nav.path(name + "*"))) {
        for (const auto& e : *found) {
            const bool isFolder = (e.attributes & platform::kAttrDirectory) != 0;
            hasTrack = hasTrack || (!isFolder && sameDeviceName(e.name, name + ".trk"));
            hasSim = hasSim || (!isFolder && sameDeviceName(e.name, name + ".sim"));
            hasFolder = hasFolder || (isFolder && sameDeviceName(e.name, name));
        }
    }
    const std::string setFolder = nav.path(name);
    const std::string target = platform::joinPath(folder, name);
    auto entries = hasFolder ? nav.list(setFolder) : std::nullopt;
    platform::OsError error;
    bool ok =
        hasTrack &&
        nav.copyOut(nav.path(name + ".trk"), platform::joinPath(folder, name + ".trk"), &error) &&
        (!hasSim ||
         nav.copyOut(nav.path(name + ".sim"), platform::joinPath(folder, name + ".sim"), &error));
    // A folder that a drive cannot list is a failure; an empty one counts as none, as the
    // device shows it.
    if (ok && hasFolder && !entries) ok = nav.onDevice();
    if (ok && entries && !entries->empty()) {
        ok = platform::createFolder(target, &error);
        for (const auto& entry : *entries) {
            if (!ok || context.control.checkpoint()) break;
            if (!isPlainEntry(entry) || (entry.attributes & platform::kAttrDirectory)) continue;
            ok = nav.copyOut(nav.inside(setFolder, entry.name),
                             platform::joinPath(target, entry.name), &error);
        }
    }
    if (!ok) failWorker(context, TaskStatus::TransferError, error, "copying " + name + " out");
    return ok && !context.control.stopRequested();
}

namespace {

// The entries under `prefix` that runs which have ended left.
std::vector<platform::FolderEntry> endedEntries(const NavigatorFolder& nav, const char* prefix) {
    std::vector<platform::FolderEntry> ended;
    auto found = nav.find(nav.path(std::string(prefix) + "*"));
    if (!found) return ended;
    const size_t length = std::string_view(prefix).size();
    for (auto& e : *found) {
        // Only names this program gives, and only those of runs that have ended.
        if (e.name.rfind(prefix, 0) != 0) continue;
        const size_t cut = e.name.find('~', length);
        if (cut != std::string::npos && platform::runMayBeLive(e.name.substr(length, cut - length)))
            continue;
        ended.push_back(std::move(e));
    }
    return ended;
}

// The parked sets of replacements whose run has ended: each one's name there (prefix, run, '~'
// and the route book's name) and the route book's name.
std::map<std::string, std::string> parkedSets(const NavigatorFolder& nav) {
    std::map<std::string, std::string> sets;
    for (const platform::FolderEntry& e : endedEntries(nav, kParkPrefix)) {
        const size_t cut = e.name.find('~', std::string_view(kParkPrefix).size());
        if (cut == std::string::npos) continue;
        std::string base = e.name;
        if (!(e.attributes & platform::kAttrDirectory) && base.size() > cut + 4 &&
            (base.ends_with(".trk") || base.ends_with(".sim")))
            base.resize(base.size() - 4);
        sets.emplace(base, base.substr(cut + 1));
    }
    return sets;
}

// A replacement cut off before the new set's track took its place: what stands in the old
// set's other places is the new set's and goes, and the old set comes back, its track last.
// After that move the old set goes.
void finishReplacement(const TaskContext& context, const NavigatorFolder& nav,
                       const std::string& parked, const std::string& name) {
    if (nav.exists(nav.path(name + ".trk"))) {
        removeSet(context, nav, parked);
        return;
    }
    if (nav.exists(nav.path(parked))) {
        removeSetFolder(context, nav, nav.path(name));
        nav.move(nav.path(parked), nav.path(name));
    }
    if (nav.exists(nav.path(parked + ".sim")) && nav.gone(nav.path(name + ".sim")))
        nav.move(nav.path(parked + ".sim"), nav.path(name + ".sim"));
    nav.move(nav.path(parked + ".trk"), nav.path(name + ".trk"));
}

}  // namespace

void removeLeftovers(NavigatorState& device, ConnectionMode mode, const std::string& dataRoot,
                     const std::vector<std::string>& replaced) {
    for (const std::string& path : replaced)
        finishInterruptedReplacement(device.rapi, path);
    std::atomic<int> never{0};
    PauseGate gate;
    const TaskContext context{device, mode, dataRoot, {}, TaskControl(never, gate)};
    const NavigatorFolder nav(context);
    for (const platform::FolderEntry& e : endedEntries(nav, kInstallPrefix)) {
        const std::string path = nav.path(e.name);
        if (e.attributes & platform::kAttrDirectory)
            removeSetFolder(context, nav, path);
        else
            nav.remove(path);
    }
    for (const auto& [parked, name] : parkedSets(nav))
        finishReplacement(context, nav, parked, name);
}
