#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/file_info.h"
#include "platform/file_ops.h"
#include "platform/full_path.h"
#include "platform/local_time.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace {

// GBK names, one of them with a second byte of the value of '\'.
const std::string kBeijing = "\xB1\xB1\xBE\xA9";
const std::string kTrailBackslash = "\x95\x5C";

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> sortedNames(const std::vector<platform::FolderEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.name);
    return sorted(names);
}

TEST(FilesTest, ChineseNamesAreListedFoundAndOpenedAsWritten) {
    TempDir dir;
    std::string folder = dir.file(kBeijing);
    ASSERT_TRUE(platform::createFolder(folder));
    EXPECT_TRUE(platform::createFolder(folder)) << "an existing folder is no failure";
    const std::string names[] = {kBeijing + ".trk", kTrailBackslash + ".trk", "a.rut"};
    for (const auto& name : names)
        ASSERT_TRUE(platform::writeWholeFile(platform::joinPath(folder, name), name));
    ASSERT_TRUE(platform::createFolder(platform::joinPath(folder, "sub")));

    auto all = platform::listFolder(folder);
    ASSERT_TRUE(all);
    EXPECT_EQ(sortedNames(*all),
              sorted({kTrailBackslash + ".trk", "a.rut", "sub", kBeijing + ".trk"}));
    for (const auto& e : *all) {
        SCOPED_TRACE(e.name);
        bool isFolder = e.name == "sub";
        EXPECT_EQ((e.attributes & platform::kAttrDirectory) != 0, isFolder);
        EXPECT_EQ(e.size, isFolder ? 0u : e.name.size());
        EXPECT_EQ(platform::fileExists(platform::joinPath(folder, e.name)), !isFolder);
        EXPECT_EQ(platform::folderExists(platform::joinPath(folder, e.name)), isFolder);
    }
    auto tracks = platform::findFiles(platform::joinPath(folder, "*.trk"));
    ASSERT_TRUE(tracks);
    EXPECT_EQ(sortedNames(*tracks), sorted({kTrailBackslash + ".trk", kBeijing + ".trk"}));
    auto none = platform::findFiles(platform::joinPath(folder, "*.poi"));
    ASSERT_TRUE(none) << "a folder without matches is listed, empty";
    EXPECT_TRUE(none->empty());
    EXPECT_FALSE(platform::listFolder(dir.file("missing")));
    EXPECT_EQ(readFileBytes(platform::joinPath(folder, kTrailBackslash + ".trk")),
              kTrailBackslash + ".trk");
}

TEST(FilesTest, OpenModesCreateTruncateOrRefuse) {
    struct Case {
        const char* name;
        platform::OpenMode mode;
        bool exists;
        bool opens;
        const char* after;  // the file's bytes afterwards; nullptr: no file
    } cases[] = {
        {"read a missing file", platform::OpenMode::Read, false, false, nullptr},
        {"read", platform::OpenMode::Read, true, true, "old"},
        {"read-write a missing file", platform::OpenMode::ReadWriteExisting, false, false, nullptr},
        {"create always truncates", platform::OpenMode::CreateAlways, true, true, ""},
        {"open always keeps", platform::OpenMode::OpenAlways, true, true, "old"},
        {"open always creates", platform::OpenMode::OpenAlways, false, true, ""},
        {"create new over a file", platform::OpenMode::CreateNew, true, false, "old"},
        {"create new", platform::OpenMode::CreateNew, false, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string path = dir.file("f");
        if (c.exists) writeFileBytes(path, "old");
        EXPECT_EQ(platform::File(path, c.mode).isOpen(), c.opens);
        EXPECT_EQ(platform::fileExists(path), c.after != nullptr);
        if (c.after) {
            EXPECT_EQ(readFileBytes(path), c.after);
        }
    }
    TempDir dir;
    EXPECT_FALSE(platform::File(dir.path(), platform::OpenMode::Read).isOpen()) << "a folder";
}

TEST(FilesTest, FailuresTellTheSystemsCause) {
    using platform::OsCause;
    using platform::OsError;
    TempDir dir;
    writeFileBytes(dir.file("f"), "x");
    ASSERT_TRUE(platform::createFolder(dir.file("full")));
    writeFileBytes(dir.file("full/g"), "y");
    const std::string missing = dir.file("none/f");
    struct Case {
        const char* name;
        std::function<bool(OsError*)> call;
        OsCause cause;
    } cases[] = {
        {"open a missing file",
         [&](OsError* e) { return platform::File(missing, platform::OpenMode::Read, e).isOpen(); },
         OsCause::NotFound},
        {"write into a missing folder",
         [&](OsError* e) { return platform::writeWholeFile(missing, "x", e); }, OsCause::NotFound},
        {"delete a missing file", [&](OsError* e) { return platform::deleteFile(missing, e); },
         OsCause::NotFound},
        {"create a folder in a missing one",
         [&](OsError* e) { return platform::createFolder(missing, e); }, OsCause::NotFound},
        {"remove a folder that holds a file",
         [&](OsError* e) { return platform::removeFolder(dir.file("full"), e); }, OsCause::Exists},
        {"copy onto a file that stays",
         [&](OsError* e) { return platform::copyFile(dir.file("f"), dir.file("full/g"), true, e); },
         OsCause::Exists},
        {"move onto a file",
         [&](OsError* e) { return platform::moveNoReplace(dir.file("f"), dir.file("full/g"), e); },
         OsCause::Exists},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OsError error;
        EXPECT_FALSE(c.call(&error));
        EXPECT_EQ(error.cause, c.cause);
        EXPECT_NE(error.code, 0u);
        EXPECT_FALSE(error.text.empty());
        EXPECT_NE(error.path.find(dir.path()), std::string::npos) << error.path;
    }
}

TEST(FilesTest, WriteNewFileClearsTheNameOrLeavesNothing) {
    TempDir dir;
    std::string path = dir.file("page.htm");
    writeFileBytes(path, "planted");
    EXPECT_TRUE(platform::writeNewFile(path, "own"));
    EXPECT_EQ(readFileBytes(path), "own");
    // A folder at the name is not removed, and nothing is written.
    ASSERT_TRUE(platform::createFolder(dir.file("folder")));
    EXPECT_FALSE(platform::writeNewFile(dir.file("folder"), "x"));
    EXPECT_TRUE(platform::folderExists(dir.file("folder")));
    EXPECT_FALSE(platform::writeNewFile(dir.file("missing/x"), "x"));
}

TEST(FilesTest, TimesSurviveTheRoundTrips) {
    TempDir dir;
    std::string path = dir.file("t");
    writeFileBytes(path, "x");
    const platform::FileTime kTime = 128900000000000000ULL;  // a summer day of 2009
    ASSERT_TRUE(platform::setFileWriteTime(path, kTime));
    auto info = platform::fileInfo(path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->lastWriteTime, kTime);
    EXPECT_EQ(info->size, 1u);
    EXPECT_FALSE(platform::fileInfo(dir.file("missing")));

    platform::LocalTime local = platform::fileTimeToLocalTime(kTime);
    EXPECT_EQ(platform::localTimeToFileTime(local), kTime);
    const platform::LocalTime invalid[] = {
        {2009, 0, 1, 0, 0, 0},  {2009, 13, 1, 0, 0, 0}, {2009, 6, 0, 0, 0, 0},
        {2009, 6, 1, 24, 0, 0}, {2009, 6, 1, 0, 60, 0}, {2009, 6, 1, 0, 0, 60},
    };
    for (const auto& t : invalid)
        EXPECT_FALSE(platform::localTimeToFileTime(t)) << t.month << "/" << t.day;
}

TEST(FilesTest, FullPathsResolveDotsByName) {
    TempDir dir;
    std::string base = dir.path();  // ends with the separator
    const char sep = platform::kPathSeparator;
    struct Case {
        std::string path;
        std::string full;
    } cases[] = {
        {base + "a" + sep + "." + sep + "b" + sep + ".." + sep + "c", base + "a" + sep + "c"},
        {base + "a" + sep, base + "a" + sep},
        // The second byte of the first character is not a separator.
        {base + kTrailBackslash + sep + ".." + sep + "x", base + "x"},
        {base + kBeijing + sep + kTrailBackslash, base + kBeijing + sep + kTrailBackslash},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::fullPath(c.path), c.full) << c.path;
    EXPECT_FALSE(platform::fullPath(""));
    EXPECT_TRUE(platform::isAbsolutePath(base));
    EXPECT_FALSE(platform::isAbsolutePath("relative"));
#ifdef _WIN32
    EXPECT_TRUE(platform::isAbsolutePath("\\\\server\\share\\x"));
    EXPECT_FALSE(platform::isAbsolutePath("C:relative"));
    EXPECT_FALSE(platform::isAbsolutePath("\\on the current drive"));
#endif
}

TEST(FilesTest, LogLinesAreAppendedToTheLogFileUntilItOutgrowsItsLimit) {
    TempDir dir;
    std::string path = dir.file(kBeijing + ".log");
    platform::setLogFile(path);
    platform::logLine("first " + kBeijing);
    platform::logLine("second");
    std::string text;
    ASSERT_TRUE(platform::readWholeFile(path, text));
#ifdef _WIN32
    EXPECT_EQ(text, "first " + kBeijing + "\r\nsecond\r\n");
#else
    EXPECT_EQ(text, "first " + kBeijing + "\nsecond\n");
#endif
    // A file past its limit starts again rather than growing for ever.
    writeFileBytes(path, std::string(600 * 1024, 'x'));
    platform::logLine("fresh");
    ASSERT_TRUE(platform::readWholeFile(path, text));
    EXPECT_EQ(text.substr(0, 5), "fresh");
    EXPECT_LT(text.size(), 16u);
    platform::setLogFile("");
}

}  // namespace
