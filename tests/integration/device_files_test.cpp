#include "device/device_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <future>
#include <optional>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/native_path.h"
#include "support/navsim_harness.h"
#include "support/os_faults.h"

namespace {

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

class DeviceFilesTest : public ::testing::Test {
  protected:
    DeviceFilesTest() { rapi.openRemoteLink(); }

    SimulatedDevice device;
    RapiBinding rapi;
    TempDir pc;
};

TEST_F(DeviceFilesTest, CopiesMoveWholeFilesInChunksOf2000Bytes) {
    struct Case {
        size_t size;
        int writes;  // CeWriteFile calls to the device
        int reads;   // CeReadFile calls from the device: the last one short or empty
    };
    for (Case c : {Case{0, 0, 1}, Case{2000, 1, 2}, Case{4000, 2, 3}, Case{4001, 3, 3}}) {
        SCOPED_TRACE(c.size);
        std::string bytes = pattern(c.size);
        writeFileBytes(pc.file("up.bin"), bytes);
        device.sim.control("reset");
        ASSERT_EQ(copyToDevice(rapi, pc.file("up.bin"), "\\Storage Card\\up.bin"), 1);
        EXPECT_EQ(device.sim.calls("CeWriteFile"), c.writes);
        EXPECT_EQ(readFileBytes(device.onCard("up.bin")), bytes);

        ASSERT_EQ(copyFromDevice(rapi, "\\Storage Card\\up.bin", pc.file("down.bin")), 1);
        EXPECT_EQ(device.sim.calls("CeReadFile"), c.reads);
        EXPECT_EQ(readFileBytes(pc.file("down.bin")), bytes);
        EXPECT_EQ(device.sim.calls("CeCloseHandle"), 2);
    }
}

TEST_F(DeviceFilesTest, TheDeviceFileIsStampedBeforeAnyDataIsWritten) {
    struct FixedClock : platform::Clock {
        platform::FileTime utcNow() const override { return 130000000000000000ULL; }
    } clock;
    platform::setClock(&clock);
    writeFileBytes(pc.file("empty"), "");
    int result = copyToDevice(rapi, pc.file("empty"), "\\Storage Card\\empty");
    platform::setClock(nullptr);
    ASSERT_EQ(result, 1);
    auto found = findDeviceFiles(rapi, "\\Storage Card\\empty");
    ASSERT_TRUE(found && found->size() == 1);
    EXPECT_EQ((*found)[0].lastWriteTime, 130000000000000000ULL);
    EXPECT_EQ((*found)[0].size, 0u);
}

TEST_F(DeviceFilesTest, FailuresPartWayAreReported) {
    writeFileBytes(device.onCard("big"), pattern(4001));
    device.sim.fail("read", 2);
    EXPECT_EQ(copyFromDevice(rapi, "\\Storage Card\\big", pc.file("big.copy")), 0);
    EXPECT_EQ(readFileBytes(pc.file("big.copy")), pattern(2000));

    // Nothing to open: no local file is made, nothing is created on the device.
    EXPECT_EQ(copyFromDevice(rapi, "\\Storage Card\\missing", pc.file("none")), 0);
    EXPECT_FALSE(platform::fileExists(pc.file("none")));
    EXPECT_EQ(copyToDevice(rapi, pc.file("missing"), "\\Storage Card\\x"), 0);
    EXPECT_EQ(copyToDevice(rapi, pc.file("big.copy"), "\\Storage Card\\no folder\\x"), 0);
    EXPECT_FALSE(platform::fileExists(device.onCard("x")));
}

// A device file is either the old one or the whole new one, whatever step of the copy fails, and
// nothing is left beside it.
TEST_F(DeviceFilesTest, ADeviceFileIsReplacedOnlyByACompleteCopy) {
    const std::string newBytes = pattern(4001);
    writeFileBytes(pc.file("new"), newBytes);
    struct Case {
        const char* label;
        const char* fault;
        int at;
        bool existed;
    } cases[] = {
        {"write fails part way", "write", 2, true},
        {"the first write fails", "write", 1, true},
        {"the copy cannot be created", "create", 1, true},
        {"the old file cannot step aside", "move", 1, true},
        {"the new file cannot take its place", "move", 2, true},
        {"write fails, no file before", "write", 2, false},
        {"the new file cannot be put in place, no file before", "move", 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove_all(nativePath(device.onCard("poi")));
        platform::createFolder(device.onCard("poi"));
        if (c.existed) writeFileBytes(device.onCard("poi/address.poi"), "old store");
        device.sim.control("reset");
        device.sim.fail(c.fault, c.at);
        EXPECT_EQ(copyToDevice(rapi, pc.file("new"), "\\Storage Card\\poi\\address.poi"), 0);
        std::map<std::string, std::string> expected;
        if (c.existed) expected["address.poi"] = "old store";
        EXPECT_EQ(treeOf(device.onCard("poi/")), expected);
        // The next copy goes through.
        ASSERT_EQ(copyToDevice(rapi, pc.file("new"), "\\Storage Card\\poi\\address.poi"), 1);
        EXPECT_EQ(treeOf(device.onCard("poi/")),
                  (std::map<std::string, std::string>{{"address.poi", newBytes}}));
    }
}

// The same on the navigator's drive, where the PC's own file system refuses.
TEST_F(DeviceFilesTest, OnTheDriveAFailingSystemKeepsTheOldFile) {
    const std::string newBytes = pattern(70000);
    Replacement replacement;
    size_t given = 0;
    replacement.source = [&](char* buffer, size_t n) -> std::optional<size_t> {
        size_t part = std::min(n, newBytes.size() - given);
        newBytes.copy(buffer, part, given);
        given += part;
        return part;
    };
    platform::createFolder(pc.file("poi"));
    const std::string store = pc.file("poi/address.poi");
    for (test::OsFault fault : test::kOsFaults) {
        SCOPED_TRACE(test::nameOf(fault));
        writeFileBytes(store, "old store");
        given = 0;
        {
            test::ScopedOsFault failing(fault, store);
            EXPECT_EQ(replaceNavigatorFile(rapi, store, replacement), 0);
        }
        EXPECT_EQ(treeOf(pc.file("poi/")),
                  (std::map<std::string, std::string>{{"address.poi", "old store"}}));
    }
}

// A replacement cut off (the link dropped) between its moves left the file under the parked
// name: the next copy brings it back before anything else, or clears a spare one.
TEST_F(DeviceFilesTest, AReplacementCutOffIsMadeGoodByTheNextCopy) {
    writeFileBytes(pc.file("new"), "new");
    struct Case {
        const char* label;
        std::map<std::string, std::string> before;
        int fault;  // the move that fails in the next copy, 0 none
        std::map<std::string, std::string> after;
    } cases[] = {
        {"parked, nothing in place", {{"f~vo", "old"}}, 0, {{"f", "new"}}},
        {"parked and in place", {{"f", "current"}, {"f~vo", "spare"}}, 0, {{"f", "new"}}},
        {"parked, and the next copy fails", {{"f~vo", "old"}}, 2, {{"f", "old"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove_all(nativePath(device.onCard("d")));
        platform::createFolder(device.onCard("d"));
        for (const auto& [name, bytes] : c.before)
            writeFileBytes(device.onCard("d/" + name), bytes);
        device.sim.control("reset");
        if (c.fault) device.sim.fail("move", c.fault);
        EXPECT_EQ(copyToDevice(rapi, pc.file("new"), "\\Storage Card\\d\\f"), c.fault ? 0 : 1);
        EXPECT_EQ(treeOf(device.onCard("d/")), c.after);
    }
}

TEST_F(DeviceFilesTest, FoldersAndSingleFiles) {
    const std::string folder = platform::utf8ToAnsi("\\Storage Card\\新建");
    EXPECT_EQ(deviceCreateFolder(rapi, folder), 1);
    EXPECT_TRUE(platform::folderExists(device.onCard(platform::utf8ToAnsi("新建"))));
    EXPECT_EQ(deviceCreateFolder(rapi, folder), 0);
    writeFileBytes(device.onCard("a.trk"), "a");
    writeFileBytes(device.onCard("b.trk"), "b");
    EXPECT_EQ(deviceMoveFile(rapi, "\\Storage Card\\a.trk", "\\Storage Card\\b.trk"), 0);
    EXPECT_EQ(readFileBytes(device.onCard("b.trk")), "b");
    EXPECT_EQ(deviceMoveFile(rapi, "\\Storage Card\\a.trk", "\\Storage Card\\c.trk"), 1);
    EXPECT_EQ(deviceDeleteFile(rapi, "\\Storage Card\\c.trk"), 1);
    EXPECT_EQ(deviceDeleteFile(rapi, "\\Storage Card\\c.trk"), 0);
    EXPECT_EQ(deviceRemoveFolder(rapi, folder), 1);
    EXPECT_FALSE(platform::folderExists(device.onCard(platform::utf8ToAnsi("新建"))));

    device.sim.control("store", "64000000 1500000");
    auto store = deviceStoreInformation(rapi);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->storeSize, 64000000u);
    EXPECT_EQ(store->freeSize, 1500000u);
}

// A route book's file set with distinct contents, below `folder` (local).
void makeSet(const std::string& folder, const std::string& name, bool companions) {
    const char sep = platform::kPathSeparator;
    writeFileBytes(folder + name + ".trk", name + " track");
    platform::createFolder(folder + name);
    writeFileBytes(folder + name + sep + name + ".rut", name + " route");
    if (companions) {
        writeFileBytes(folder + name + ".sim", name + " sim");
        writeFileBytes(folder + name + sep + name + ".tps", name + " tps");
    }
}

TEST_F(DeviceFilesTest, RenameRouteBookInBothModes) {
    struct Case {
        const char* label;
        bool companions;
        bool targetExists;
        std::map<std::string, std::string> expectDevice;
        std::map<std::string, std::string> expectDrive;
    };
    const std::map<std::string, std::string> renamed = {{"B.trk", "A track"},
                                                        {"B.sim", "A sim"},
                                                        {"B", "<dir>"},
                                                        {"B/B.rut", "A route"},
                                                        {"B/B.tps", "A tps"}};
    const std::map<std::string, std::string> renamedBare = {
        {"B.trk", "A track"}, {"B", "<dir>"}, {"B/B.rut", "A route"}};
    const std::map<std::string, std::string> bothB = {{"B.trk", "B track"},
                                                      {"B.sim", "B sim"},
                                                      {"B", "<dir>"},
                                                      {"B/B.rut", "B route"},
                                                      {"B/B.tps", "B tps"}};
    auto merged = [&](std::map<std::string, std::string> a) {
        a.insert(bothB.begin(), bothB.end());
        return a;
    };
    const auto untouched = merged({{"A.trk", "A track"},
                                   {"A.sim", "A sim"},
                                   {"A", "<dir>"},
                                   {"A/A.rut", "A route"},
                                   {"A/A.tps", "A tps"}});
    // Onto an existing route book nothing is replaced, and the set keeps its old name whole.
    Case cases[] = {
        {"full set", true, false, renamed, renamed},
        {"no .sim and .tps", false, false, renamedBare, renamedBare},
        {"onto an existing name", true, true, untouched, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir drive;
        std::string deviceFolder = device.onCard("track/");
        std::filesystem::remove_all(nativePath(deviceFolder));
        platform::createFolder(deviceFolder);
        for (const std::string& folder : {deviceFolder, drive.path()}) {
            makeSet(folder, "A", c.companions);
            if (c.targetExists) makeSet(folder, "B", true);
        }
        const int result = c.targetExists ? 0 : 1;
        EXPECT_EQ(renameRouteBook(rapi, "\\Storage Card\\track\\", "A", "B"), result);
        EXPECT_EQ(renameRouteBook(rapi, drive.path(), "A", "B"), result);
        EXPECT_EQ(treeOf(deviceFolder), c.expectDevice);
        EXPECT_EQ(treeOf(drive.path()), c.expectDrive);
    }
}

TEST_F(DeviceFilesTest, EnumerationGivesNamesAttributesAndNothingForNoMatch) {
    makeFolders(device.card(), "userdata/track");
    writeFileBytes(device.onCard(platform::utf8ToAnsi("userdata/track/路书.trk")), "12345");
    auto found = findDeviceFiles(rapi, "\\Storage Card\\userdata\\track\\*.TRK");
    ASSERT_TRUE(found);
    ASSERT_EQ(found->size(), 1u);
    EXPECT_EQ((*found)[0].name, platform::utf8ToAnsi("路书.trk"));
    EXPECT_EQ((*found)[0].size, 5u);
    EXPECT_EQ((*found)[0].attributes, platform::kAttrArchive);
    auto root = findDeviceFilesWide(rapi, u"\\*");
    ASSERT_TRUE(root);
    ASSERT_EQ(root->size(), 1u);
    EXPECT_EQ((*root)[0].attributes, platform::kAttrDirectory | platform::kAttrTemporary);
    EXPECT_FALSE(findDeviceFiles(rapi, "\\Storage Card\\userdata\\track\\*.poi"));
    EXPECT_EQ(device.sim.calls("CeFindClose"), 2);
}

// The simulator remembers the names of the folders it looked into: whatever changes a folder
// afterwards, from outside or through the device, a name in another letter case still finds its
// file, and a name that has gone finds nothing.
TEST_F(DeviceFilesTest, NamesInAnotherLetterCaseFollowEveryChangeOfTheFolder) {
    namespace fs = std::filesystem;
    const fs::path d = nativePath(device.onCard("d"));
    struct Step {
        const char* label;
        std::function<void()> change;
        const char* asked;
        std::optional<std::string> found;
    } steps[] = {
        {"made outside", [&] { writeFileBytes(device.onCard("d/Mixed.TXT"), "1"); }, "mixed.txt",
         "1"},
        {"renamed outside", [&] { fs::rename(d / "Mixed.TXT", d / "Other.txt"); }, "MIXED.TXT",
         std::nullopt},
        {"the new name", [] {}, "other.TXT", "1"},
        {"the folder made anew",
         [&] {
             fs::remove_all(d);
             makeFolders(device.card(), "d");
             writeFileBytes(device.onCard("d/Again.txt"), "2");
         },
         "again.txt", "2"},
        {"made through the device",
         [&] { copyToDevice(rapi, pc.file("up"), "\\Storage Card\\d\\Made.txt"); }, "MADE.txt",
         "3"},
    };
    writeFileBytes(pc.file("up"), "3");
    makeFolders(device.card(), "d");
    // Asked for a name that is not there, the simulator takes the folder's names in.
    EXPECT_EQ(copyFromDevice(rapi, "\\Storage Card\\d\\none", pc.file("down")), 0);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.label);
        s.change();
        platform::deleteFile(pc.file("down"));
        bool copied = copyFromDevice(rapi, std::string("\\Storage Card\\d\\") + s.asked,
                                     pc.file("down")) == 1;
        EXPECT_EQ(copied, s.found.has_value());
        EXPECT_EQ(copied ? readFileBytes(pc.file("down")) : "", s.found.value_or(""));
    }
#ifndef _WIN32
    // Two spellings of one name stand side by side only where letter case counts: with the one
    // the simulator found removed, it finds the other.
    writeFileBytes(device.onCard("d/Twin.txt"), "4");
    writeFileBytes(device.onCard("d/TWIN.TXT"), "5");
    ASSERT_EQ(copyFromDevice(rapi, "\\Storage Card\\d\\twin.txt", pc.file("down")), 1);
    const bool first = readFileBytes(pc.file("down")) == "4";
    fs::remove(d / (first ? "Twin.txt" : "TWIN.TXT"));
    ASSERT_EQ(copyFromDevice(rapi, "\\Storage Card\\d\\tWIN.txt", pc.file("down")), 1);
    EXPECT_EQ(readFileBytes(pc.file("down")), first ? "5" : "4");
#endif
}

TEST_F(DeviceFilesTest, TwoThreadsUseTheDeviceAtOnce) {
    const std::string bytes = pattern(4001);
    writeFileBytes(pc.file("source"), bytes);
    auto work = [&](int thread) {
        bool ok = true;
        for (int i = 0; i < 20; ++i) {
            std::string name = "f" + std::to_string(thread) + "_" + std::to_string(i);
            std::string back = pc.file("back" + std::to_string(thread));
            ok = copyToDevice(rapi, pc.file("source"), "\\Storage Card\\" + name) == 1 &&
                 copyFromDevice(rapi, "\\Storage Card\\" + name, back) == 1 &&
                 readFileBytes(back) == bytes && findDeviceFiles(rapi, "\\Storage Card\\*") && ok;
        }
        return ok;
    };
    auto other = std::async(std::launch::async, work, 1);
    EXPECT_TRUE(work(0));
    EXPECT_TRUE(other.get());
}

}  // namespace
