#include "app/offline_page.h"

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"

std::string offlineFallbackAddress() {
    return platform::utf8ToAnsi("about:请联网以后使用！");
}

std::string offlinePageText() {
    return platform::utf8ToAnsi(
        "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"zh-CN\" lang=\"zh-CN\">"
        "<head><base target=\"_blank\" />"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=GB2312\" /></head>"
        "<style type=\"text/css\" media=\"all\">"
        "body{position:relative;overflow:auto;background-color:#C4C8D4;margin:0;"
        "text-align:center;vertical-align:middle;}img{position:relative;top:160;}</style>"
        "<body ><img src=\"nolink.gif\" alt=\"不能连接KorvelVantu服务器，请检查网络后再试\" "
        "width=\"507\" height=\"230\"></body></html>");
}

std::string offlineFolder(const std::string& tempFolder) {
    return tempFolder + "vantu" + platform::kPathSeparator;
}

std::string buildOfflinePage(const std::string& tempFolder, std::string_view picture) {
    std::string folder = offlineFolder(tempFolder);
    if (!platform::createFolder(folder.substr(0, folder.size() - 1)))
        return offlineFallbackAddress();
    if (!platform::writeWholeFile(folder + "nolink.gif", picture)) return offlineFallbackAddress();
    std::string page = folder + "nolink.html";
    if (!platform::writeWholeFile(page, offlinePageText())) return offlineFallbackAddress();
    return page;
}

bool isBrowserErrorPage(std::string_view address) {
    return address.substr(0, 6) == "res://";
}
