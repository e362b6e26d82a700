#include "tasks/backup.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <thread>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "app/page_messages.h"
#include "common/task_status.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file_info.h"
#include "platform/log.h"
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

// A backup as the program writes it: UTF-8 names, each file's entry and the manifest.
std::string backupZip(const std::vector<std::pair<std::string, std::string>>& files,
                      bool deflatedManifest = false) {
    std::string manifest = "vantu backup 2\n";
    std::vector<ZipEntry> entries;
    for (const auto& [name, bytes] : files) {
        manifest += crcHex(bytes) + " " + std::to_string(bytes.size()) + " 0 " + name + "\n";
        entries.push_back(ZipEntry("userdata\\" + name, bytes).utf8());
    }
    entries.push_back(ZipEntry("manifest.txt", manifest));
    if (deflatedManifest) entries.back().deflated();
    return zipBytes(entries);
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
        auto restored = restore(backupFile(), [&](const std::vector<std::string>& names) {
            asked = names;
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
            auto outcome =
                restore(backupFile(), [](const std::vector<std::string>&) { return true; });
            EXPECT_FALSE(outcome->finished);
            EXPECT_TRUE(outcome->archiveFailed);
            EXPECT_FALSE(outcome->problem.empty());
            EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::RestoreRefused});
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
              "vantu backup 2\n" + crcHex("old A") + " 5 " +
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

// The system's cause of a failed write on the PC or the drive reaches the outcome, the page with
// the status, and the log in one line that names the task; the status and problem stay as they
// were.
TEST_F(BackupTest, TheSystemsCauseGoesToThePageAndOnceToTheLog) {
    using platform::OsCause;
    struct Case {
        const char* name;
        bool restore;
        test::OsFault fault;
        OsCause cause;
        const char* problem;  // how it starts
        const char* task;
    };
    const Case cases[] = {
        {"the backup's zip on a full disk", false, test::OsFault::DiskFull, OsCause::DiskFull,
         "cannot write ", "backup to "},
        {"the backup's zip not put in place", false, test::OsFault::RenameRefused,
         OsCause::AccessDenied, "cannot write ", "backup to "},
        {"the restore's write on a full drive", true, test::OsFault::DiskFull, OsCause::DiskFull,
         "cannot write settings.ini on the navigator", "restore from "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh(Link::Drive);
        fillNavigator();
        if (c.restore) {
            ASSERT_TRUE(backUp(backupFile())->finished);
            platform::deleteFile(inData("settings.ini"));
        }
        seat.clear();
        std::vector<std::string> lines;
        platform::setLogHandler([&](std::string_view line) { lines.emplace_back(line); });
        std::shared_ptr<BackupOutcome> outcome;
        {
            test::ScopedOsFault failing(c.fault);
            outcome = c.restore ? restore(backupFile()) : backUp(backupFile());
        }
        platform::setLogHandler(nullptr);
        EXPECT_EQ(outcome->problem.rfind(c.problem, 0), 0u) << outcome->problem;
        EXPECT_EQ(outcome->error.cause, c.cause);
        EXPECT_EQ(outcome->error.code, test::codeOf(c.fault));
        EXPECT_EQ(pageCalls().back(), statusCall(TaskStatus::TransferError, c.cause));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind(c.task + backupFile() + ": " + outcome->problem, 0), 0u)
            << lines[0];
        EXPECT_NE(lines[0].find(outcome->error.text), std::string::npos) << lines[0];
    }
}

// Names as the navigator holds them, not as the PC's code page can: Korean, an emoji, a name of
// 245 GBK bytes (deeper than one folder: no PC disk holds its 126 units as one UTF-8 name). All
// come back byte for byte onto an empty navigator, and an old backup with GBK names restores.
TEST_F(BackupTest, NamesNoCodePageHoldsComeBackExactly) {
    std::string chinese40;
    for (int i = 0; i < 40; ++i)
        chinese40 += "北";
    const std::string longName =
        chinese40 + "/" + chinese40 + "/" + chinese40.substr(0, 39 * 3) + "x.bin";
    ASSERT_EQ(platform::utf8ToAnsi(longName).size(), 245u);
    const FileTree files = {{"지도/서울.txt", "Seoul"},
                            {"😀.txt", std::string(70000, 'e')},
                            {longName, "long"},
                            {"track/Day1.trk", trackBytes(5)}};
    const std::string gbk = platform::utf8ToAnsi("北京.trk");
    const std::string first =
        zipBytes({ZipEntry("userdata\\track\\" + gbk, "old format"),
                  ZipEntry("manifest.txt", "vantu backup 1\n" + crcHex("old format") +
                                               " 10 0 track\\" + gbk + "\n")});
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        for (const auto& [name, bytes] : files)
            writeUnicodeFile(inData(), name, bytes);
        auto backedUp = backUp(backupFile());
        ASSERT_TRUE(backedUp->finished) << backedUp->problem;
        EXPECT_TRUE(backedUp->leftOut.empty());
        std::filesystem::remove_all(nativePath(inData()));
        connect(how);
        auto restored = restore(backupFile());
        ASSERT_TRUE(restored->finished) << restored->problem;
        EXPECT_EQ(unicodeTreeOf(inData()), files);

        writeFileBytes(backupFile(), first);
        ASSERT_TRUE(restore(backupFile())->finished);
        EXPECT_EQ(unicodeTreeOf(inData()).at("track/北京.trk"), "old format");
    }
}

// Backups made to harm: a file in the place of the route book folder (and a move on the device
// that would fail), a file 110 folders deep, a manifest of 65,535 deep names in a small zip, a
// file below a file, a name the program parks files under, a name too long for the navigator's
// paths. Each is refused with nothing changed, and the navigator stays usable: the next backup
// is whole.
TEST_F(BackupTest, HostileBackupsChangeNothingAndTheNavigatorStaysUsable) {
    std::string deep110, manifest = "vantu backup 2\n";
    for (int i = 0; i < 110; ++i)
        deep110 += "d\\";
    for (int i = 0; i < 65535; ++i)
        manifest += "00000000 0 0 " + deep110 + std::to_string(i) + "\n";
    const struct {
        const char* label;
        std::string zip;
        const char* failingMove;
    } cases[] = {
        {"a file named like the route book folder", backupZip({{"track", "x"}}), "move 1"},
        {"110 folders deep", backupZip({{deep110 + "f", "x"}}), ""},
        {"65,535 deep names", zipBytes({ZipEntry("manifest.txt", manifest).deflated()}), ""},
        {"a file below a file", backupZip({{"poi\\address.poi\\x", "x"}}), ""},
        {"a parked name in capitals", backupZip({{"settings.ini~VO", "x"}}), ""},
        {"longer than the navigator's paths", backupZip({{std::string(240, 'n'), "x"}}), ""},
    };
    for (Link how : {Link::Device, Link::Drive}) {
        fresh(how);
        fillNavigator();
        const FileTree before = treeOf(inData());
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.label) + (how == Link::Device ? " (device)" : " (drive)"));
            ASSERT_LT(c.zip.size(), 1024u * 1024u);
            writeFileBytes(backupFile(), c.zip);
            seat.clear();
            navsim().control("reset");
            if (*c.failingMove) navsim().control("fail", c.failingMove);
            auto outcome =
                restore(backupFile(), [](const std::vector<std::string>&) { return true; });
            EXPECT_TRUE(outcome->archiveFailed) << outcome->problem;
            EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::RestoreRefused});
            EXPECT_EQ(treeOf(inData()), before);
            navsim().control("reset");
            auto next = backUp(programTemp.file("next.zip"));
            EXPECT_TRUE(next->finished && next->leftOut.empty()) << next->problem;
        }
    }
}

// What no restore could put back is named at backup time, and everything else is saved: the
// backup then restores whole.
TEST_F(BackupTest, ABackupNamesWhatNoRestoreCouldPutBack) {
    std::string deep34, deepest;
    for (int i = 0; i < 34; ++i)
        deep34 += "d/";
    for (int i = 0; i < 33; ++i)
        deepest += "d\\";
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        fillNavigator();
        writeUnicodeFile(inData(), deep34 + "deep.txt", "deep");
        writeUnicodeFile(inData(), std::string(240, 'n'), "long");
        auto outcome = backUp(backupFile());
        ASSERT_TRUE(outcome->finished) << outcome->problem;
        EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::BackupIncomplete});
        std::vector<std::string> named;
        for (const LeftOut& left : outcome->leftOut)
            named.push_back(left.name);
        EXPECT_EQ(named, (std::vector<std::string>{deepest, std::string(240, 'n')}));
        std::filesystem::remove_all(nativePath(inData()));
        connect(how);
        EXPECT_TRUE(restore(backupFile())->finished);
    }
}

#ifndef _WIN32
// POSIX only: what another user can plant on a drive besides files and folders. A backup
// neither reads through a link out of the navigator nor waits on a FIFO, device or socket, and
// names each; a restore writes through none of them, refuses them in its way, and does not wait
// on a FIFO given as its backup; a data folder that is itself a link is not entered.
TEST_F(BackupTest, OnADriveNothingOutsideIsReadOrWrittenAndNothingWaits) {
    fresh(Link::Drive);
    fillNavigator();
    TempDir outside;
    writeFileBytes(outside.file("secret"), "outside");
    const FileTree outsideBefore = treeOf(outside.path());
    ASSERT_EQ(symlink(outside.file("secret").c_str(), inData("link").c_str()), 0);
    ASSERT_EQ(symlink(outside.path().c_str(), inData("folder-link").c_str()), 0);
    ASSERT_EQ(mkfifo(inData("fifo").c_str(), 0600), 0);
    std::vector<std::string> planted = {"fifo", "folder-link", "link", "socket"};
    // A device node needs the right to make one.
    if (mknod(inData("null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0)
        planted.insert(planted.begin() + 3, "null");
    int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    inData("socket").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    auto outcome = backUp(backupFile());
    ASSERT_TRUE(outcome->finished) << outcome->problem;
    EXPECT_EQ(outcome->files, 12u);
    std::vector<std::string> named;
    for (const LeftOut& left : outcome->leftOut)
        named.push_back(left.name);
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, planted);
    for (const char* name : {"folder-link\\new", "link", "fifo", "socket\\x"}) {
        SCOPED_TRACE(name);
        writeFileBytes(backupFile(), backupZip({{name, "written through"}}));
        auto restored = restore(backupFile(), [](const std::vector<std::string>&) { return true; });
        EXPECT_TRUE(restored->archiveFailed) << restored->problem;
    }
    ASSERT_EQ(mkfifo(programTemp.file("pipe.zip").c_str(), 0600), 0);
    EXPECT_TRUE(restore(programTemp.file("pipe.zip"))->archiveFailed);
    close(socketFd);

    platform::setRemovableDrivesForTesting(std::vector<std::string>{drive.path()});
    std::filesystem::rename(nativePath(inData()), nativePath(drive.file("real")));
    ASSERT_EQ(symlink(outside.path().c_str(), drive.file("userdata").c_str()), 0);
    EXPECT_FALSE(backUp(backupFile())->finished);
    writeFileBytes(backupFile(), backupZip({{"new", "written through"}}));
    EXPECT_FALSE(restore(backupFile())->finished);
    platform::setRemovableDrivesForTesting(std::vector<std::string>{});
    EXPECT_EQ(treeOf(outside.path()), outsideBefore);
}
#endif

}  // namespace
