#include "tasks/archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/local_time.h"
#ifndef _WIN32
#include <unistd.h>

#include <cerrno>

#include "platform/posix/syscalls_posix.h"
#endif
#include "support/os_faults.h"
#include "support/temp_dir.h"
#include "support/zip_fixture.h"

namespace {

#ifndef _WIN32
// Runs a shell command in `folder` (a UTF-8 path for the shell); true when it succeeded.
bool runIn(const std::string& folder, const std::string& command) {
    std::string line =
        "cd '" + platform::ansiToUtf8(folder) + "' && " + command + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}
#endif

// The time a tool gives an entry that was made without one.
constexpr ZipTime kNoTime{1980, 1, 1, 0, 0, 0};

std::string bytes(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * seed + i / 13) & 0xFF);
    return s;
}

// Every entry's name and folder flag, in archive order.
std::vector<std::pair<std::string, bool>> entries(ArchiveReader& reader) {
    std::vector<std::pair<std::string, bool>> out;
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        EXPECT_TRUE(reader.currentInfo(info));
        out.emplace_back(info.name, info.isFolder);
    }
    return out;
}

// A route book set in `folder`: N.trk, N.sim and N/N.rut, N/N.tps.
void writeSet(const TempDir& dir, const std::string& n) {
    platform::createFolder(dir.file(n));
    writeFileBytes(dir.file(n + ".trk"), bytes(30000, 7));
    writeFileBytes(dir.file(n + ".sim"), bytes(100, 3));
    writeFileBytes(dir.file(n + "/" + n + ".rut"), bytes(5000, 11));
    writeFileBytes(dir.file(n + "/" + n + ".tps"), "");
}

void expectSet(const TempDir& from, const TempDir& to, const std::string& n) {
    for (const std::string& f :
         {n + ".trk", n + ".sim", n + "/" + n + ".rut", n + "/" + n + ".tps"})
        EXPECT_EQ(readFileBytes(to.file(f)), readFileBytes(from.file(f))) << f;
}

TEST(Archive, OwnPackagesStoreBackslashNamesAndUnpackWithEveryTool) {
    TempDir work;
    writeSet(work, "R1");
    ArchiveWriter writer;
    ASSERT_TRUE(writer.open(work.file("R1.zip"), work.path()));
    for (const char* f : {"R1.trk", "R1.sim", "R1/R1.rut", "R1/R1.tps"})
        EXPECT_TRUE(writer.addFile(work.file(f)));
    EXPECT_EQ(writer.fileCount(), 4);
    EXPECT_EQ(writer.byteCount(), 35100u);
    ASSERT_TRUE(writer.close());

    ArchiveReader reader;
    ASSERT_TRUE(reader.open(work.file("R1.zip")));
    EXPECT_EQ(reader.entryCount(), 4);
    using E = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(
        entries(reader),
        (E{{"R1.trk", false}, {"R1.sim", false}, {"R1\\R1.rut", false}, {"R1\\R1.tps", false}}));
    TempDir out;
    ASSERT_TRUE(reader.setOutputFolder(out.path()));
    ASSERT_TRUE(reader.extractAll());
    expectSet(work, out, "R1");

#ifndef _WIN32  // Info-ZIP's unzip is a Linux program here, out of reach under wine.
    // Info-ZIP's unzip takes the backslashes as folders too (with a warning: status 1).
    TempDir byUnzip;
    ASSERT_TRUE(runIn(byUnzip.path(), "unzip -o '" + platform::ansiToUtf8(work.file("R1.zip")) +
                                          "'; test $? -le 1"));
    expectSet(work, byUnzip, "R1");
#endif
}

// "乗" is 81 5C in GBK: its second byte has the value of "\\" and must not split the name.
TEST(Archive, DoubleByteNamesStayWhole) {
    const std::string n = platform::utf8ToAnsi("乗");
    ASSERT_EQ(n, "\x81\x5C");
    TempDir work;
    writeSet(work, n);
    ArchiveWriter writer;
    ASSERT_TRUE(writer.open(work.file(n + ".zip"), work.path()));
    for (const std::string& f :
         {n + ".trk", n + ".sim", n + "/" + n + ".rut", n + "/" + n + ".tps"})
        EXPECT_TRUE(writer.addFile(work.file(f)));
    ASSERT_TRUE(writer.close());
    ArchiveReader reader;
    ASSERT_TRUE(reader.open(work.file(n + ".zip")));
    TempDir out;
    ASSERT_TRUE(reader.setOutputFolder(out.path()));
    ASSERT_TRUE(reader.extractAll());
    expectSet(work, out, n);
}

TEST(Archive, PackagesOfOtherToolsUnpackIntoTheSameFolders) {
    TempDir work;
    writeSet(work, "R2");
    std::vector<std::string> packages;
#ifndef _WIN32  // Info-ZIP's zip is a Linux program here, out of reach under wine.
    // Info-ZIP: "/" separators and a folder entry before the files in it.
    ASSERT_TRUE(runIn(work.path(), "zip -q -r zipped.zip R2.trk R2.sim R2"));
    packages.push_back("zipped.zip");
#endif
    // Deflated on Unix: "/" for one file, "\" for another, a folder entry without the folder
    // attribute.
    auto deflated = [&](const std::string& name, const std::string& file) {
        return ZipEntry(name, readFileBytes(work.file(file))).deflated();
    };
    writeFileBytes(
        work.file("mixed.zip"),
        zipBytes({deflated("R2.trk", "R2.trk"), deflated("R2.sim", "R2.sim"),
                  ZipEntry("R2/").attributes(0).at(kNoTime), deflated("R2/R2.rut", "R2/R2.rut"),
                  deflated("R2\\R2.tps", "R2/R2.tps")}));
    packages.push_back("mixed.zip");
    for (const std::string& package : packages) {
        SCOPED_TRACE(package);
        ArchiveReader reader;
        ASSERT_TRUE(reader.open(work.file(package)));
        auto names = entries(reader);
        EXPECT_NE(std::find(names.begin(), names.end(), std::make_pair(std::string("R2\\"), true)),
                  names.end());
        TempDir out;
        ASSERT_TRUE(reader.setOutputFolder(out.path()));
        ASSERT_TRUE(reader.extractAll());
        expectSet(work, out, "R2");
    }
}

TEST(Archive, EntriesThatLeaveTheFolderAreRefused) {
    const char* names[] = {"../evil.trk", "..\\evil.trk",       "a/../../evil.trk",
                           "/evil.trk",   "\\evil.trk",         "C:\\evil.trk",
                           "C:evil.trk",  "a\\..\\..\\evil.trk"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        TempDir work;
        writeFileBytes(work.file("bad.zip"),
                       zipBytes({ZipEntry("good.trk", "ok").attributes(kUnixWrittenData),
                                 ZipEntry(name, "evil").attributes(0).at(kNoTime)}));
        platform::createFolder(work.file("out"));
        platform::createFolder(work.file("out/a"));
        ArchiveReader reader;
        ASSERT_TRUE(reader.open(work.file("bad.zip")));
        ASSERT_TRUE(reader.setOutputFolder(work.file("out/a")));
        EXPECT_FALSE(reader.extractAll());
        EXPECT_EQ(readFileBytes(work.file("out/a/good.trk")), "ok");
        EXPECT_FALSE(platform::fileExists(work.file("out/evil.trk")));
        EXPECT_FALSE(platform::fileExists(work.file("evil.trk")));
        EXPECT_FALSE(platform::fileExists("/evil.trk"));
    }
}

TEST(Archive, DamagedEntryFailsAndLeavesNoFile) {
    TempDir work;
    writeFileBytes(work.file("p.zip"), zipBytes({ZipEntry("a.trk", std::string(5000, 'A'))
                                                     .attributes(kUnixWrittenData)
                                                     .damaged(ZipDamage::FlippedDataByte)}));
    ArchiveReader reader;
    ASSERT_TRUE(reader.open(work.file("p.zip")));
    ASSERT_TRUE(reader.setOutputFolder(work.file("out")));
    EXPECT_FALSE(reader.extractAll());
    EXPECT_FALSE(platform::fileExists(work.file("out/a.trk")));

    writeFileBytes(work.file("junk.zip"), "<html>404</html>");
    EXPECT_FALSE(reader.open(work.file("junk.zip")));
    EXPECT_FALSE(reader.open(work.file("missing.zip")));
    EXPECT_FALSE(reader.open(""));
}

#ifndef _WIN32
static int readsLeft = 0;

// A file whose read fails part way is no whole entry: the file fails, with the system's cause,
// instead of going into the package cut short.
TEST(Archive, AReadFailingPartWayFailsTheFile) {
    TempDir work;
    writeFileBytes(work.file("a.trk"), std::string(30000, 't'));
    ArchiveWriter writer;
    ASSERT_TRUE(writer.open(work.file("p.zip")));
    readsLeft = 3;
    {
        test::ScopedSyscall failing(
            platform::posix::syscalls().read, +[](int fd, void* buffer, size_t n) -> ssize_t {
                if (readsLeft-- > 0) return ::read(fd, buffer, n);
                errno = EIO;
                return -1;
            });
        EXPECT_FALSE(writer.addFile("a.trk"));
    }
    EXPECT_EQ(writer.osError().code, static_cast<unsigned long>(EIO));
}
#endif

TEST(Archive, TimesTravelWithTheEntries) {
    TempDir work;
    // Stored 2009-03-21 10:20:30 local time.
    writeFileBytes(work.file("p.zip"),
                   zipBytes({ZipEntry("a.trk", "x").attributes(0).at({2009, 3, 21, 10, 20, 30})}));
    ArchiveReader reader;
    ASSERT_TRUE(reader.open(work.file("p.zip")));
    ASSERT_TRUE(reader.extractAll());
    auto t = fileLocalTime(work.file("p/a.trk"));
    ASSERT_TRUE(t);
    EXPECT_EQ((std::vector<int>{t->year, t->month, t->day, t->hour, t->minute, t->second}),
              (std::vector<int>{2009, 3, 21, 10, 20, 30}));

    // The writer stores the file's own last-write time.
    writeFileBytes(work.file("b.trk"), "y");
    auto when = platform::localTimeToFileTime({2011, 7, 4, 8, 9, 10});
    ASSERT_TRUE(when && platform::setFileWriteTime(work.file("b.trk"), *when));
    ArchiveWriter writer;
    ASSERT_TRUE(writer.open(work.file("b.zip")));
    ASSERT_TRUE(writer.addFile("b.trk"));
    ASSERT_TRUE(writer.close());
    ASSERT_TRUE(reader.open(work.file("b.zip")));
    ASSERT_TRUE(reader.gotoFirst());
    ArchiveEntryInfo info;
    ASSERT_TRUE(reader.currentInfo(info));
    EXPECT_EQ(info.dosDate, ((2011u - 1980) << 25 | 7u << 21 | 4u << 16 | 8u << 11 | 9u << 5 | 5u));
    EXPECT_EQ(info.externalAttributes, platform::kAttrArchive);

    // A time that names no moment changes nothing.
    auto before = platform::fileInfo(work.file("b.trk"))->lastWriteTime;
    EXPECT_FALSE(setFileTimeFromDos(work.file("b.trk"), 0));
    EXPECT_EQ(platform::fileInfo(work.file("b.trk"))->lastWriteTime, before);
}

TEST(Archive, WriterNamesRelativeToItsBaseFolder) {
    TempDir work;
    platform::createFolder(work.file("work"));
    platform::createFolder(work.file("work/x"));
    writeFileBytes(work.file("work/x/a.trk"), "a");
    writeFileBytes(work.file("work/b.trk"), "b");
    writeFileBytes(work.file("other.trk"), "o");
    // The base folder's letter case differs from the path's in the last component.
    std::string base = work.path() + "WORK";
    ArchiveWriter writer;
    ASSERT_TRUE(writer.open(work.file("p.zip"), base));
    struct Case {
        std::string path;
        bool ignorePath;
        bool ok;
    } cases[] = {
        {work.file("work/x/a.trk"), false, true},  // stored x\a.trk
        {work.file("other.trk"), false, false},    // outside the base folder
        {"..\\other.trk", false, false},
        {"../other.trk", false, false},
        {work.file("work/x/a.trk"), true, true},  // stored a.trk
        {"missing.trk", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(writer.addFile(c.path, c.ignorePath), c.ok) << c.path;
    ASSERT_TRUE(writer.close());

    // Relative paths are read from the base folder; a leading "./" goes.
    ASSERT_TRUE(writer.open(work.file("q.zip"), work.file("work")));
    EXPECT_TRUE(writer.addFile("./b.trk"));
    EXPECT_TRUE(writer.addFile("x/a.trk"));
    ASSERT_TRUE(writer.close());
    // Appending keeps what is there; appending to a missing archive creates it.
    ASSERT_TRUE(writer.open(work.file("q.zip"), work.file("work"), true));
    EXPECT_TRUE(writer.addFile("b.trk", true));
    ASSERT_TRUE(writer.close());
    ASSERT_TRUE(writer.open(work.file("new.zip"), work.file("work"), true));
    EXPECT_TRUE(writer.addFile("b.trk"));
    ASSERT_TRUE(writer.close());

    using E = std::vector<std::pair<std::string, bool>>;
    ArchiveReader reader;
    ASSERT_TRUE(reader.open(work.file("p.zip")));
    EXPECT_EQ(entries(reader), (E{{"x\\a.trk", false}, {"a.trk", false}}));
    ASSERT_TRUE(reader.open(work.file("q.zip")));
    EXPECT_EQ(entries(reader), (E{{"b.trk", false}, {"x\\a.trk", false}, {"b.trk", false}}));
    ASSERT_TRUE(reader.open(work.file("new.zip")));
    EXPECT_EQ(entries(reader), (E{{"b.trk", false}}));
}

TEST(Archive, ExtensionSearchAndNameOnlyExtraction) {
    TempDir work;
    std::vector<ZipEntry> written;
    for (const char* n : {"A/one.rut", "A/two.TRK", "three.trk", "four.trkx"})
        written.push_back(ZipEntry(n, n).attributes(kUnixWrittenData));
    written.push_back(ZipEntry("北京/北京.trk", "bj").attributes(kUnixWrittenData).utf8());
    writeFileBytes(work.file("p.zip"), zipBytes(written));
    ArchiveReader reader;
    ASSERT_TRUE(reader.open(work.file("p.zip")));
    std::vector<std::string> found;
    for (bool more = reader.gotoFirst("trk"); more; more = reader.gotoNext("trk")) {
        ArchiveEntryInfo info;
        ASSERT_TRUE(reader.currentInfo(info));
        found.push_back(info.name);
    }
    std::string beijing = platform::utf8ToAnsi("北京");
    EXPECT_EQ(found, (std::vector<std::string>{"A\\two.TRK", "three.trk",
                                               beijing + "\\" + beijing + ".trk"}));
    ASSERT_TRUE(reader.gotoFirst("rut"));
    EXPECT_TRUE(reader.extractCurrent(work.file("flat"), true));
    EXPECT_EQ(readFileBytes(work.file("flat/one.rut")), "A/one.rut");
    // Names in UTF-8 arrive as the program's ANSI names.
    ASSERT_TRUE(reader.extractAll());
    EXPECT_EQ(readFileBytes(work.file("p/" + beijing + "/" + beijing + ".trk")), "bj");
}

TEST(Archive, FolderHelpers) {
    TempDir work;
    writeFileBytes(work.file("file"), "f");
    EXPECT_TRUE(createFolderPath(work.file("a/b/c")));
    EXPECT_TRUE(platform::folderExists(work.file("a/b/c")));
    EXPECT_TRUE(createFolderPath(work.file("a/b/c/")));
    EXPECT_FALSE(createFolderPath(work.file("file")));
    EXPECT_FALSE(createFolderPath(work.file("file/x")));
    EXPECT_FALSE(createFolderPath(""));
    EXPECT_TRUE(createParentFolders(work.file("d/e/f.trk")));
    EXPECT_TRUE(platform::folderExists(work.file("d/e")));
    EXPECT_FALSE(platform::fileExists(work.file("d/e/f.trk")));
    EXPECT_FALSE(createParentFolders("f.trk"));

    ArchiveReader reader;
    EXPECT_FALSE(reader.setOutputFolder(work.file("file")));
    EXPECT_FALSE(reader.extractAll());
    EXPECT_EQ(reader.entryCount(), 0);
}

}  // namespace
