#include <gtest/gtest.h>

#include "app/offline_page.h"
#include "platform/codepage.h"
#include "platform/files.h"
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

TEST(OfflinePage, BuildWritesBothFilesAndOverwritesOldOnes) {
    TempDir temp;
    std::string folder = temp.path() + "vantu/";
    ASSERT_TRUE(platform::createFolder(temp.path() + "vantu"));
    writeFileBytes(folder + "nolink.gif", std::string(10000, 'x'));
    writeFileBytes(folder + "nolink.html", std::string(10000, 'y'));
    const std::string picture("GIF89a\0\x01\x02", 9);

    EXPECT_EQ(buildOfflinePage(temp.path(), picture), folder + "nolink.html");
    EXPECT_EQ(readFileBytes(folder + "nolink.gif"), picture);
    EXPECT_EQ(readFileBytes(folder + "nolink.html"), offlinePageText());
    // And once more, into the folder that exists now.
    EXPECT_EQ(buildOfflinePage(temp.path(), picture), folder + "nolink.html");
}

TEST(OfflinePage, AFolderThatCannotBeWrittenGivesTheTextPage) {
    TempDir temp;
    // A temporary folder that does not exist, and a file standing where the folder should be.
    EXPECT_EQ(buildOfflinePage(temp.path() + "missing/", "GIF"), offlineFallbackAddress());
    writeFileBytes(temp.path() + "vantu", "not a folder");
    EXPECT_EQ(buildOfflinePage(temp.path(), "GIF"), offlineFallbackAddress());
}

TEST(OfflinePage, OnlyTheBrowsersOwnErrorPagesAreIntercepted) {
    struct Case {
        const char* address;
        bool intercepted;
    } cases[] = {
        {"res://ieframe.dll/dnserror.htm", true},
        {"res://", true},
        {"RES://ieframe.dll/dnserror.htm", false},
        {"http://portal.test/?next=res://x", false},
        {" res://x", false},
        {"res:/", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isBrowserErrorPage(c.address), c.intercepted) << c.address;
}

}  // namespace
