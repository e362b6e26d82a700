#include "bridge/pc_files.h"

#include <optional>

#include "bridge/pc_file_answer.h"
#include "build_config.h"
#include "device/device_names.h"
#include "formats/xml_text.h"
#include "ops/decimal_text.h"
#include "ops/route_book_list.h"
#include "ops/route_book_view.h"
#include "platform/codepage.h"
#include "platform/file_dialog.h"
#include "platform/file_ops.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/local_install.h"
#include "tasks/route_book_set.h"

namespace {

using platform::FileDialogRequest;

// Why `name` cannot become a new route book on the navigator, or nothing when it can.
std::optional<std::string> nameProblem(DeviceManager& device, const std::string& name) {
    if (std::optional<std::string> problem = routeBookNameProblem(device, name)) return problem;
    if (routeBookListed(device, name)) return "导航仪上已经有名为" + quoted(name) + "的路书。";
    return std::nullopt;
}

constexpr const char* kBusy = "程序暂时很忙，请稍候再试！";

}  // namespace

std::optional<std::string> routeBookNameProblem(DeviceManager& device, const std::string& name) {
    // A list not read yet is read now, as connToPDA reads it.
    if (device.routeBooks.use([](const RouteBookEntries& list) { return list.empty(); }))
        scanRouteBooks(device);
    // The import's item text turns "&" into "%" and never back in the name.
    if (name.find('&') != std::string::npos || !isRouteBookFileName(device.dataRoot, name))
        return quoted(name) +
               "不能作为导航仪上的路书名称：不能有 & \\ / : * ? \" < > | "
               "这些字符，结尾不能是点或空格。";
    if (!installationFits(device.dataRoot, name))
        return quoted(name) + "作为导航仪上的路书名称太长。";
    return std::nullopt;
}

bool routeBookListed(DeviceManager& device, const std::string& name) {
    return device.routeBooks.use([&](const RouteBookEntries& list) {
        for (const auto& entry : list)
            if (sameDeviceName(entry->fileName, name)) return true;
        return false;
    });
}

std::string installPackageFromPC(DeviceManager& device, const std::string& name) {
    if (!isTaskIdle(device)) return pcFileRefused({}, kBusy);
    std::string outcome;
    std::optional<std::string> path =
        chooseToOpen(device.seat, "安装电脑上的路书包", "路书包", "zip", outcome);
    if (!path) return outcome;
    const std::string file = fileNameOf(*path);
    std::optional<std::string> inner = packageInnerName(*path);
    if (!inner) return pcFileRefused(file, quoted(file) + "不是路书包，或者读不出来。");
    const std::string routeName = name.empty() ? *inner : name;
    if (std::optional<std::string> problem = nameProblem(device, routeName))
        return pcFileRefused(file, *problem);
    startLocalInstall(device, device, {routeName, *path, nullptr});
    return pcFileAnswer({"started", file, routeName, {}});
}

std::optional<std::string> gpxRefusal(const GpxRouteBook& read, const std::string& file) {
    switch (read.outcome) {
        case GpxRouteBook::Outcome::Unreadable:
            return quoted(file) + "读不出来。";
        case GpxRouteBook::Outcome::NotGpx:
            return quoted(file) + "不是能读的 GPX 文件：" + platform::ansiToUtf8(read.error);
        case GpxRouteBook::Outcome::NoPoints:
            return quoted(file) +
                   "里没有导航仪能保存的轨迹点：导航仪只保存东经 0.001 度以东、北纬 0.00001 "
                   "度以北的点。";
        case GpxRouteBook::Outcome::Read:
            break;
    }
    return std::nullopt;
}

std::string droppedPointsNote(size_t dropped) {
    return std::to_string(dropped) +
           " 个轨迹点在东经 0.001 度以西或北纬 0.00001 度以南，导航仪不能保存";
}

std::string installGpxFromPC(DeviceManager& device, const std::string& name) {
    if (!isTaskIdle(device)) return pcFileRefused({}, kBusy);
    std::string outcome;
    std::optional<std::string> path =
        chooseToOpen(device.seat, "把 GPX 文件放到导航仪上", "GPX 文件", "gpx", outcome);
    if (!path) return outcome;
    const std::string file = fileNameOf(*path);
    const std::string routeName = name.empty() ? baseNameOf(*path) : name;
    if (std::optional<std::string> problem = nameProblem(device, routeName))
        return pcFileRefused(file, *problem);
    if (platform::privateFolder().empty()) return pcFileRefused(file, "临时文件夹里写不进文件。");
    GpxRouteBook read = readGpxRouteBook(*path, routeName);
    if (std::optional<std::string> refusal = gpxRefusal(read, file))
        return pcFileRefused(file, *refusal);
    PcFileOutcome started{"started", file, routeName, {}};
    started.dropped = read.dropped;
    if (read.dropped > 0) started.message = droppedPointsNote(read.dropped) + "，没有放上去。";
    startLocalInstall(device, device, {routeName, {}, read.book});
    return pcFileAnswer(started);
}

std::string saveGpxToPC(DeviceManager& device, const std::string& rbid) {
    std::optional<std::string> name = fileNameAt(device, atoiSaturated(rbid));
    if (!name) return pcFileRefused({}, "导航仪上没有这个路书，请刷新路书列表。");
    std::string outcome;
    std::optional<std::string> path =
        askForPcFile(device.seat,
                     {FileDialogRequest::Kind::Save, platform::utf8ToAnsi("把路书存成 GPX 文件"),
                      platform::utf8ToAnsi("GPX 文件"), "gpx", *name + ".gpx"},
                     outcome);
    if (!path) return outcome;
    const std::string file = fileNameOf(*path);
    std::optional<std::string> text =
        routeBookGpx(device, *name, std::string("vantu ") + build_config::kVersion);
    if (!text) return pcFileRefused(file, "路书读取失败。");
    // Written whole beside the program's files first: a file the user chose to replace is
    // never left cut short.
    const std::string copy = platform::privateFile("saved.gpx");
    platform::OsError error;
    bool saved = !copy.empty() && platform::writeWholeFile(copy, *text, &error) &&
                 platform::replaceWithCopy(copy, *path, &error);
    platform::deleteFile(copy);
    if (!saved) return pcFileRefused(file, quoted(file) + "写不进去。", error);
    return pcFileAnswer({"saved", file, *name, "路书已存成" + quoted(file) + "。"});
}

namespace {

// The user's choice of a backup to write or read, or the outcome that ends the method.
std::optional<std::string> chooseBackup(Seat& seat, FileDialogRequest::Kind kind,
                                        const std::string& name, std::string& outcome) {
    const bool save = kind == FileDialogRequest::Kind::Save;
    return askForPcFile(
        seat,
        {kind, platform::utf8ToAnsi(save ? "把导航仪备份到电脑上" : "恢复导航仪的备份"),
         platform::utf8ToAnsi("导航仪备份"), "zip",
         name.empty() ? platform::utf8ToAnsi("导航仪备份.zip") : name},
        outcome);
}

void appendKept(std::string& out, const std::vector<std::string>& names) {
    for (const std::string& name : names)
        out += "<kept>" + xmlEscapeUnicode(name) + "</kept>";
}

const char* backupState(const DeviceManager& device, const PcBackup& last) {
    if (!last.outcome) return "none";
    if (!isTaskIdle(device)) return "running";
    if (last.outcome->finished) return "finished";
    return last.outcome->stopped ? "stopped" : "failed";
}

}  // namespace

std::string backupToPC(DeviceManager& device, PcBackup& last, const std::string& name) {
    if (!isTaskIdle(device)) return pcFileRefused({}, kBusy);
    std::string outcome;
    std::optional<std::string> path =
        chooseBackup(device.seat, FileDialogRequest::Kind::Save, name, outcome);
    if (!path) return outcome;
    last = {false, *path, std::make_shared<BackupOutcome>(), nullptr};
    startBackup(device, device, *path, last.outcome);
    return pcFileAnswer({"started", fileNameOf(*path), {}, {}});
}

std::string restoreFromPC(DeviceManager& device, PcBackup& last, const std::string& choice) {
    if (choice == "replace" || choice == "keep") {
        if (!last.question || !last.question->answer(choice == "replace"))
            return pcFileRefused({}, "请先选择要恢复的备份。");
        return pcFileAnswer({"started", fileNameOf(last.archive), {}, {}});
    }
    if (!isTaskIdle(device)) return pcFileRefused({}, kBusy);
    std::string outcome;
    std::optional<std::string> path =
        chooseBackup(device.seat, FileDialogRequest::Kind::Open, {}, outcome);
    if (!path) return outcome;
    last = {true, *path, std::make_shared<BackupOutcome>(), std::make_shared<SeatQuestion>()};
    // The page is asked about the files that differ while the restore waits for its answer.
    ReplaceQuestion replace = [&device, question = last.question](const auto& names) {
        return question->ask(device.seat, names, [&device] { return device.stopRequested != 0; });
    };
    startRestore(device, device, last.archive, replace, last.outcome);
    return pcFileAnswer({"started", fileNameOf(last.archive), {}, {}});
}

std::string backupOutcome(const DeviceManager& device, const PcBackup& last) {
    const char* state = backupState(device, last);
    std::string out = std::string("<backup kind=\"") + (last.restore ? "restore" : "backup") +
                      "\" state=\"" + state + "\" file=\"" + xmlEscape(fileNameOf(last.archive)) +
                      "\"";
    // The worker writes the outcome while it runs: read only once it has ended. Meanwhile the
    // files it asks about are those it keeps unless the page answers "replace".
    if (!last.outcome || std::string(state) == "running") {
        std::vector<std::string> asked;
        if (last.question) asked = last.question->items();
        if (asked.empty()) return out + "/>";
        out += ">";
        appendKept(out, asked);
        return out + "</backup>";
    }
    const BackupOutcome& done = *last.outcome;
    out += " files=\"" + std::to_string(done.files) + "\" unchanged=\"" +
           std::to_string(done.unchanged) + "\" replaced=\"" +
           std::to_string(done.replaced.size()) + "\">";
    appendKept(out, done.kept);
    for (const LeftOut& left : done.leftOut)
        out += "<left why=\"" + xmlEscapeUnicode(left.why) + "\">" + xmlEscapeUnicode(left.name) +
               "</left>";
    if (!done.problem.empty()) out += "<problem>" + xmlEscapeUnicode(done.problem) + "</problem>";
    return out + "</backup>";
}
