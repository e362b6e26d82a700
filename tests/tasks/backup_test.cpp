#include "tasks/backup.h"

#include <zlib.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "app/page_messages.h"
#include "common/task_status.h"
#include "platform/codepage.h"
#include "platform/file_info.h"
#include "support/native_path.h"
#include "support/os_faults.h"
#include "support/zip_fixture.h"
#include "task_harness.h"
#include "tasks/archive.h"
#include "tasks/backup_manifest.h"

namespace {

using namespace std::chrono_literals;

std::string crcHex(const std::string& bytes) {
    char text[9];
    std::snprintf(
        text, sizeof text, "%08lx",
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    return text;
}

class BackupTest : public TaskHarness {
  protected:
    // The navigator's data folder (userdata), + relative.
    std::string inData(const std::string& relative = "") const {
        return link == Link::Device ? simulated.onCard("userdata/" + relative)
                                    : drive.file("userdata/" + relative);
    }
    // Everything a navigator keeps: route books, a recorded track, the places, settings.
    void fillNavigator() {
        addRouteBook(beijing(), routeBookSet(beijing()));
        addRouteBook("Day1", routeBookSet("Day1", 3000));
        writeFileBytes(onNavigator("Track0505.trk"), trackBytes(20));
        makeFolders(inData(), "poi");
        writeFileBytes(inData("poi/address.poi"), std::string(20, '\0') + "places");
        writeFileBytes(inData("settings.ini"), "[map]\nzoom=3\n");
        makeFolders(inData(), "voice/zh");
        writeFileBytes(inData("voice/zh/turn.wav"), std::string(5000, 'w'));
    }
    std::string backupFile() const { return programTemp.file("backup.zip"); }

    std::shared_ptr<BackupOutcome> backUp(const std::string& zip) {
        auto outcome = std::make_shared<BackupOutcome>();
        EXPECT_TRUE(startBackup(*device, *device, zip, outcome));
        EXPECT_TRUE(device->taskThread.waitIdle(60s));
        return outcome;
    }
    std::shared_ptr<BackupOutcome> restore(const std::string& zip, ReplaceQuestion replace = {}) {
        auto outcome = std::make_shared<BackupOutcome>();
        EXPECT_TRUE(startRestore(*device, *device, zip, std::move(replace), outcome));
        EXPECT_TRUE(device->taskThread.waitIdle(60s));
        return outcome;
    }
    // Nothing written to the navigator over the remote API.
    int deviceWrites() {
        return navsim().calls("CeWriteFile") + navsim().calls("CeCreateDirectory") +
               navsim().calls("CeDeleteFile") + navsim().calls("CeMoveFile") +
               navsim().calls("CeRemoveDirectory");
    }
};

TEST_F(BackupTest, BackupThenRestorePutsEveryFileBack) {
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        fillNavigator();
        const FileTree original = treeOf(inData());
        navsim().control("reset");
        auto backedUp = backUp(backupFile());
        ASSERT_TRUE(backedUp->finished) << backedUp->problem;
        EXPECT_EQ(backedUp->files, 12u);
        // The navigator is only read: no probe file, no write of any kind.
        EXPECT_EQ(treeOf(inData()), original);
        EXPECT_EQ(deviceWrites(), 0);
        std::vector<std::string> calls = pageCalls();
        ASSERT_EQ(calls.size(), 13u);
        EXPECT_EQ(calls[11], formatPageCall({"currentLushu", {"12"}}));
        EXPECT_EQ(calls[12], statusCall(TaskStatus::Done));

        // Files lost, one changed, one the backup never had.
        std::filesystem::remove_all(nativePath(onNavigator("Day1")));
        platform::deleteFile(onNavigator("Day1.trk"));
        platform::deleteFile(inData("poi/address.poi"));
        writeFileBytes(inData("settings.ini"), "changed");
        writeFileBytes(inData("new.txt"), "new");
        seat.clear();
        std::vector<std::string> asked;
        auto restored = restore(backupFile(), [&](const std::string& name) {
            asked.push_back(name);
            return true;
        });
        ASSERT_TRUE(restored->finished) << restored->problem;
        EXPECT_EQ(asked, std::vector<std::string>{"settings.ini"});
        EXPECT_EQ(restored->files, 5u);
        EXPECT_EQ(restored->unchanged, 7u);
        FileTree expected = original;
        expected["new.txt"] = "new";
        EXPECT_EQ(treeOf(inData()), expected);
        EXPECT_TRUE(listedNames().empty());  // read afresh by the next listing
    }
}

// A file that differs stays without a question to answer it, and is named; files already as
// backed up are not written again.
TEST_F(BackupTest, DifferingFilesAreKeptUnlessReplaced) {
    connect(Link::Device);
    fillNavigator();
    ASSERT_TRUE(backUp(backupFile())->finished);
    writeFileBytes(inData("settings.ini"), "mine");
    navsim().control("reset");
    auto outcome = restore(backupFile());
    EXPECT_TRUE(outcome->finished);
    EXPECT_EQ(outcome->kept, std::vector<std::string>{"settings.ini"});
    EXPECT_EQ(outcome->files, 0u);
    EXPECT_EQ(readFileBytes(inData("settings.ini")), "mine");
    EXPECT_EQ(deviceWrites(), 0);
}

// A backup that fails its checks is refused before anything changes, and one whose bytes turn
// out damaged while they are copied leaves nothing either.
TEST_F(BackupTest, ADamagedBackupIsRefusedAndChangesNothing) {
    const std::string data = "route book bytes";
    const std::string line = crcHex(data) + " 16 0 ";
    auto backup = [](const std::string& manifest, std::vector<ZipEntry> entries) {
        entries.push_back(ZipEntry("manifest.txt", "vantu backup 1\n" + manifest));
        return zipBytes(entries);
    };
    struct Case {
        const char* label;
        std::string zip;
    } cases[] = {
        {"a byte of the data flipped",
         backup(line + "track\\A.trk\n",
                {ZipEntry("userdata\\track\\A.trk", data).damaged(ZipDamage::FlippedDataByte)})},
        {"a CRC that is not the manifest's",
         backup("00000000 16 0 track\\A.trk\n", {ZipEntry("userdata\\track\\A.trk", data)})},
        {"an entry the manifest lists is missing",
         backup(line + "track\\A.trk\n" + line + "track\\B.trk\n",
                {ZipEntry("userdata\\track\\A.trk", data)})},
        {"an entry the manifest does not list",
         backup(line + "track\\A.trk\n", {ZipEntry("userdata\\track\\A.trk", data),
                                          ZipEntry("userdata\\track\\B.trk", data)})},
        {"a name that leaves the folder",
         backup(line + "..\\..\\A.trk\n", {ZipEntry("userdata\\..\\..\\A.trk", data)})},
        {"two names for one file", backup(line + "track\\A.trk\n" + line + "TRACK\\a.trk\n",
                                          {ZipEntry("userdata\\track\\A.trk", data),
                                           ZipEntry("userdata\\TRACK\\a.trk", data)})},
        {"no manifest", zipBytes({ZipEntry("userdata\\track\\A.trk", data)})},
        {"not a zip", "not a zip at all"},
    };
    for (Link how : {Link::Device, Link::Drive}) {
        fresh(how);
        fillNavigator();
        platform::deleteFile(onNavigator(beijing() + ".sim"));
        const FileTree before = treeOf(inData());
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + (how == Link::Device ? " (device)" : " (drive)"));
            writeFileBytes(backupFile(), c.zip);
            seat.clear();
            auto outcome = restore(backupFile(), [](const std::string&) { return true; });
            EXPECT_FALSE(outcome->finished);
            EXPECT_TRUE(outcome->archiveFailed);
            EXPECT_FALSE(outcome->problem.empty());
            EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::UnpackFailed});
            EXPECT_EQ(treeOf(inData()), before);
        }
    }
}

// Paused, the restore writes nothing more; stopped, it takes back the copies it wrote, so the
// navigator is as it was.
TEST_F(BackupTest, PauseHoldsTheRestoreAndAStopChangesNothing) {
    connect(Link::Device);
    fillNavigator();
    writeFileBytes(onNavigator("Big.trk"), trackBytes(300000));
    ASSERT_TRUE(backUp(backupFile())->finished);
    const FileTree backedUp = treeOf(inData());
    std::filesystem::remove_all(nativePath(inData()));
    makeFolders(simulated.card(), "userdata/track");
    navsim().control("reset");
    auto outcome = std::make_shared<BackupOutcome>();
    ASSERT_TRUE(startRestore(*device, *device, backupFile(), {}, outcome));
    for (int i = 0; i < 6000 && navsim().calls("CeWriteFile") == 0; ++i)
        std::this_thread::sleep_for(1ms);
    PauseTask(*device, std::string("p"));
    std::this_thread::sleep_for(100ms);
    int writes = navsim().calls("CeWriteFile");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(navsim().calls("CeWriteFile"), writes);
    EXPECT_FALSE(isTaskIdle(*device));
    PauseTask(*device, std::string("t"));
    ASSERT_TRUE(device->taskThread.waitIdle(60s));
    EXPECT_TRUE(outcome->stopped);
    EXPECT_EQ(seat.statusCodes().back(), TaskStatus::Done);
    EXPECT_EQ(treeOf(inData()), (FileTree{{"track", "<dir>"}}));
    // The next restore puts everything back.
    EXPECT_TRUE(restore(backupFile())->finished);
    EXPECT_EQ(treeOf(inData()), backedUp);
}

// A replacement cut off between its moves left a file only under its parked name: the backup
// takes it under its own name, and no copy that was being written.
TEST_F(BackupTest, ABackupTakesAParkedFileAndNoHalfCopy) {
    connect(Link::Device);
    writeFileBytes(onNavigator("A.trk~vo"), "old A");
    writeFileBytes(onNavigator("B.trk"), "B");
    writeFileBytes(onNavigator("B.trk~vo"), "spare B");
    writeFileBytes(onNavigator("C.trk~vn"), "half of C");
    ASSERT_TRUE(backUp(backupFile())->finished);
    ArchiveReader reader;
    ASSERT_TRUE(reader.open(backupFile()));
    ASSERT_TRUE(reader.gotoFirst("txt") && reader.openCurrent());
    std::string manifest(200, '\0');
    manifest.resize(reader.readCurrent(manifest.data(), manifest.size()).value_or(0));
    EXPECT_EQ(manifest,
              "vantu backup 1\n" + crcHex("old A") + " 5 " +
                  std::to_string(platform::fileInfo(onNavigator("A.trk~vo"))->lastWriteTime) +
                  " track\\A.trk\n" + crcHex("B") + " 1 " +
                  std::to_string(platform::fileInfo(onNavigator("B.trk"))->lastWriteTime) +
                  " track\\B.trk\n");
}

// A file that cannot be read makes no backup, and leaves no zip behind.
TEST_F(BackupTest, AnUnreadableFileFailsTheBackup) {
    connect(Link::Device);
    fillNavigator();
    navsim().fail("read", 3);
    auto outcome = backUp(backupFile());
    EXPECT_FALSE(outcome->finished);
    EXPECT_FALSE(outcome->archiveFailed);
    EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::TransferError});
    for (const auto& [name, bytes] : treeOf(programTemp.path()))
        EXPECT_NE(name.rfind("backup.zip", 0), 0u) << name;
}

// Whatever the system refuses while a backup is written, an earlier backup at the name stays
// whole and the user hears of the failure.
TEST_F(BackupTest, AFailingSystemKeepsTheEarlierBackup) {
    connect(Link::Device);
    fillNavigator();
    for (test::OsFault fault : test::kOsFaults) {
        SCOPED_TRACE(test::nameOf(fault));
        writeFileBytes(backupFile(), "the earlier backup");
        std::shared_ptr<BackupOutcome> outcome;
        {
            test::ScopedOsFault failing(fault, backupFile());
            outcome = backUp(backupFile());
        }
        EXPECT_FALSE(outcome->finished);
        EXPECT_TRUE(outcome->archiveFailed);
        EXPECT_EQ(readFileBytes(backupFile()), "the earlier backup");
        for (const auto& [name, bytes] : treeOf(programTemp.path()))
            EXPECT_TRUE(name.rfind("backup.zip", 0) != 0 || name == "backup.zip") << name;
    }
}

}  // namespace
