#include "platform/file_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/disk_space.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include "platform/posix/drives_posix.h"
#endif

namespace {

TEST(FileOpsTest, MovesNeverReplaceAFileOrAFolder) {
    struct Case {
        const char* label;
        bool fromFolder;
        int target;  // 0 none, 1 a file, 2 an empty folder
        bool moved;
    };
    for (const Case& c :
         {Case{"file to a free name", false, 0, true}, Case{"folder to a free name", true, 0, true},
          Case{"file onto a file", false, 1, false},
          Case{"file onto an empty folder", false, 2, false},
          Case{"folder onto an empty folder", true, 2, false},
          Case{"folder onto a file", true, 1, false}}) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        if (c.fromFolder) {
            platform::createFolder(dir.file("from"));
            writeFileBytes(dir.file("from/inside"), "inside");
        } else {
            writeFileBytes(dir.file("from"), "moved");
        }
        if (c.target == 1) writeFileBytes(dir.file("to"), "kept");
        if (c.target == 2) platform::createFolder(dir.file("to"));
        EXPECT_EQ(platform::moveNoReplace(dir.file("from"), dir.file("to")), c.moved);
        bool fromLeft =
            platform::fileExists(dir.file("from")) || platform::folderExists(dir.file("from"));
        EXPECT_EQ(fromLeft, !c.moved);
        if (c.target == 1) {
            EXPECT_EQ(readFileBytes(dir.file("to")), "kept");
        }
    }
    TempDir dir;
    EXPECT_FALSE(platform::moveNoReplace(dir.file("missing"), dir.file("to")));
}

TEST(FileOpsTest, CopyKeepsBytesAndLastWriteTime) {
    TempDir dir;
    std::string bytes(70000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 31);
    writeFileBytes(dir.file("a"), bytes);
    {
        platform::File f(dir.file("a"), platform::OpenMode::ReadWriteExisting);
        f.setTimes(125000000000000000ULL);
    }
    writeFileBytes(dir.file("b"), "old");
    EXPECT_FALSE(platform::copyFile(dir.file("a"), dir.file("b"), true));
    EXPECT_EQ(readFileBytes(dir.file("b")), "old");
    EXPECT_TRUE(platform::copyFile(dir.file("a"), dir.file("b"), false));
    EXPECT_EQ(readFileBytes(dir.file("b")), bytes);
    auto listed = platform::findFiles(dir.file("b"));
    ASSERT_TRUE(listed && listed->size() == 1);
    EXPECT_EQ((*listed)[0].lastWriteTime, 125000000000000000ULL);
    EXPECT_FALSE(platform::copyFile(dir.file("missing"), dir.file("c"), false));
    EXPECT_FALSE(platform::fileExists(dir.file("c")));
}

TEST(FileOpsTest, RemoveTreeAndDiskSpace) {
    TempDir dir;
    platform::createFolder(dir.file("t"));
    platform::createFolder(dir.file("t/sub"));
    writeFileBytes(dir.file("t/sub/f"), "x");
    writeFileBytes(dir.file("t/g"), "y");
    EXPECT_TRUE(platform::removeTree(dir.file("t")));
    EXPECT_FALSE(platform::folderExists(dir.file("t")));
    EXPECT_TRUE(platform::removeTree(dir.file("t")));  // nothing there: nothing left
    writeFileBytes(dir.file("f"), "x");
    EXPECT_TRUE(platform::removeTree(dir.file("f")));
    EXPECT_FALSE(platform::fileExists(dir.file("f")));

    auto space = platform::diskSpace(dir.path());
    ASSERT_TRUE(space);
    EXPECT_GT(space->total, 0u);
    EXPECT_LE(space->available, space->total);
    EXPECT_FALSE(platform::diskSpace(dir.file("missing/folder")));
}

#ifdef _WIN32
TEST(RemovableDrivesTest, RemovableLettersFromDToYOnly) {
    // The test script presents a folder as a removable drive and names its letter here.
    const char* expected = std::getenv("VANTU_TEST_REMOVABLE_DRIVE");
    std::vector<std::string> drives = platform::removableDrives();
    for (size_t i = 0; i < drives.size(); ++i) {
        SCOPED_TRACE(drives[i]);
        ASSERT_EQ(drives[i].size(), 2u);
        EXPECT_EQ(drives[i][1], ':');
        EXPECT_TRUE(drives[i][0] >= 'D' && drives[i][0] <= 'Y');
        if (i > 0) {
            EXPECT_LT(drives[i - 1], drives[i]);
        }
    }
    if (expected == nullptr) GTEST_SKIP() << "no removable drive set up";
    EXPECT_NE(std::find(drives.begin(), drives.end(), expected), drives.end()) << expected;
    EXPECT_EQ(std::find(drives.begin(), drives.end(), "C:"), drives.end());
}
#else
TEST(RemovableDrivesTest, MountsOfRemovableStorageOnly) {
    const std::string mountinfo =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "23 22 0:5 / /proc rw - proc proc rw\n"
        "24 22 8:2 / /boot rw - ext4 /dev/sda2 rw\n"
        "25 22 8:3 / /home rw - ext4 /dev/sda3 rw\n"
        "26 22 8:17 / /media/user/NAV\\040CARD rw - vfat /dev/sdb1 rw\n"
        "27 22 8:33 / /mnt/stick rw - vfat /dev/sdc1 rw\n"
        "28 22 8:49 / /run/media/user/disk rw - exfat /dev/sdd1 rw\n"
        "29 22 8:65 / /run/user/1000 rw - tmpfs tmpfs rw\n"
        "30 22 8:33 / /dev/stick rw - vfat /dev/sdc1 rw\n"
        "31 22 8:33 / /mnt/stick rw - vfat /dev/sdc1 rw\n"
        "garbage\n";
    // 8:33 and 8:65 report removable media; 8:1 would too, but it holds "/".
    auto removable = [](const std::string& device) {
        return device == "8:1" || device == "8:33" || device == "8:65";
    };
    EXPECT_EQ(
        platform::posix::removableMountPoints(mountinfo, removable),
        (std::vector<std::string>{"/media/user/NAV CARD", "/mnt/stick", "/run/media/user/disk"}));
}
#endif

}  // namespace
