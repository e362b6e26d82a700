#include "app/gtk/host_config.h"

#include "build_config.h"

const HostConfig& hostConfig() {
#ifdef VANTU_TEST_START_PAGE
    static const HostConfig config{VANTU_TEST_START_PAGE, VANTU_TEST_ALT_START_PAGE,
                                   VANTU_TEST_TRUSTED_ORIGINS, true, true};
#else
    static const HostConfig config{build_config::kStartPage, build_config::kAltStartPage,
                                   build_config::kTrustedOrigins, false, false};
#endif
    return config;
}
