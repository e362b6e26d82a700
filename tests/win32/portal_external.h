#pragma once

#include "app/win32/dispatch_external.h"
#include "support/recording_methods.h"
#include "support/temp_dir.h"

// The program's window.external for a portal at http://portal.example/: its settings in a fresh
// folder, the page's other methods recorded.
struct PortalExternal {
    TempDir dir;
    SettingsStore settings{dir.path()};
    RecordingMethods ops;
    ExternalObject external{settings, ops};
    ExternalFactory factory{external,
                            DocumentTrust(OriginPolicy({"http://portal.example/"}, ""), {})};
};
