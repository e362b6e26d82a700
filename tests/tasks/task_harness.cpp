#include "task_harness.h"

#include "ops/route_book_list.h"

#include <cstdlib>
#include <filesystem>

#include "app/page_messages.h"
#include "common/task_status.h"
#include "formats/track_file.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/native_path.h"
#include "support/zip_fixture.h"
#include "tasks/archive.h"
#include "tasks/http_transfer.h"

namespace {

#ifndef _WIN32
bool shell(const TempDir& dir, const std::string& command) {
    std::string line = "cd '" + platform::ansiToUtf8(dir.path()) + "' && " + command;
    return std::system(line.c_str()) == 0;
}
#endif

}  // namespace

std::string makePackage(const FileTree& files, PackageMaker maker) {
    TempDir dir;
    TempDir content;
    writeTree(content.path(), files);
    std::string package = dir.file("p.zip");
    switch (maker) {
        case PackageMaker::Own: {
            ArchiveWriter writer;
            EXPECT_TRUE(writer.open(package, content.path()));
            for (const auto& [path, bytes] : files)
                if (bytes != "<dir>") {
                    EXPECT_TRUE(writer.addFile(content.file(path)));
                }
            EXPECT_TRUE(writer.close());
            break;
        }
        case PackageMaker::InfoZip:
#ifndef _WIN32
            EXPECT_TRUE(shell(content, "zip -q -r '" + platform::ansiToUtf8(package) + "' ."));
#else
            ADD_FAILURE() << "Info-ZIP's zip is not available under wine";
#endif
            break;
        case PackageMaker::SlashNamesNoFolders: {
            std::vector<ZipEntry> entries;
            for (const auto& [path, bytes] : files)
                if (bytes != "<dir>") {
                    entries.push_back(ZipEntry(path, bytes).deflated());
                }
            writeFileBytes(package, zipBytes(entries));
            break;
        }
    }
    return readFileBytes(package);
}

std::vector<PackageMaker> availablePackageMakers() {
#ifdef _WIN32
    return {PackageMaker::Own, PackageMaker::SlashNamesNoFolders};
#else
    return {PackageMaker::Own, PackageMaker::InfoZip, PackageMaker::SlashNamesNoFolders};
#endif
}

std::string trackBytes(int points) {
    TrackSegment segment;
    segment.lng = 11600000;
    segment.lat = 3900000;
    segment.lineId = 1;
    segment.steps.resize(static_cast<size_t>(points));
    for (int i = 0; i < points; ++i)
        segment.steps[static_cast<size_t>(i)] = {static_cast<int16_t>(i % 7), 3, 1000};
    return encodeTrackFile(kLongTrackVersion, {segment});
}

FileTree routeBookSet(const std::string& name, int trackPoints) {
    return {{name + ".trk", trackBytes(trackPoints)},
            {name + ".sim", "sim of " + name},
            {name + "/" + name + ".rut", "route of " + name},
            {name + "/" + name + ".tps", "tps of " + name}};
}

TaskHarness::TaskHarness() {
    device = std::make_unique<DeviceManager>(seat);
    setRouteBookServer(server.hostPort());
}

TaskHarness::~TaskHarness() {
    device.reset();
    setRouteBookServer(std::nullopt);
}

void TaskHarness::connect(Link how) {
    link = how;
    if (how == Link::Device) {
        makeFolders(simulated.card(), "userdata/track");
        device->rapi.openRemoteLink();
        device->mode = RapiDevice;
        device->dataRoot = "\\Storage Card\\userdata\\track\\";
    } else {
        makeFolders(drive.path(), "userdata/track");
        device->mode = RemovableDrive;
        device->dataRoot = drive.file("userdata/track/");
    }
    device->connected = 1;
}

void TaskHarness::fresh(Link how) {
    link = how;
    std::filesystem::remove_all(nativePath(onNavigator()));
    clearRouteBooks(*device);
    seat.clear();
    navsim().control("reset");
    navsim().control("store", "");
    connect(how);
}

std::string TaskHarness::onNavigator(const std::string& relative) const {
    return link == Link::Device ? simulated.onCard("userdata/track/" + relative)
                                : drive.file("userdata/track/" + relative);
}

std::string TaskHarness::inTemp(const std::string& relative) const {
    return platform::privateFolder() + relative;
}

void TaskHarness::addRouteBook(const std::string& name, const FileTree& files) {
    for (const auto& [path, bytes] : files) {
        if (bytes == "<dir>") {
            platform::createFolder(onNavigator(path));
            continue;
        }
        size_t slash = path.find('/');
        if (slash != std::string::npos) platform::createFolder(onNavigator(path.substr(0, slash)));
        writeFileBytes(onNavigator(path), bytes);
    }
    device->routeBooks.use([&](RouteBookEntries& list) {
        list.push_back(std::make_unique<RouteBookEntry>(RouteBookEntry{name, name}));
    });
}

std::vector<std::string> TaskHarness::listedNames() {
    return device->routeBooks.use([](const RouteBookEntries& list) {
        std::vector<std::string> names;
        for (const auto& e : list)
            names.push_back(e->fileName);
        return names;
    });
}

void TaskHarness::run(TaskOperation operation, const std::string& argument) {
    EXPECT_EQ(operation(*device, argument), "");
    EXPECT_TRUE(device->taskThread.waitIdle(std::chrono::seconds(60)));
}

std::string progressCall(int ordinal, const char* word) {
    return formatPageCall({"currentLushu", {std::to_string(ordinal), word}});
}

std::string statusCall(TaskStatus code, platform::OsCause cause) {
    auto call = pageCallFor(TaskEvent::ofStatus(code, cause));
    return call ? formatPageCall(*call) : "";
}

std::string beijing() {
    return platform::utf8ToAnsi("北京");
}
