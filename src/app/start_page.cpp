#include "app/start_page.h"

#include "platform/codepage.h"

std::string startPageAddress(const SettingsStore& settings, const StartPages& pages) {
    std::string query = settings.getValue("_GoogleAdsense");
    if (query.size() > 5) {
        const std::string& page = pages.alternate.empty() ? pages.bundled : pages.alternate;
        return page + "?" + platform::ansiToUtf8(query);
    }
    return pages.start.empty() ? pages.bundled : pages.start;
}
