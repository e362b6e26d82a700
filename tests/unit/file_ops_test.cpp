#include "platform/file_ops.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>

#include "platform/files.h"
#include "support/temp_dir.h"

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

TEST(FileOpsTest, RemoveTreeTakesFoldersFilesAndNothing) {
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
#ifndef _WIN32
    // A link inside the tree goes as the link: what it points to stays.
    platform::createFolder(dir.file("kept"));
    writeFileBytes(dir.file("kept/k"), "z");
    platform::createFolder(dir.file("t"));
    ASSERT_EQ(symlink(dir.file("kept").c_str(), dir.file("t/link").c_str()), 0);
    EXPECT_TRUE(platform::removeTree(dir.file("t")));
    EXPECT_EQ(readFileBytes(dir.file("kept/k")), "z");
#endif
}

}  // namespace
