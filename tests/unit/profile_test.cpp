#include "platform/profile.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

#ifdef _WIN32
// The system's profile functions give the default for a key whose value is empty.
constexpr int kEmptyInt = 99;
// Whether the tests run under wine, whose profile functions rewrite the whole file where Windows
// leaves the lines it does not change as they were.
bool underWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#else
constexpr int kEmptyInt = 0;
bool underWine() {
    return false;
}
#endif

class ProfileTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string ini = dir.file("vantu.ini");
};

TEST_F(ProfileTest, MissingFileGivesTheDefaultAndCreatesNothing) {
    EXPECT_EQ(platform::getProfileString("xxx", "k", "dflt", ini), "dflt");
    EXPECT_EQ(platform::getProfileInt("xxx", "k", 7, ini), 7);
    platform::writeProfileString("xxx", "k", nullptr, ini);
    EXPECT_FALSE(platform::fileExists(ini));
}

TEST_F(ProfileTest, FirstWriteCreatesFileAndSection) {
    platform::writeProfileString("xxx", "left", "12", ini);
    platform::writeProfileString("xxx", "top", "-4", ini);
    EXPECT_EQ(readFileBytes(ini), "[xxx]\r\nleft=12\r\ntop=-4\r\n");
    EXPECT_EQ(platform::getProfileInt("xxx", "top", 0, ini), -4);
}

TEST_F(ProfileTest, SectionAndKeyNamesIgnoreAsciiCase) {
    platform::writeProfileString("xxx", "Width", "1000", ini);
    platform::writeProfileString("XXX", "WIDTH", "1200", ini);
    EXPECT_EQ(platform::getProfileString("xXx", "width", "", ini), "1200");
    EXPECT_EQ(readFileBytes(ini), "[xxx]\r\nWidth=1200\r\n");
}

TEST_F(ProfileTest, NullValueRemovesOnlyThatKey) {
    platform::writeProfileString("xxx", "a", "1", ini);
    platform::writeProfileString("xxx", "b", "2", ini);
    platform::writeProfileString("xxx", "A", nullptr, ini);
    EXPECT_EQ(readFileBytes(ini), "[xxx]\r\nb=2\r\n");
    EXPECT_EQ(platform::getProfileString("xxx", "a", "gone", ini), "gone");
}

TEST_F(ProfileTest, ValuesAreCutTo255BytesAtACharacterBoundary) {
    std::string longValue(300, 'v');
    platform::writeProfileString("xxx", "k", longValue.c_str(), ini);
    EXPECT_EQ(platform::getProfileString("xxx", "k", "", ini), std::string(255, 'v'));
    // 254 ASCII bytes then a two-byte GBK character: the character does not fit and is dropped
    // whole rather than leaving half of it behind.
    std::string gbk = std::string(254, 'a') + "\xB1\xB1";
    platform::writeProfileString("xxx", "g", gbk.c_str(), ini);
    EXPECT_EQ(platform::getProfileString("xxx", "g", "", ini), std::string(254, 'a'));
}

TEST_F(ProfileTest, FilesWrittenOnWindowsAreReadAndPreserved) {
    const std::string original =
        "; settings\r\n"
        "[other]\r\n"
        "k=other value\r\n"
        "\r\n"
        "[XXX]\r\n"
        "  left = 40 \r\n"
        "quoted=\"  spaced  \"\r\n"
        "name=\xB1\xB1\xBE\xA9\r\n"
        "\r\n"
        "[last]\r\n"
        "z=9";
    writeFileBytes(ini, original);
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    } reads[] = {
        {"xxx", "left", "40"},
        {"xxx", "quoted", "  spaced  "},
        {"xxx", "name", "\xB1\xB1\xBE\xA9"},
        {"other", "k", "other value"},
        {"last", "z", "9"},
        {"xxx", "k", "<none>"},
    };
    for (const auto& r : reads)
        EXPECT_EQ(platform::getProfileString(r.section, r.key, "<none>", ini), r.value) << r.key;

    platform::writeProfileString("xxx", "left", "41", ini);
    platform::writeProfileString("xxx", "top", "7", ini);
    const std::string expected =
        "; settings\r\n"
        "[other]\r\n"
        "k=other value\r\n"
        "\r\n"
        "[XXX]\r\n"
        "left=41\r\n"
        "quoted=\"  spaced  \"\r\n"
        "name=\xB1\xB1\xBE\xA9\r\n"
        "top=7\r\n"
        "\r\n"
        "[last]\r\n"
        "z=9";
    if (!underWine()) {
        EXPECT_EQ(readFileBytes(ini), expected);
        return;
    }
    // wine rewrites the file without its blank lines and ends the last line; all the rest stays.
    std::string withoutBlankLines;
    for (size_t at = 0; at < expected.size();) {
        size_t end = expected.find('\n', at);
        end = end == std::string::npos ? expected.size() : end + 1;
        std::string line = expected.substr(at, end - at);
        if (line != "\r\n") withoutBlankLines += line;
        at = end;
    }
    EXPECT_EQ(readFileBytes(ini), withoutBlankLines + "\r\n");
}

TEST_F(ProfileTest, LfFilesStayLf) {
    if (underWine()) GTEST_SKIP() << "wine writes CRLF line ends throughout";
    writeFileBytes(ini, "[xxx]\nleft=1\n");
    platform::writeProfileString("xxx", "top", "2", ini);
    platform::writeProfileString("new", "a", "b", ini);
    EXPECT_EQ(readFileBytes(ini), "[xxx]\nleft=1\ntop=2\n[new]\na=b\n");
}

#ifndef _WIN32
// Linux only: the Windows side is the system's own writer.
TEST_F(ProfileTest, AFileThatWouldNotChangeIsNotWrittenAgain) {
    const struct {
        const char* file;
        const char* key;
        const char* value;
        bool replaced;
    } cases[] = {
        {"[xxx]\r\ntab=books\r\n", "tab", "books", false},
        {"[xxx]\r\ntab=books\r\n", "TAB", "books", false},
        {"[xxx]\r\ntab=books\r\n", "tab", "places", true},
        {"[xxx]\r\ntab = books\r\n", "tab", "books", true},
        {"[xxx]\r\ntab=books\r\n", "tab", "", true},
        {"[xxx]\r\ntab=\r\n", "tab", "", false},
    };
    auto inode = [this] {
        struct stat info {};
        return ::stat(ini.c_str(), &info) == 0 ? info.st_ino : 0;
    };
    for (const auto& c : cases) {
        writeFileBytes(ini, c.file);
        auto before = inode();
        EXPECT_TRUE(platform::writeProfileString("xxx", c.key, c.value, ini));
        EXPECT_EQ(inode() != before, c.replaced) << c.file << " " << c.key << "=" << c.value;
        EXPECT_EQ(platform::getProfileString("xxx", c.key, "-", ini), c.value);
    }
}
#endif

TEST_F(ProfileTest, IntegersReadLikeTheProfileFunctions) {
    writeFileBytes(ini, "[xxx]\r\na=12\r\nb=-5\r\nc=abc\r\nd=34px\r\ne=\r\n");
    struct Case {
        const char* key;
        int value;
    } cases[] = {{"a", 12}, {"b", -5}, {"c", 0}, {"d", 34}, {"e", kEmptyInt}, {"missing", 99}};
    for (const auto& c : cases)
        EXPECT_EQ(platform::getProfileInt("xxx", c.key, 99, ini), c.value) << c.key;
}

}  // namespace
