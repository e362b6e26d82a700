#include "device/device_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "device/link_watch.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/eventually.h"
#include "support/navsim_harness.h"
#include "support/recording_seat.h"

namespace {

// The same storage layouts on a removable drive and on the device's storage card.
struct Layout {
    const char* label;
    std::vector<std::string> folders;  // relative to the storage root, '/'-separated
    const char* found;                 // the track folder expected, or null
};

const std::string kLongName(240, 'n');

const Layout kLayouts[] = {
    {"direct", {"UserData/Track"}, "UserData/Track"},
    {"deeper track", {"userdata/maps/track"}, "userdata/maps/track"},
    {"direct child before descent", {"userdata/deep/track", "userdata/track"}, "userdata/track"},
    {"userdata at the root first", {"a/userdata/track", "userdata/x/track"}, "userdata/x/track"},
    {"userdata without track passed over",
     {"userdata/maps", "other/userdata/track"},
     "other/userdata/track"},
    {"nested userdata", {"userdata/userdata/track"}, "userdata/userdata/track"},
    {"names starting with a dot", {".userdata/track", "userdata/.track"}, nullptr},
    {"nothing", {"usr/track", "data"}, nullptr},
    {"a path that would not fit is passed over",
     {"userdata/" + kLongName + "/track", "x/userdata/track"},
     "x/userdata/track"},
};

std::string withSeparator(std::string relative, char separator) {
    for (char& c : relative)
        if (c == '/') c = separator;
    return relative + separator;
}

TEST(StorageDiscoveryTest, RemovableDriveLayouts) {
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.label);
        TempDir empty, drive;
        for (const std::string& f : layout.folders)
            makeFolders(drive.path(), f);
        // Drive roots as the system gives them: without a trailing separator.
        std::string root = drive.path().substr(0, drive.path().size() - 1);
        std::string emptyRoot = empty.path().substr(0, empty.path().size() - 1);
        platform::setRemovableDrivesForTesting(std::vector<std::string>{emptyRoot, root});
        std::string out = "stale";
        int result = findOnRemovableDrives(out, "userdata", "track");
        if (layout.found) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(out, drive.path() + withSeparator(layout.found, platform::kPathSeparator));
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(out, "");
        }
    }
    platform::setRemovableDrivesForTesting(std::vector<std::string>{});
}

#ifdef _WIN32
// Through the system's own drive list: scripts/test-windows.sh presents a folder as the
// removable drive it names in VANTU_TEST_REMOVABLE_DRIVE.
TEST(StorageDiscoveryTest, ANavigatorOnARemovableDriveOfTheSystemIsFound) {
    const char* letter = std::getenv("VANTU_TEST_REMOVABLE_DRIVE");
    if (letter == nullptr) GTEST_SKIP() << "no removable drive set up";
    platform::setRemovableDrivesForTesting(std::nullopt);
    const std::string root = std::string(letter) + "\\";
    std::string out;
    EXPECT_EQ(findOnRemovableDrives(out, "userdata", "track"), 0) << "an empty drive";
    makeFolders(root, "userdata/track");
    EXPECT_EQ(findOnRemovableDrives(out, "userdata", "track"), 1);
    EXPECT_EQ(out, root + "userdata\\track\\");
    EXPECT_TRUE(platform::removeTree(root + "userdata"));
    platform::setRemovableDrivesForTesting(std::vector<std::string>{});
}
#endif

TEST(StorageDiscoveryTest, DeviceLayouts) {
    SimulatedDevice device;
    RapiBinding rapi;
    ASSERT_EQ(rapi.openRemoteLink(), 1);
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.label);
        // One storage card per layout: a fresh root with a "Storage Card" folder.
        TempDir root;
        makeFolders(root.path(), "Storage Card");
        for (const std::string& f : layout.folders)
            makeFolders(root.path(), "Storage Card/" + f);
        device.sim.setRoot(root.path());
        std::string out;
        int result = findOnDevice(rapi, out, u"userdata", u"track");
        if (layout.found) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(out, "\\Storage Card\\" + withSeparator(layout.found, '\\'));
        } else {
            EXPECT_EQ(result, 0);
        }
    }
}

TEST(StorageDiscoveryTest, OnlyMountedStorageAndExactFolderAttributesCount) {
    SimulatedDevice device;
    RapiBinding rapi;
    ASSERT_EQ(rapi.openRemoteLink(), 1);
    makeFolders(device.root.path(), "My Documents/userdata/track");
    std::string out;
    EXPECT_EQ(findOnDevice(rapi, out, u"userdata", u"track"), 0);

    makeFolders(device.card(), "userdata/track");
    makeFolders(device.card(), "b/userdata/track");
    EXPECT_EQ(findOnDevice(rapi, out, u"userdata", u"track"), 1);
    EXPECT_EQ(out, "\\Storage Card\\userdata\\track\\");
    // Read-only, hidden, system or archive besides "directory": the folder is passed over.
    for (const char* attrs : {"0x11", "0x12", "0x14", "0x30"}) {
        SCOPED_TRACE(attrs);
        device.sim.control("reset");
        device.sim.control("attributes", std::string("\\Storage Card\\userdata=") + attrs);
        EXPECT_EQ(findOnDevice(rapi, out, u"userdata", u"track"), 1);
        EXPECT_EQ(out, "\\Storage Card\\b\\userdata\\track\\");
        device.sim.control("reset");
        device.sim.control("attributes",
                           std::string("\\Storage Card\\b\\userdata\\track=") + attrs);
        device.sim.control("attributes", std::string("\\Storage Card\\userdata\\track=") + attrs);
        EXPECT_EQ(findOnDevice(rapi, out, u"userdata", u"track"), 0);
    }
    // A root folder that is not flagged as mounted storage is never searched.
    device.sim.control("reset");
    device.sim.control("attributes", "\\Storage Card=0x10");
    EXPECT_EQ(findOnDevice(rapi, out, u"userdata", u"track"), 0);
}

class ConnectionTest : public ::testing::Test {
  protected:
    SimulatedDevice device;
    RecordingSeat seat;
    DeviceManager manager{seat};
    TempDir drive;

    void attachDrive() {
        std::string root = drive.path().substr(0, drive.path().size() - 1);
        platform::setRemovableDrivesForTesting(std::vector<std::string>{root});
    }
};

TEST_F(ConnectionTest, TheDriveWinsOverTheRemoteApi) {
    makeFolders(device.card(), "userdata/track");
    makeFolders(drive.path(), "UserData/Track");
    attachDrive();
    EXPECT_EQ(checkConnection(manager), 1);
    EXPECT_EQ(manager.mode, RemovableDrive);
    EXPECT_EQ(manager.dataRoot, drive.file("UserData/Track/"));
    EXPECT_EQ(isConnected(manager), 1);
}

TEST_F(ConnectionTest, ACachedRootCostsOneProbeWhileItStays) {
    makeFolders(device.card(), "userdata/track");
    ASSERT_EQ(checkConnection(manager), 1);
    EXPECT_EQ(manager.mode, RapiDevice);
    EXPECT_EQ(manager.dataRoot, "\\Storage Card\\userdata\\track\\");
    device.sim.control("reset");
    EXPECT_EQ(checkConnection(manager), 1);
    EXPECT_EQ(device.sim.calls("CeCreateFile"), 1);
    EXPECT_EQ(device.sim.calls("CeCloseHandle"), 1);
    EXPECT_EQ(device.sim.calls("CeDeleteFile"), 1);
    EXPECT_EQ(device.sim.calls(), 3);
    EXPECT_FALSE(platform::fileExists(device.onCard("userdata/track/aaa.dat")));

    // The card goes and comes back in another place: the probe fails, the search finds it.
    makeFolders(device.card(), "Other/UserData/Track");
    platform::createFolder(device.card() + "old");
    ASSERT_TRUE(platform::moveNoReplace(device.onCard("userdata"), device.onCard("old/x")));
    EXPECT_EQ(checkConnection(manager), 1);
    EXPECT_EQ(manager.dataRoot, "\\Storage Card\\Other\\UserData\\Track\\");
}

TEST_F(ConnectionTest, AFailedCheckForgetsTheRootAndTheRouteBooks) {
    makeFolders(drive.path(), "userdata/track");
    attachDrive();
    ASSERT_EQ(checkConnection(manager), 1);
    manager.routeBooks.use([](RouteBookEntries& list) {
        list.push_back(std::make_unique<RouteBookEntry>(RouteBookEntry{"t", "f"}));
    });
    platform::setRemovableDrivesForTesting(std::vector<std::string>{});
    ASSERT_TRUE(platform::removeFolder(drive.file("userdata/track")));
    EXPECT_EQ(checkConnection(manager), 0);
    EXPECT_EQ(manager.mode, NotConnected);
    EXPECT_EQ(manager.connected, 0);
    EXPECT_EQ(manager.dataRoot, "");
    EXPECT_TRUE(manager.routeBooks.use([](const RouteBookEntries& list) { return list.empty(); }));

    // A device that does not answer the link start counts as absent; the next check tries anew.
    makeFolders(device.card(), "userdata/track");
    device.sim.control("link", "never");
    EXPECT_EQ(checkConnection(manager), 0);
    device.sim.control("link", "up");
    EXPECT_EQ(checkConnection(manager), 1);
    EXPECT_EQ(manager.mode, RapiDevice);
}

// The window's link is kept by a watch. A search without a navigator only looks at the link the
// watch started; a navigator that comes later is found once a device change has restarted it.
TEST_F(ConnectionTest, AWatchedLinkIsOnlyLookedAtAndADeviceChangeBringsTheNavigator) {
    device.sim.setRoot("");
    watchRemoteLink(manager, seat);
    ASSERT_TRUE(eventually([&] { return device.sim.calls("CeRapiInitEx") == 1; }));

    // Not a speed claim (the benchmark makes those): the check must not wait for the link.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(checkConnection(manager), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(RapiBinding::kLinkWaitMilliseconds / 2));

    makeFolders(device.card(), "userdata/track");
    device.sim.setRoot(device.root.path());
    EXPECT_EQ(checkConnection(manager), 0) << "the link started without a navigator";
    EXPECT_EQ(device.sim.calls("CeRapiInitEx"), 1) << "a search starts no link";

    restartRemoteLink(manager);
    ASSERT_TRUE(eventually([&] { return !seat.events().empty(); }));
    EXPECT_EQ(seat.events()[0].kind, TaskEvent::Kind::DeviceLink);
    EXPECT_EQ(checkConnection(manager), 1);
    EXPECT_EQ(manager.dataRoot, "\\Storage Card\\userdata\\track\\");
}

}  // namespace
