#include "platform/drives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#ifndef _WIN32
#include "platform/posix/drives_posix.h"
#endif

namespace {

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
