#include "device/rapi_binding.h"

#include <gtest/gtest.h>

#include <thread>

#include "device/device_files.h"
#include "platform/files.h"
#include "support/file_tree.h"
#include "support/navsim_harness.h"

namespace {

// A library that is missing, and one that loads but lacks entry points the program calls.
TEST(RapiBindingTest, MissingLibraryOrEntryPointsFailWithoutAnyCall) {
    TempDir pc;
    writeFileBytes(pc.file("f"), "data");
    RapiBinding none("libno-such-remote-api.so");
    EXPECT_EQ(none.isLoaded(), 0);
    EXPECT_EQ(none.openRemoteLink(), 0);
    EXPECT_EQ(copyToDevice(none, pc.file("f"), "\\f"), 0);
    EXPECT_EQ(copyFromDevice(none, "\\f", pc.file("g")), 0);
    EXPECT_EQ(deviceCreateFolder(none, "\\d"), 0);
    EXPECT_EQ(deviceMoveFile(none, "\\a", "\\b"), 0);
    EXPECT_EQ(deviceDeleteFile(none, "\\a"), 0);
    EXPECT_EQ(deviceRemoveFolder(none, "\\d"), 0);
    EXPECT_EQ(renameRouteBook(none, "\\track\\", "a", "b"), 1);
    EXPECT_FALSE(findDeviceFiles(none, "\\*"));
    EXPECT_FALSE(deviceStoreInformation(none));

    // The partial simulator has no CeWriteFile, CeSetFileTime, CeMoveFile, CeGetStoreInformation
    // or CeRapiUninit.
    Navsim partial(partialSimulatorName());
    ASSERT_TRUE(partial.loaded());
    TempDir root;
    partial.setRoot(root.path());
    RapiBinding rapi(partialSimulatorName());
    ASSERT_EQ(rapi.isLoaded(), 1);
    EXPECT_EQ(rapi.openRemoteLink(), 1);
    EXPECT_EQ(copyToDevice(rapi, pc.file("f"), "\\f"), 0);
    EXPECT_TRUE(treeOf(root.path()).empty());  // the copy begun is taken away again
    writeFileBytes(root.file("f"), "device data");
    EXPECT_EQ(copyFromDevice(rapi, "\\f", pc.file("g")), 1);
    EXPECT_EQ(readFileBytes(pc.file("g")), "device data");
    EXPECT_EQ(deviceMoveFile(rapi, "\\f", "\\h"), 0);
    EXPECT_FALSE(deviceStoreInformation(rapi));
}

TEST(RapiBindingTest, ALinkStartThatDoesNotCompleteOrFailsIsNoLink) {
    SimulatedDevice device;
    RapiBinding rapi;
    EXPECT_EQ(rapi.openRemoteLink(), 1);
    EXPECT_EQ(device.sim.calls("CeRapiUninit"), 1);  // also before the first link
    device.sim.control("link", "error");
    EXPECT_EQ(rapi.openRemoteLink(), 0);
    device.sim.control("link", "never");
    EXPECT_EQ(rapi.openRemoteLink(), 0);  // after 2000 ms
    device.sim.control("link", "up");
    EXPECT_EQ(rapi.openRemoteLink(), 1);
}

// The simulator fails a call from any thread but the one that owns it, as the real
// device-connection software may: the test's threads reach it only through the binding.
TEST(RapiBindingTest, EveryCallIsMadeOnTheBindingsOwnThread) {
    SimulatedDevice device;
    writeFileBytes(device.onCard("f"), "data");
    RapiBinding rapi;
    ASSERT_EQ(rapi.openRemoteLink(), 1);
    std::thread worker([&rapi] { EXPECT_TRUE(findDeviceFiles(rapi, "\\Storage Card\\*")); });
    worker.join();
    EXPECT_TRUE(findDeviceFiles(rapi, "\\Storage Card\\*"));
    EXPECT_EQ(device.sim.calls("other thread"), 0);

    platform::Library library(platform::rapiLibraryName());
    auto deleteFile = library.function<decltype(&::CeDeleteFile)>("CeDeleteFile");
    ASSERT_NE(deleteFile, nullptr);
    EXPECT_EQ(deleteFile(u"\\Storage Card\\f"), 0);
    EXPECT_EQ(device.sim.calls("other thread"), 1);
    EXPECT_TRUE(platform::fileExists(device.onCard("f")));
}

}  // namespace
