#include "app/win32/host_dialog.h"

#include "app/offline_page.h"
#include "app/placement.h"
#include "app/win32/program_resources.h"
#include "app/win32/resource_ids.h"
#include "app/win32/window_subclass.h"
#include "common/task_status.h"
#include "platform/codepage.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/utf8_text.h"

namespace {

// Asks the window to show the offline page once the browser's event has returned.
constexpr UINT WM_SHOW_OFFLINE = WM_APP + 1;

// The update check runs after each completed navigation; where no page has come by this time
// (a system whose browser control cannot show one), it runs all the same, so that such a
// program can still receive the version that mends it.
constexpr UINT_PTR TIMER_UPDATE_WITHOUT_PAGE = 1001;
constexpr UINT kUpdateWithoutPageMs = 10000;

constexpr WPARAM kEnter = VK_RETURN;
constexpr WPARAM kEscape = VK_ESCAPE;

std::u16string ansiAddress(const std::string& ansi) {
    return platform::ansiToUtf16(ansi);
}

bool isKey(const MSG& message) {
    return message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST;
}

// The rectangle SetWindowPlacement expects: relative to the work area of the monitor it is on.
RECT toWorkspace(RECT rect) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(MonitorFromRect(&rect, MONITOR_DEFAULTTOPRIMARY), &info))
        OffsetRect(&rect, info.rcMonitor.left - info.rcWork.left,
                   info.rcMonitor.top - info.rcWork.top);
    return rect;
}

// The window's DPI: the system says it from Windows 10 (1607) on; before, every window has the
// screen's.
UINT dpiOf(HWND window) {
    static const platform::Library user32("user32.dll");
    static const auto getDpiForWindow = user32.function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (UINT dpi = getDpiForWindow(window)) return dpi;
    }
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

HostDialog::HostDialog(Parts parts)
    : connected_(parts.connected),
      methods_(parts.methods),
      settings_(parts.settings),
      scriptCall_(std::move(parts.scriptCall)),
      startAddress_(std::move(parts.startAddress)),
      site_(new BrowserSite(*this, std::move(parts.externals))),
      update_(platform::programFile(), std::move(parts.manifestUrl)) {}

HostDialog::~HostDialog() {
    site_->close();
    if (window_ != nullptr) DestroyWindow(window_);
    if (icon_ != nullptr) DestroyIcon(icon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

bool HostDialog::create(HINSTANCE instance) {
    icon_ =
        static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_WINDOW), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_WINDOW), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    window_ = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_HOST_DIALOG), nullptr, dialogProc,
                                 reinterpret_cast<LPARAM>(this));
    return window_ != nullptr;
}

void HostDialog::run() {
    MSG message;
    while (!ended_ && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void HostDialog::runPending() {
    MSG message;
    while (!ended_ && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

INT_PTR CALLBACK HostDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<HostDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->window_ = window;
        self->initialise();
        // The dialog manager gives the focus to the first control.
        return TRUE;
    }
    auto* self = reinterpret_cast<HostDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

void HostDialog::initialise() {
    RECT client{};
    GetClientRect(window_, &client);
    // The browser takes the place and the number of the placeholder control.
    if (HWND placeholder = GetDlgItem(window_, IDC_BROWSER)) DestroyWindow(placeholder);
    if (site_->create(window_, client) && site_->window() != nullptr)
        SetWindowLongPtrA(site_->window(), GWLP_ID, IDC_BROWSER);
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    dpi_ = dpiOf(window_);
    navigate(utf8::toUtf16(startAddress_));
    placeAtStart();
    resizeBrowser();
    SetTimer(window_, TIMER_FLASH_SCAN, kFlashScanMs, nullptr);
    SetTimer(window_, TIMER_UPDATE_WITHOUT_PAGE, kUpdateWithoutPageMs, nullptr);
}

void HostDialog::placeAtStart() {
    WindowRect stored = startPlacement(settings_);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window_, &placement);
    placement.flags = 0;
    // Minimised until the first page has loaded; never maximised at start.
    placement.showCmd = SW_SHOWMINIMIZED;
    placement.rcNormalPosition = toWorkspace(
        {stored.left, stored.top, stored.left + stored.width, stored.top + stored.height});
    SetWindowPlacement(window_, &placement);
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void HostDialog::savePlacement() {
    WindowState state = IsIconic(window_)   ? WindowState::Minimized
                        : IsZoomed(window_) ? WindowState::Maximized
                                            : WindowState::Normal;
    RECT outer{};
    GetWindowRect(window_, &outer);
    ::savePlacement(settings_, state,
                    {outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top});
}

void HostDialog::resizeBrowser() {
    if (site_->window() == nullptr) return;
    RECT client{};
    GetClientRect(window_, &client);
    site_->resize(client);
    InvalidateRect(site_->window(), nullptr, TRUE);
}

bool HostDialog::paintMinimised() {
    if (!IsIconic(window_)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(window_, &client);
    int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(window_, &paint);
    return true;
}

INT_PTR HostDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SYSCOMMAND:
            // Only the plain commands: one with any of its low four bits set saves nothing.
            if (wParam == SC_MINIMIZE || wParam == SC_MAXIMIZE) savePlacement();
            return FALSE;
        case WM_SIZE:
            resizeBrowser();
            return FALSE;
        case WM_GETMINMAXINFO: {
            // The minimum is in pixels at 96 DPI: the same size on the screen at every DPI.
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {MulDiv(kMinTrackWidth, static_cast<int>(dpi_), 96),
                                      MulDiv(kMinTrackHeight, static_cast<int>(dpi_), 96)};
            return FALSE;
        }
        case WM_DPICHANGED: {
            // Moved to a monitor of another DPI, or its scale changed: the size the system
            // suggests keeps the window as large on the screen as it was.
            dpi_ = HIWORD(wParam);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return TRUE;
        }
        case WM_PAINT:
            return paintMinimised() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:  // Enter never closes the window
                    return TRUE;
                case IDCANCEL:
                    close();
                    return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            close();
            return TRUE;
        case WM_TIMER:
            timer(static_cast<int>(wParam));
            return TRUE;
        case WM_DEVICECHANGE:
            // Broadcast to top-level windows by sending, so it never passes the pre-filter.
            if (router_.deviceChanged()) {
                SetWindowLongPtrA(window_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_SHOW_OFFLINE:
            showOfflinePage();
            return TRUE;
        case WM_DESTROY:
            KillTimer(window_, TIMER_FLASH_SCAN);
            KillTimer(window_, TIMER_UPDATE_WITHOUT_PAGE);
            return FALSE;
        default:
            break;
    }
    if (message == WM_TASK_STATUS || message == WM_TASK_PROGRESS || message == WM_DEVICE_LINK) {
        router_.taskMessage(message, wParam, static_cast<intptr_t>(lParam));
        return TRUE;
    }
    if (message == WM_UPDATE_QUESTION || message == WM_UPDATE_DONE) {
        bool closeNow = false;
        update_.handleMessage(message, wParam, closeNow);
        if (closeNow) close();
        return TRUE;
    }
    return FALSE;
}

bool HostDialog::preTranslate(MSG& message) {
    if (window_ == nullptr || (message.hwnd != window_ && !IsChild(window_, message.hwnd)))
        return false;
    switch (message.message) {
        case WM_RBUTTONDOWN:
            // The click goes on to the page as well.
            router_.rightButtonDown(static_cast<intptr_t>(message.lParam));
            return false;
        case WM_KEYDOWN:
        case WM_KEYUP:
            if (message.wParam == kEnter) {
                // Straight to the browser, never to the dialog's default button.
                if (site_->window() != nullptr)
                    SendMessageA(site_->window(), message.message, kEnter, message.lParam);
                return false;
            }
            if (message.wParam == kEscape) return false;
            break;
        default:
            break;
    }
    return defaultPreTranslate(message);
}

bool HostDialog::defaultPreTranslate(MSG& message) {
    if (isKey(message) && site_->translateAccelerator(message)) return true;
    return IsDialogMessageA(window_, &message) != FALSE;
}

void HostDialog::timer(int id) {
    if (static_cast<UINT_PTR>(id) == TIMER_UPDATE_WITHOUT_PAGE) {
        KillTimer(window_, TIMER_UPDATE_WITHOUT_PAGE);
        if (!navigated_) update_.start();
        return;
    }
    if (router_.timer(id)) return;
    // Every other tick looks for the plug-in player's windows until one has been found.
    if (filterFlashMenus(window_)) KillTimer(window_, TIMER_FLASH_SCAN);
}

void HostDialog::close() {
    if (closing_) return;
    closing_ = true;
    savePlacement();
    if (page_->hasDocument()) callPage({"onWinExit", {}});
    // The window goes when its owner destroys it, after the task thread and the network.
    ShowWindow(window_, SW_HIDE);
    ended_ = true;
}

void HostDialog::callPage(const PageCall& call) {
    page_->call(call);
}

void HostDialog::startTimer(int id, unsigned intervalMs) {
    SetTimer(window_, static_cast<UINT_PTR>(id), intervalMs, nullptr);
}

void HostDialog::stopTimer(int id) {
    KillTimer(window_, static_cast<UINT_PTR>(id));
}

bool HostDialog::isConnected() {
    return connected_ != 0;
}

bool HostDialog::checkConnection() {
    return methods_.checkConnection() != 0;
}

void HostDialog::restartDeviceLink() {
    methods_.restartDeviceLink();
}

bool HostDialog::BrowserPage::hasDocument() {
    return host_.site_->hasDocument();
}

void HostDialog::BrowserPage::call(const PageCall& call) {
    ComRef<IDispatch> document = host_.site_->document();
    if (document && host_.scriptCall_) host_.scriptCall_(document.get(), call);
}

bool HostDialog::beforeNavigate(std::u16string_view address) {
    if (!isBrowserErrorPage(utf8::fromUtf16(address))) return false;
    // The browser's own error page, of any frame: the whole window shows the offline page.
    PostMessageA(window_, WM_SHOW_OFFLINE, 0, 0);
    return true;
}

bool HostDialog::navigateError(bool topFrame, std::u16string_view) {
    if (!topFrame || closing_) return false;
    if (offlinePending_) {
        // The offline page itself failed: the text page, which needs nothing that could fail.
        offlinePending_ = false;
        if (!textPagePending_) {
            textPagePending_ = true;
            navigate(ansiAddress(offlineFallbackAddress()));
        }
        return true;
    }
    PostMessageA(window_, WM_SHOW_OFFLINE, 0, 0);
    return true;
}

void HostDialog::showOfflinePage() {
    if (closing_ || offlinePending_) return;
    std::string page = buildOfflinePage(platform::privateFolder(), offlinePicture());
    if (page == offlineFallbackAddress()) {
        textPagePending_ = true;
    } else {
        offlinePending_ = true;
    }
    navigate(ansiAddress(page));
}

void HostDialog::navigateComplete(bool topFrame, std::u16string_view) {
    if (topFrame) offlinePending_ = textPagePending_ = false;
    navigated_ = true;
    // The check runs on its own thread and comes back through posted messages; the window never
    // waits for it. An updater copy only hands over and closes, so its window stays minimised.
    update_.start();
    if (update_.isUpdaterCopy()) return;
    if (!shown_) {
        shown_ = true;
        ShowWindow(window_, SW_SHOWNORMAL);
        SetForegroundWindow(window_);
    } else if (IsIconic(window_)) {
        ShowWindow(window_, SW_RESTORE);
    }
}

void HostDialog::navigate(const std::u16string& address) {
    site_->navigate(address);
}
