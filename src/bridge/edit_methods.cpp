#include "bridge/edit_methods.h"

#include <atomic>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "bridge/pc_file_answer.h"
#include "bridge/pc_files.h"
#include "build_config.h"
#include "formats/edit_document.h"
#include "formats/gpx.h"
#include "formats/track_file.h"
#include "ops/decimal_text.h"
#include "ops/route_book_list.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/file_replace.h"
#include "platform/paths.h"
#include "platform/utf8_text.h"
#include "tasks/archive.h"
#include "tasks/export_worker.h"
#include "tasks/import_worker.h"
#include "tasks/local_install.h"
#include "tasks/route_book_edit.h"
#include "tasks/route_book_set.h"

namespace {

constexpr const char* kBusy = "程序暂时很忙，请稍候再试！";
constexpr const char* kNoFolder = "临时文件夹里写不进文件。";
// A request is its document and a line or two before it.
constexpr size_t kRequestBytes = edit_limits::kDocumentBytes + 512;

// UTF-8 JSON with every character beyond ASCII as \uXXXX (two for one beyond the first 65536);
// outside strings JSON holds none.
std::string asciiJson(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 8);
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += utf8[i++];
            continue;
        }
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        for (char16_t unit : utf8::toUtf16(utf8.substr(i, length))) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
            out += escape;
        }
        i += length;
    }
    return out;
}

std::string jsonText(const std::string& utf8) {
    return nlohmann::json(utf8).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

std::string refusedJson(const std::string& utf8) {
    return "{\"refused\":" + jsonText(utf8) + "}";
}

// A folder of its own in the run's private folder for one set of files; empty when none could be
// made.
std::string makeWorkFolder() {
    static std::atomic<int> made{0};
    const std::string folder = platform::privateFile("edit-" + std::to_string(++made));
    return !folder.empty() && createFolderPath(folder) ? folder : std::string();
}

// A control for work on the window's thread, which nobody pauses or stops.
struct WindowWork {
    std::atomic<int> stop{0};
    PauseGate gate;
    TaskContext context(DeviceManager& device) {
        return TaskContext{device, device.mode, device.dataRoot, device.uploadPath,
                           TaskControl(stop, gate)};
    }
};

// The set N in `folder` as the editor's answer.
std::string documentAnswer(const std::string& folder, const std::string& name,
                           const std::string& navigatorName,
                           const std::vector<std::string>& madeNotes = {}) {
    SetDocument set = readRouteBookSet(folder, name);
    if (!set.document)
        return refusedJson(quoted(name) + "不能编辑：" + platform::ansiToUtf8(set.refusal));
    nlohmann::json notes(madeNotes);
    for (const std::string& file : set.inexact)
        notes.push_back(platform::ansiToUtf8(file) + "不完整，存回时只有读得出的部分。");
    return "{\"document\":" + asciiJson(writeEditDocument(*set.document)) +
           ",\"limits\":" + editLimitsJson() +
           ",\"navigatorName\":" + jsonText(platform::ansiToUtf8(navigatorName)) +
           ",\"notes\":" + notes.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace) +
           "}";
}

// The package a file the user chose becomes in `work` as N.zip: a package as it is, a GPX file
// as installing it makes one. Its name, or nothing with `refusal` the answer.
std::optional<std::string> packageOf(const std::string& path, const std::string& work,
                                     std::vector<std::string>& notes, std::string& refusal) {
    const std::string file = fileNameOf(path);
    if (extensionOf(file) == "gpx") {
        const std::string name = baseNameOf(path);
        GpxRouteBook read = readGpxRouteBook(path, name);
        std::optional<std::string> problem = gpxRefusal(read, file);
        if (!problem && !writeImportPackage(*read.book, name, work)) problem = kNoFolder;
        if (problem) {
            refusal = refusedJson(*problem);
            return std::nullopt;
        }
        if (read.dropped > 0) notes.push_back(droppedPointsNote(read.dropped) + "，没有读进来。");
        return name;
    }
    std::optional<std::string> name = packageInnerName(path);
    if (!name || !platform::copyFile(path, platform::joinPath(work, *name + ".zip"), true)) {
        refusal = refusedJson(quoted(file) + (name ? "解不开。" : "不是路书包，或者读不出来。"));
        return std::nullopt;
    }
    return name;
}

// The route book of a package or GPX file the user chooses, unpacked as an installation unpacks
// it.
std::string editPcFile(DeviceManager& device) {
    std::string outcome;
    std::optional<std::string> path = chooseToOpen(device.seat, "编辑电脑上的路书包或 GPX 文件",
                                                   "路书包或 GPX 文件", "zip;gpx", outcome);
    if (!path)
        return outcome == pcFileAnswer({"cancelled", {}, {}, {}})
                   ? "{\"cancelled\":true}"
                   : refusedJson("这个文件的路径里有系统的代码页写不出的字符。");
    const std::string work = makeWorkFolder();
    if (work.empty()) return refusedJson(kNoFolder);
    std::vector<std::string> notes;
    std::string answer;
    std::optional<std::string> name = packageOf(*path, work, notes, answer);
    WindowWork window;
    if (name && unpackPackage(window.context(device), work, *name))
        answer = documentAnswer(unpackFolder(work, *name), *name, {}, notes);
    else if (name)
        answer = refusedJson(quoted(fileNameOf(*path)) + "解不开。");
    platform::removeTree(work);
    return answer;
}

// The request's lines before its document, and the document read and checked; the refusal
// answer otherwise.
struct EditRequest {
    std::vector<std::string> lines;
    std::optional<EditDocument> document;
    std::string refusal;
};

EditRequest readRequest(const std::string& request, size_t lines) {
    EditRequest read;
    if (request.size() > kRequestBytes) {
        read.refusal = pcFileRefused({}, "路书太大，导航仪存不下。");
        return read;
    }
    size_t at = 0;
    for (size_t i = 0; i < lines; ++i) {
        size_t end = request.find('\n', at);
        if (end == std::string::npos) {
            read.refusal = pcFileRefused({}, "程序没有收到完整的路书。");
            return read;
        }
        read.lines.push_back(request.substr(at, end - at));
        at = end + 1;
    }
    EditReading reading = readEditDocument(std::string_view(request).substr(at));
    if (!reading.document) read.refusal = pcFileRefused({}, "路书没有通过检查：" + reading.refusal);
    read.document = std::move(reading.document);
    return read;
}

}  // namespace

std::string editRouteBook(DeviceManager& device, const std::string& source) {
    if (!isTaskIdle(device)) return refusedJson(kBusy);
    if (source == "package") return editPcFile(device);
    std::optional<std::string> name = fileNameAt(device, atoiSaturated(source));
    if (!name) return refusedJson("导航仪上没有这个路书，请刷新路书列表。");
    const std::string work = makeWorkFolder();
    if (work.empty()) return refusedJson(kNoFolder);
    WindowWork window;
    std::string answer = copyRouteBookFromDevice(window.context(device), work, *name)
                             ? documentAnswer(work, *name, *name)
                             : refusedJson("路书读取失败。");
    platform::removeTree(work);
    return answer;
}

std::string saveEditToPDA(DeviceManager& device, const std::string& request) {
    if (!isTaskIdle(device)) return pcFileRefused({}, kBusy);
    EditRequest read = readRequest(request, 2);
    if (!read.document) return read.refusal;
    const std::string& name = read.lines[0];
    const bool replace = read.lines[1] == "replace";
    if (std::optional<std::string> problem = routeBookNameProblem(device, name))
        return pcFileRefused({}, *problem);
    if (!replace && routeBookListed(device, name)) return pcFileAnswer({"present", {}, name, {}});
    const std::string work = makeWorkFolder();
    if (work.empty()) return pcFileRefused({}, kNoFolder);
    const std::string refusal = writeRouteBookSet(*read.document, work, name);
    if (!refusal.empty()) {
        platform::removeTree(work);
        return pcFileRefused({}, "路书写不出来：" + platform::ansiToUtf8(refusal));
    }
    startTaskJob(device, device, [work, name, replace](TaskContext& context) {
        context.device.seat.postProgress(TaskKind::Import, 1);
        EditedInstall installed = installEditedSet(context, work, name, replace);
        platform::removeTree(work);
        // A failure has said itself; a stop, and a name that came meanwhile, end quietly.
        if (installed != EditedInstall::Failed || context.control.stopRequested())
            context.device.seat.postStatus(
                installed == EditedInstall::Present ? TaskStatus::UnknownError : TaskStatus::Done);
    });
    return pcFileAnswer({"started", {}, name, {}});
}

namespace {

// Writes the set `name` in `work` as the file `made`, GPX or a package; the refusal's word, empty
// when written (a failure's cause in `error`).
std::string writeEditFile(DeviceManager& device, const std::string& work, const std::string& name,
                          bool gpx, const std::string& made, platform::OsError& error) {
    if (gpx) {
        std::optional<std::vector<RecordedSegment>> track =
            readRecordedTrack(platform::joinPath(work, name + ".trk"));
        RouteBookData data;
        data.readRouteFile(platform::joinPath(platform::joinPath(work, name), name + ".rut"));
        const bool written = track && platform::writeWholeFile(
                                          made,
                                          writeGpx(routeBookToGpx(data, *track, name),
                                                   std::string("vantu ") + build_config::kVersion),
                                          &error);
        return written ? std::string() : "GPX";
    }
    WindowWork window;
    return buildPackage(window.context(device), work, name, &error) ? std::string() : "zip";
}

}  // namespace

std::string saveEditToPC(DeviceManager& device, const std::string& request) {
    EditRequest read = readRequest(request, 1);
    if (!read.document) return read.refusal;
    const bool gpx = read.lines[0] == "gpx";
    if (!gpx && read.lines[0] != "package") return pcFileRefused({}, "程序不认识这种文件。");
    const char* extension = gpx ? "gpx" : "zip";
    std::string offered = platform::utf8ToAnsi(utf8::fromUtf16(read.document->name));
    if (offered.empty()) offered = platform::utf8ToAnsi("路书");
    std::string outcome;
    std::optional<std::string> path = askForPcFile(
        device.seat,
        {platform::FileDialogRequest::Kind::Save,
         platform::utf8ToAnsi(gpx ? "把路书存成 GPX 文件" : "把路书存成路书包"),
         platform::utf8ToAnsi(gpx ? "GPX 文件" : "路书包"), extension, offered + "." + extension},
        outcome);
    if (!path) return outcome;
    const std::string file = fileNameOf(*path), name = baseNameOf(*path);
    const std::string work = makeWorkFolder();
    if (work.empty()) return pcFileRefused(file, kNoFolder);
    std::string refusal = writeRouteBookSet(*read.document, work, name);
    std::string made = platform::joinPath(work, name + "." + extension);
    platform::OsError error;
    if (refusal.empty()) refusal = writeEditFile(device, work, name, gpx, made, error);
    const bool saved = refusal.empty() && platform::replaceWithCopy(made, *path, &error);
    platform::removeTree(work);
    if (!saved) return pcFileRefused(file, quoted(file) + "写不进去。", error);
    return pcFileAnswer({"saved", file, name, "路书已存成" + quoted(file) + "。"});
}
