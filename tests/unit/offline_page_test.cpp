#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "app/offline_page.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/native_path.h"
#include "support/temp_dir.h"

namespace {

// Written out from the page's description, not from the code.
const char* const kExpectedPage =
    R"(<html xmlns="http://www.w3.org/1999/xhtml" xml:lang="zh-CN" lang="zh-CN"><head>)"
    R"(<base target="_blank" /><meta http-equiv="Content-Type" )"
    R"(content="text/html; charset=GB2312" /></head><style type="text/css" media="all">)"
    R"(body{position:relative;overflow:auto;background-color:#C4C8D4;margin:0;text-align:)"
    R"(center;vertical-align:middle;}img{position:relative;top:160;}</style><body >)"
    R"(<img src="nolink.gif" alt="不能连接KorvelVantu服务器，请检查网络后再试" width="507" )"
    R"(height="230"></body></html>)";

TEST(OfflinePage, TextIsOneLineOfGbk) {
    std::string page = offlinePageText();
    EXPECT_EQ(platform::ansiToUtf8(page), kExpectedPage);
    EXPECT_NE(page.find("\xB2\xBB\xC4\xDC\xC1\xAC\xBD\xD3"), std::string::npos);  // 不能连接
    EXPECT_EQ(page.find('\n'), std::string::npos);
    EXPECT_EQ(platform::ansiToUtf8(offlineFallbackAddress()), "about:请联网以后使用！");
}

// What another local user (or a stale run) may have left at a name the page is written to.
enum class Planted { Nothing, OldFile, LinkToVictim, DanglingLink, Fifo, Folder };

// Links and pipes need privileges on Windows that another local user does not have.
bool canPlant(Planted what) {
#ifdef _WIN32
    return what == Planted::Nothing || what == Planted::OldFile || what == Planted::Folder;
#else
    (void)what;
    return true;
#endif
}

void plant(Planted what, const std::string& at, const std::string& victim) {
    switch (what) {
        case Planted::Nothing:
            break;
        case Planted::OldFile:
            writeFileBytes(at, std::string(10000, 'y'));
            break;
#ifndef _WIN32
        case Planted::LinkToVictim:
            ASSERT_EQ(symlink(victim.c_str(), at.c_str()), 0);
            break;
        case Planted::DanglingLink:
            ASSERT_EQ(symlink((victim + ".new").c_str(), at.c_str()), 0);
            break;
        case Planted::Fifo:
            ASSERT_EQ(mkfifo(at.c_str(), 0666), 0);
            break;
#else
        case Planted::LinkToVictim:
        case Planted::DanglingLink:
        case Planted::Fifo:
            FAIL() << "nothing of this kind can be planted here, not even at " << victim;
#endif
        case Planted::Folder:
            ASSERT_TRUE(platform::createFolder(at));
            break;
    }
}

TEST(OfflinePage, WrittenAsNewFilesInThePrivateFolderWhateverWasPlanted) {
    struct Case {
        const char* name;
        Planted planted;
        bool built;
    } cases[] = {
        {"empty folder", Planted::Nothing, true},
        {"files of an earlier interception are replaced", Planted::OldFile, true},
        {"a link to the user's file is replaced, not written through", Planted::LinkToVictim, true},
        {"a dangling link creates nothing at its target", Planted::DanglingLink, true},
        {"a pipe is replaced, never opened", Planted::Fifo, true},
        {"a folder in the way gives the text page", Planted::Folder, false},
    };
    const std::string picture("GIF89a\0\x01\x02", 9);
    for (const Case& c : cases) {
        if (!canPlant(c.planted)) continue;
        for (const char* name : {"nolink.html", "nolink.gif"}) {
            SCOPED_TRACE(std::string(c.name) + ": " + name);
            TempDir parent;
            std::string folder = platform::createPrivateFolder(parent.path());
            ASSERT_FALSE(folder.empty());
            std::string victim = parent.file("victim");
            writeFileBytes(victim, "the user's own file");
            plant(c.planted, folder + name, victim);

            std::string page = buildOfflinePage(folder, picture);
            EXPECT_EQ(readFileBytes(victim), "the user's own file");
            EXPECT_FALSE(platform::fileExists(victim + ".new"));
            if (!c.built) {
                EXPECT_EQ(page, offlineFallbackAddress());
                continue;
            }
            EXPECT_EQ(page, folder + "nolink.html");
            std::error_code ec;
            EXPECT_EQ(std::filesystem::symlink_status(nativePath(folder + name), ec).type(),
                      std::filesystem::file_type::regular);
            EXPECT_EQ(readFileBytes(folder + "nolink.gif"), picture);
            EXPECT_EQ(readFileBytes(folder + "nolink.html"), offlinePageText());
            platform::removeTree(folder);
        }
    }
}

#ifndef _WIN32
TEST(OfflinePage, TheOldSharedFolderIsNeverUsed) {
    // Another user's folder at the name the page used to be written to, holding a link to a
    // file of ours and a pipe.
    TempDir temp;
    std::string victim = temp.file("victim");
    writeFileBytes(victim, "the user's own file");
    ASSERT_TRUE(platform::createFolder(temp.file("vantu")));
    ASSERT_EQ(symlink(victim.c_str(), temp.file("vantu/nolink.html").c_str()), 0);
    ASSERT_EQ(mkfifo(temp.file("vantu/nolink.gif").c_str(), 0666), 0);

    std::string folder = platform::createPrivateFolder(temp.path());
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.rfind(temp.file("vantu/"), 0), std::string::npos);
    EXPECT_EQ(buildOfflinePage(folder, "GIF"), folder + "nolink.html");
    EXPECT_EQ(readFileBytes(victim), "the user's own file");
    platform::removeTree(folder);
}
#endif

TEST(OfflinePage, WithoutAPrivateFolderTheTextPageIsShown) {
    EXPECT_EQ(buildOfflinePage("", "GIF"), offlineFallbackAddress());
    EXPECT_FALSE(platform::fileExists("nolink.html"));
}

}  // namespace
