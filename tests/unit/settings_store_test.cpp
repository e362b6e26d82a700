#include "bridge/settings_store.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <optional>

#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/environment.h"
#include "support/os_faults.h"
#include "support/temp_dir.h"

namespace {

class SettingsStoreTest : public ::testing::Test {
  protected:
    TempDir dir;
    SettingsStore store{dir.path()};
};

TEST_F(SettingsStoreTest, ValuesLiveInSectionXxxOfVantuIni) {
    store.writeValue("_GoogleAdsense", "abcdef");
    store.writeIntSetting("width", 1000);
    EXPECT_EQ(readFileBytes(dir.file("vantu.ini")),
              "[xxx]\r\n_GoogleAdsense=abcdef\r\nwidth=1000\r\n");
    EXPECT_EQ(store.readIntSetting("WIDTH"), 1000);
    EXPECT_EQ(store.readIntSetting("height"), 0);
    EXPECT_EQ(store.getValue("missing"), "");
    store.writeValue("width", nullptr);
    EXPECT_EQ(store.readIntSetting("width"), 0);
}

// The window and vantu-cli share the file: a store reads a value again when the other program has
// changed the file, and only then.
TEST_F(SettingsStoreTest, AValueIsReadAgainWhenTheFileHasChanged) {
    const std::string ini = dir.file("vantu.ini");
    const platform::FileTime now = platform::Clock().utcNow();
    const platform::FileTime longAgo = now - 600ULL * 10'000'000;
    struct Case {
        const char* other;  // what the other program leaves (null: it removes the file)
        bool sameTime;      // with the file's time put back as it was
        bool recent;        // the file had been written just before this store first read it
        const char* read;
    } cases[] = {
        {"[xxx]\r\nk=22\r\n", false, false, "22"},
        {"[xxx]\r\nk=2\r\n", false, false, "2"},
        {nullptr, false, false, ""},
        // The same size and time tell nothing within the time's resolution of the last write ...
        {"[xxx]\r\nk=2\r\n", true, true, "2"},
        // ... and past it, the value read before stands.
        {"[xxx]\r\nk=2\r\n", true, false, "1"},
    };
    for (const Case& c : cases) {
        const platform::FileTime first = c.recent ? now : longAgo;
        writeFileBytes(ini, "[xxx]\r\nk=1\r\n");
        ASSERT_TRUE(platform::setFileWriteTime(ini, first));
        SettingsStore window(dir.path());
        EXPECT_EQ(window.getValue("k"), "1");
        if (c.other == nullptr)
            platform::deleteFile(ini);
        else
            writeFileBytes(ini, c.other);
        if (c.sameTime) {
            ASSERT_TRUE(platform::setFileWriteTime(ini, first));
        }
        EXPECT_EQ(window.getValue("k"), c.read) << (c.other ? c.other : "removed");
    }
}

TEST_F(SettingsStoreTest, A300CharacterValueReadsBackAsItsFirst255) {
    std::string value(300, 'x');
    value[254] = 'y';
    store.writeValue("k", value.c_str());
    EXPECT_EQ(store.getValue("k"), value.substr(0, 255));
}

TEST_F(SettingsStoreTest, FileTextStopsAtTheFirstNul) {
    writeFileBytes(dir.file("page.txt"), std::string("line one\r\nline\0two", 18));
    EXPECT_EQ(store.getFileText("page.txt"), "line one\r\nline");
    EXPECT_EQ(store.getFileText("missing.txt"), "");
}

TEST_F(SettingsStoreTest, WritingTextCreatesOrTruncates) {
    EXPECT_EQ(store.writeFileText("a.txt", "first content"), 1);
    EXPECT_EQ(readFileBytes(dir.file("a.txt")), "first content");
    EXPECT_EQ(store.writeFileText("a.txt", ""), 1);
    EXPECT_TRUE(platform::fileExists(dir.file("a.txt")));
    EXPECT_EQ(readFileBytes(dir.file("a.txt")), "");
}

TEST_F(SettingsStoreTest, AFailingSystemKeepsTheSettingsAndThePagesFilesWhole) {
    const std::string settings = "[xxx]\r\nwidth=1000\r\n";
    for (test::OsFault fault : test::kOsFaults) {
        for (const char* file : {"vantu.ini", "page.txt"}) {
            SCOPED_TRACE(test::nameOf(fault) + std::string(" ") + file);
            writeFileBytes(dir.file("vantu.ini"), settings);
            writeFileBytes(dir.file("page.txt"), "earlier text");
            {
                test::ScopedOsFault failing(fault, dir.file(file));
                if (file == std::string("vantu.ini"))
                    store.writeValue("height", std::string(5000, '7').c_str());
                else
                    EXPECT_EQ(store.writeFileText(file, std::string(100000, 'p')), 0);
            }
            EXPECT_EQ(readFileBytes(dir.file("vantu.ini")), settings);
            EXPECT_EQ(readFileBytes(dir.file("page.txt")), "earlier text");
            EXPECT_EQ(platform::listFolder(dir.path())->size(), 2u) << "nothing beside them";
        }
    }
}

TEST_F(SettingsStoreTest, SubFoldersWorkButAreNeverCreated) {
    EXPECT_EQ(store.writeFileText("sub/x.txt", "x"), 0);
    EXPECT_FALSE(platform::folderExists(dir.file("sub")));
    platform::createFolder(dir.file("sub"));
    EXPECT_EQ(store.writeFileText("sub\\x.txt", "in sub"), 1);
    EXPECT_EQ(store.getFileText("sub/x.txt"), "in sub");
}

TEST_F(SettingsStoreTest, NamesThatLeaveTheProgramFolderAreRefused) {
    TempDir outside;
    writeFileBytes(outside.file("secret.txt"), "secret");
    const std::string refused[] = {
        outside.file("secret.txt"),  // absolute
        "/etc/passwd",
        "\\Windows\\win.ini",
        "C:\\boot.ini",
        "C:relative.txt",
        "../secret.txt",
        "..\\secret.txt",
        "sub/../../secret.txt",
        "..",
        "",
    };
    for (const auto& name : refused) {
        EXPECT_EQ(store.getFileText(name), "") << name;
        EXPECT_EQ(store.writeFileText(name, "overwritten"), 0) << name;
    }
    EXPECT_EQ(readFileBytes(outside.file("secret.txt")), "secret");
    // Dots inside a name are ordinary characters.
    EXPECT_EQ(store.writeFileText("a..b.txt", "ok"), 1);
    EXPECT_EQ(store.getFileText("./a..b.txt"), "ok");
}

#ifndef _WIN32
// The POSIX folders (XDG); Windows keeps an installed program's settings in the user's
// application-data folder.
TEST(SettingsFolder, PortableCopiesKeepSettingsBesideTheProgramInstalledOnesInTheUsersFolder) {
    TempDir portable, home, config;
    struct Case {
        const char* what;
        std::string programFolder;
        const char* configHome;  // XDG_CONFIG_HOME
        std::string expected;
    };
    const Case cases[] = {
        {"writable program folder", portable.path(), config.path().c_str(), portable.path()},
        {"installed, XDG_CONFIG_HOME set", "/usr/bin/", config.path().c_str(),
         config.path() + "vantu/"},
        {"installed, no XDG_CONFIG_HOME", "/usr/bin/", nullptr, home.path() + ".config/vantu/"},
        {"installed, relative XDG_CONFIG_HOME is ignored", "/usr/lib/vantu/", "relative/config",
         home.path() + ".config/vantu/"},
    };
    ScopedEnv homeEnv("HOME", home.path().c_str());
    for (const Case& c : cases) {
        ScopedEnv configEnv("XDG_CONFIG_HOME", c.configHome);
        std::string folder = SettingsStore::folderFor(c.programFolder);
        EXPECT_EQ(folder, c.expected) << c.what;
        // The folder exists, so that the first setting can be written there.
        SettingsStore store(folder);
        store.writeValue("k", "v");
        EXPECT_EQ(store.getValue("k"), "v") << c.what;
        EXPECT_EQ(store.writeFileText("page.txt", "text"), 1) << c.what;
    }
}
#else
// An installed program, for everyone or for the user alone (under the user's own Programs
// folder, which the user may write), keeps its settings in the user's application data, where
// an update or an uninstallation leaves them; any other copy the user may write beside itself.
TEST(SettingsFolder, InstalledCopiesKeepSettingsInTheUsersApplicationData) {
    const char* local = std::getenv("LOCALAPPDATA");
    const char* programFiles = std::getenv("ProgramFiles");
    ASSERT_TRUE(local != nullptr && programFiles != nullptr);
    std::string userPrograms = std::string(local) + "\\Programs";
    std::string installed = userPrograms + "\\KorvelVantu-test\\";
    platform::createFolder(userPrograms);
    ASSERT_TRUE(platform::createFolder(installed) || platform::folderExists(installed));
    TempDir portable;
    std::string appData = platform::userConfigFolder() + "vantu\\";
    struct Case {
        const char* what;
        std::string programFolder;
        std::string expected;
    };
    std::string shouted = installed;
    for (char& c : shouted)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const Case cases[] = {
        {"a copy where the user writes", portable.path(), portable.path()},
        {"installed for the user", installed, appData},
        {"installed for the user, other letter case", shouted, appData},
        {"installed for everyone", std::string(programFiles) + "\\KorvelVantu\\", appData},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingsStore::folderFor(c.programFolder), c.expected) << c.what;
    platform::removeFolder(installed);
}
#endif

}  // namespace
