// The program: one window with the portal, answering the page's methods.

#include <windows.h>
// After windows.h, which it needs.
#include <urlmon.h>

#include <memory>
#include <string>
#include <vector>

#include "app/page_trust.h"
#include "app/start_page.h"
#include "app/user_agent.h"
#include "app/win32/dispatch_external.h"
#include "app/win32/document_trust.h"
#include "app/win32/host_resources.h"
#include "app/win32/host_window.h"
#include "app/win32/resource_ids.h"
#include "app/win32/single_instance.h"
#include "app/win32/window_sink.h"
#include "bridge/external_object.h"
#include "bridge/program_methods.h"
#include "bridge/settings_store.h"
#include "build_config.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/library.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/startup_marks.h"
#include "session/device_manager.h"
#include "update/update_check.h"

namespace {

// The bundled portal beside the program, as a file address (UTF-8).
std::string bundledPortalPage() {
    std::string path = platform::ansiToUtf8(platform::programFolder() + "portal\\index.html");
    for (char& c : path)
        if (c == '\\') c = '/';
    return "file:///" + path;
}

// Every request of the browser names the program and its version: set once, before the browser
// makes its first request.
void addProgramToUserAgent() {
    char agent[1024] = {};
    DWORD size = sizeof agent;
    if (FAILED(ObtainUserAgentString(0, agent, &size))) agent[0] = '\0';
    std::string full = withProgramAgent(agent);
    if (FAILED(UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, full.data(),
                                     static_cast<DWORD>(full.size()), 0)))
        platform::logLine("The browser's user agent could not name the program");
}

void showStartFailure(HINSTANCE instance) {
    char text[512] = {};
    if (LoadStringA(instance, IDS_NETWORK_FAILED, text, sizeof text) <= 0)
        lstrcpynA(text, "KorvelVantu", sizeof text);
    MessageBoxA(nullptr, text, "KorvelVantu", MB_OK | MB_ICONERROR);
}

// The control reports no origin: each document's window.external is made for the address the
// control reports and bound to it, trusted by the rule every host follows.
DocumentTrust documentTrust(const PageTrust& trust) {
    std::vector<std::string> folders;
    for (const std::string& folder : trust.localFolders())
        folders.push_back(platform::utf8ToAnsi(folder));
    return DocumentTrust(trust.origins(), folders);
}

// The window from its first page to its end.
int runWindow(HINSTANCE instance, DeviceManager& device, WindowSink& seat,
              std::unique_ptr<platform::NetworkSession>& network, const std::string& folder) {
    addProgramToUserAgent();
    SettingsStore settings(folder);
    ProgramMethods methods(device);
    ExternalObject external(settings, methods);
    StartPages pages{build_config::kStartPage, build_config::kAltStartPage, bundledPortalPage()};
    ExternalFactory externals(external,
                              documentTrust(PageTrust(pages, build_config::kTrustedOrigins)));
    ExternalMaker makeExternal = [&externals](std::u16string_view address) {
        std::wstring text(address.begin(), address.end());
        return externals.makeExternalFor(text.c_str());
    };
    BackgroundUpdate update(platform::programFile(), updateManifestUrl(), updatePublicKey(), seat);
    HostWindow window({settings, methods, device.connected, update, pages, offlinePicture(), seat},
                      makeExternal);
    if (!window.create(instance)) return 1;
    instance_slot::claim(window.window());
    seat.setWindow(window.window());
    // The first link, after the single-instance check and off the window thread.
    watchRemoteLink(device, seat);
    window.run();
    // A later start must not present a window that is about to go.
    instance_slot::release(window.window());
    // The end, in this order: the task thread (it may still be transferring), the network,
    // then the window.
    device.taskThread.finish();
    network.reset();
    seat.setWindow(nullptr);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    platform::loadLibrariesFromSystemOnly();
    if (instance_slot::isRunningQuery())
        return instance_slot::runningWindow() != nullptr ? instance_slot::kRunningAnswer : 0;
    // The navigator search looks at every removable drive: an empty card reader must fail
    // quietly, not stop the program behind a "no disk" box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The log lives with the settings: a window program's standard error goes nowhere.
    const std::string settingsFolder = SettingsStore::folderFor(platform::programFolder());
    platform::setLogFile(settingsFolder + "vantu.log");
    platform::startupMark("program running");
    // The navigator's objects post through it until the program ends: it is never freed.
    static auto* seat = new WindowSink;
    // Built before anything else: it loads the remote API library.
    DeviceManager device(*seat);
    auto network = std::make_unique<platform::NetworkSession>();
    if (!network->started()) {
        showStartFailure(instance);
        return 1;
    }
    // The browser control lives in this thread's single-threaded apartment.
    if (FAILED(OleInitialize(nullptr))) return 1;
    int status = 0;
    if (HWND first = instance_slot::runningWindow())
        instance_slot::present(first);
    else
        status = runWindow(instance, device, *seat, network, settingsFolder);
    OleUninitialize();
    return status;
}
