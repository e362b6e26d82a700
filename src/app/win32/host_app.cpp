// The program: one window with the portal, answering the page's methods.

#include <windows.h>
// After windows.h, which it needs.
#include <urlmon.h>

#include <memory>
#include <string>

#include "app/origin_policy.h"
#include "app/start_page.h"
#include "app/user_agent.h"
#include "app/win32/dispatch_external.h"
#include "app/win32/document_trust.h"
#include "app/win32/file_dialog_box.h"
#include "app/win32/host_dialog.h"
#include "app/win32/instance_slot.h"
#include "app/win32/post_message_sink.h"
#include "app/win32/question_box.h"
#include "app/win32/resource_ids.h"
#include "app/win32/script_caller.h"
#include "bridge/external_object.h"
#include "bridge/program_methods.h"
#include "bridge/settings_store.h"
#include "build_config.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/log.h"
#include "platform/paths.h"
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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (instance_slot::isRunningQuery())
        return instance_slot::runningWindow() != nullptr ? instance_slot::kRunningAnswer : 0;
    // The navigator search looks at every removable drive: an empty card reader must fail
    // quietly, not stop the program behind a "no disk" box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The log lives with the settings: a window program's standard error goes nowhere.
    const std::string settingsFolder = SettingsStore::folderFor(platform::programFolder());
    platform::setLogFile(settingsFolder + "vantu.log");
    // Built before anything else: it loads the remote API library.
    DeviceManager device;

    auto network = std::make_unique<platform::NetworkSession>();
    if (!network->started()) {
        showStartFailure(instance);
        return 1;
    }
    // The browser control lives in this thread's single-threaded apartment.
    if (FAILED(OleInitialize(nullptr))) return 1;

    if (HWND first = instance_slot::runningWindow()) {
        instance_slot::present(first);
        OleUninitialize();
        return 0;
    }

    installQuestionBox();
    installFileDialogBox();
    addProgramToUserAgent();
    SettingsStore settings(settingsFolder);
    ProgramMethods methods(device);
    ExternalObject external(settings, methods);
    StartPages pages{build_config::kStartPage, build_config::kAltStartPage, bundledPortalPage()};
    // The page's methods answer only the start pages' origins, the trusted ones and the bundled
    // portal; the offline page and everything else get an object that does nothing.
    ExternalFactory externals(
        external,
        DocumentTrust(OriginPolicy({build_config::kStartPage, build_config::kAltStartPage},
                                   build_config::kTrustedOrigins),
                      {platform::programFolder() + "portal\\"}));
    ExternalMaker makeExternal = [&externals](std::u16string_view address) {
        std::wstring text(address.begin(), address.end());
        return externals.makeExternalFor(text.c_str());
    };
    ScriptCall callScript = [](IDispatch* document, const PageCall& call) {
        callPageFunction(document, call);
    };

    // The worker's notifications outlive the window: a task still running when the window has
    // gone may post until the program ends.
    static auto* sink = new PostMessageSink;
    platform::setMessageSink(sink);

    {
        HostDialog dialog({device.connected, methods, settings, makeExternal, callScript,
                           startPageAddress(settings, pages), updateManifestUrl()});
        if (!dialog.create(instance)) {
            OleUninitialize();
            return 1;
        }
        instance_slot::claim(dialog.window());
        sink->setWindow(dialog.window());
        // The first link, after the single-instance check and off the window thread.
        watchRemoteLink(device);
        dialog.run();
        // A later start must not present a window that is about to go.
        instance_slot::release(dialog.window());
        // The end, in this order: the task thread (it may still be transferring), the network,
        // then the window.
        device.taskThread.finish();
        network.reset();
        sink->setWindow(nullptr);
    }
    OleUninitialize();
    return 0;
}
