#include "app/offline_page.h"

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"

std::string offlineFallbackAddress() {
    return platform::utf8ToAnsi(std::string("about:") + kOfflineText);
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

std::string buildOfflinePage(const std::string& folder, std::string_view picture) {
    if (folder.empty()) return offlineFallbackAddress();
    if (!platform::writeNewFile(platform::joinPath(folder, "nolink.gif"), picture))
        return offlineFallbackAddress();
    std::string page = platform::joinPath(folder, "nolink.html");
    if (!platform::writeNewFile(page, offlinePageText())) return offlineFallbackAddress();
    return page;
}

bool isBrowserErrorPage(std::string_view address) {
    return address.substr(0, 6) == "res://";
}
