#include "platform/disk_space.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

TEST(DiskSpace, OfTheVolumeThatHoldsAFolderOrAFileAndNoneForAMissingOne) {
    TempDir dir;
    writeFileBytes(dir.file("f"), "x");
    for (const std::string& path : {dir.path(), dir.file("f")}) {
        auto space = platform::diskSpace(path);
        ASSERT_TRUE(space) << path;
        EXPECT_GT(space->total, 0u);
        EXPECT_LE(space->available, space->total);
    }
    EXPECT_FALSE(platform::diskSpace(dir.file("missing/folder")));
}

}  // namespace
