#pragma once

#include <string>

#include "bridge/settings_store.h"

// The build's page addresses (UTF-8); an empty start or alternate page means the bundled page.
struct StartPages {
    std::string start;
    std::string alternate;
    std::string bundled;
};

// The address the window opens: with a stored "_GoogleAdsense" text longer than 5 bytes, the
// alternate page followed by "?" and that text as it is; otherwise the start page.
std::string startPageAddress(const SettingsStore& settings, const StartPages& pages);
