#include "app/win32/host_window.h"

#include "app/win32/file_dialog_box.h"
#include "app/win32/resource_ids.h"
#include "app/win32/script_caller.h"
#include "app/win32/window_sink.h"
#include "app/win32/window_subclass.h"
#include "platform/codepage.h"
#include "platform/library.h"
#include "platform/startup_marks.h"
#include "platform/utf8_text.h"

namespace {

constexpr WPARAM kEnter = VK_RETURN;
constexpr WPARAM kEscape = VK_ESCAPE;

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
const platform::Library& user32() {
    static const platform::Library library("user32.dll");
    return library;
}

// The system's DPI, which the browser control scales its pages by.
UINT systemDpi() {
    static const auto getDpiForSystem = user32().function<UINT(WINAPI*)()>("GetDpiForSystem");
    if (getDpiForSystem != nullptr) {
        if (UINT dpi = getDpiForSystem()) return dpi;
    }
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT dpiOf(HWND window) {
    static const auto getDpiForWindow = user32().function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (UINT dpi = getDpiForWindow(window)) return dpi;
    }
    return systemDpi();
}

}  // namespace

HostWindow::HostWindow(WindowController::Parts parts, ExternalMaker externals)
    : controller_(*this, std::move(parts)), site_(new BrowserSite(*this, std::move(externals))) {}

HostWindow::~HostWindow() {
    site_->close();
    if (window_ != nullptr) DestroyWindow(window_);
    if (icon_ != nullptr) DestroyIcon(icon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

bool HostWindow::create(HINSTANCE instance) {
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

void HostWindow::run() {
    MSG message;
    while (!ended_ && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void HostWindow::runPending() {
    MSG message;
    while (!ended_ && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

INT_PTR CALLBACK HostWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<HostWindow*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->window_ = window;
        self->initialise();
        // The dialog manager gives the focus to the first control.
        return TRUE;
    }
    auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

void HostWindow::initialise() {
    RECT client{};
    GetClientRect(window_, &client);
    // The browser takes the place and the number of the placeholder control.
    if (HWND placeholder = GetDlgItem(window_, IDC_BROWSER)) DestroyWindow(placeholder);
    if (site_->create(window_, client) && site_->window() != nullptr)
        SetWindowLongPtrA(site_->window(), GWLP_ID, IDC_BROWSER);
    platform::startupMark("engine ready");
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    dpi_ = dpiOf(window_);
    controller_.start();
    placeAtStart();
    resizeBrowser();
    SetTimer(window_, TIMER_FLASH_SCAN, kFlashScanMs, nullptr);
}

void HostWindow::placeAtStart() {
    WindowRect stored = controller_.startPlacement();
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window_, &placement);
    placement.flags = 0;
    // Minimised until the controller shows it.
    placement.showCmd = SW_SHOWMINIMIZED;
    placement.rcNormalPosition = toWorkspace(
        {stored.left, stored.top, stored.left + stored.width, stored.top + stored.height});
    SetWindowPlacement(window_, &placement);
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void HostWindow::resizeBrowser() {
    if (site_->window() == nullptr) return;
    RECT client{};
    GetClientRect(window_, &client);
    site_->resize(client);
    InvalidateRect(site_->window(), nullptr, TRUE);
}

bool HostWindow::paintMinimised() {
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

void HostWindow::limitSize(MINMAXINFO& limits) const {
    // The minimum is in pixels at 96 DPI: the same size on the screen at every DPI.
    limits.ptMinTrackSize = {MulDiv(kMinTrackWidth, static_cast<int>(dpi_), 96),
                             MulDiv(kMinTrackHeight, static_cast<int>(dpi_), 96)};
}

void HostWindow::followDpi(UINT dpi, const RECT& suggested) {
    // Moved to a monitor of another DPI, or its scale changed: the size the system suggests
    // keeps the window as large on the screen as it was.
    dpi_ = dpi;
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    zoomToDpi();
}

void HostWindow::zoomToDpi() {
    // The control scales its page by the system's DPI only; on a monitor of another scale the
    // page's zoom makes up the difference (and a new document starts unzoomed).
    page_->zoom(MulDiv(100, static_cast<int>(dpi_), static_cast<int>(systemDpi())));
}

// ---- the window's events

INT_PTR HostWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SYSCOMMAND:
            // Only the plain commands: one with any of its low four bits set changes nothing.
            if (wParam == SC_MINIMIZE) controller_.stateChanging(WindowState::Minimized);
            if (wParam == SC_MAXIMIZE) controller_.stateChanging(WindowState::Maximized);
            return FALSE;
        case WM_SIZE:
            resizeBrowser();
            return FALSE;
        case WM_GETMINMAXINFO:
            limitSize(*reinterpret_cast<MINMAXINFO*>(lParam));
            return FALSE;
        case WM_DPICHANGED:
            followDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return TRUE;
        case WM_PAINT:
            return paintMinimised() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_COMMAND:
            return command(LOWORD(wParam)) ? TRUE : FALSE;
        case WM_CLOSE:
            controller_.close();
            return TRUE;
        case WM_TIMER:
            timer(static_cast<int>(wParam));
            return TRUE;
        case WM_DEVICECHANGE:
            return deviceChanged() ? TRUE : FALSE;
        case WM_DESTROY:
            KillTimer(window_, TIMER_FLASH_SCAN);
            return FALSE;
        case WM_TASK_EVENT:
            // What other threads post through the seat.
            controller_.taskEvent(taskEventFrom(wParam, lParam));
            return TRUE;
        default:
            return FALSE;
    }
}

bool HostWindow::command(WORD id) {
    switch (id) {
        case IDOK:  // Enter never closes the window
            return true;
        case IDCANCEL:
            controller_.close();
            return true;
        default:
            return false;
    }
}

bool HostWindow::deviceChanged() {
    // Broadcast to top-level windows by sending, so it never passes the pre-filter.
    if (!controller_.deviceChanged()) return false;
    SetWindowLongPtrA(window_, DWLP_MSGRESULT, TRUE);
    return true;
}

void HostWindow::timer(int id) {
    if (controller_.timer(id)) return;
    // Every other tick looks for the plug-in player's windows until one has been found.
    if (filterFlashMenus(window_)) KillTimer(window_, TIMER_FLASH_SCAN);
}

bool HostWindow::preTranslate(MSG& message) {
    if (window_ == nullptr || (message.hwnd != window_ && !IsChild(window_, message.hwnd)))
        return false;
    switch (message.message) {
        case WM_RBUTTONDOWN:
            // The click goes on to the page as well.
            controller_.rightButtonDown(LOWORD(message.lParam), HIWORD(message.lParam));
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
    if (isKey(message) && site_->translateAccelerator(message)) return true;
    return IsDialogMessageA(window_, &message) != FALSE;
}

// ---- what the controller asks

void HostWindow::navigateTo(const std::u16string& address) {
    site_->navigate(address);
}

void HostWindow::navigate(const std::string& address) {
    navigateTo(utf8::toUtf16(address));
}

void HostWindow::showOfflinePage(const OfflinePage& page) {
    navigateTo(platform::ansiToUtf16(page.file));
}

void HostWindow::showTextPage(const std::string& text) {
    navigateTo(u"about:" + utf8::toUtf16(text));
}

void HostWindow::callPage(const PageCall& call, std::function<void()> done) {
    // The page has run the call when this returns.
    page_->call(call);
    if (done) done();
}

void HostWindow::show(Show how) {
    if (how == Show::First) {
        ShowWindow(window_, SW_SHOWNORMAL);
        SetForegroundWindow(window_);
    } else if (IsIconic(window_)) {
        ShowWindow(window_, SW_RESTORE);
    }
}

bool HostWindow::ask(const std::string& text, const std::string& title) {
    return MessageBoxA(nullptr, text.c_str(), title.c_str(),
                       MB_YESNO | MB_ICONINFORMATION | MB_SETFOREGROUND) == IDYES;
}

platform::FileDialogAnswer HostWindow::chooseFile(const platform::FileDialogRequest& request) {
    return runFileDialog(request, window_, nullptr);
}

void HostWindow::startTimer(int id, unsigned intervalMs) {
    SetTimer(window_, static_cast<UINT_PTR>(id), intervalMs, nullptr);
}

void HostWindow::stopTimer(int id) {
    KillTimer(window_, static_cast<UINT_PTR>(id));
}

WindowPlacement HostWindow::placement() {
    WindowState state = IsIconic(window_)   ? WindowState::Minimized
                        : IsZoomed(window_) ? WindowState::Maximized
                                            : WindowState::Normal;
    RECT outer{};
    GetWindowRect(window_, &outer);
    return {state, {outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top}};
}

void HostWindow::quit() {
    // The window goes when its owner destroys it, after the task thread and the network.
    ShowWindow(window_, SW_HIDE);
    ended_ = true;
}

bool HostWindow::BrowserPage::hasDocument() {
    return host_.site_->hasDocument();
}

void HostWindow::BrowserPage::call(const PageCall& call) {
    if (ComRef<IDispatch> document = host_.site_->document())
        callPageFunction(document.get(), call);
}

void HostWindow::BrowserPage::zoom(int percent) {
    host_.site_->zoom(percent);
}

// ---- what the browser tells

bool HostWindow::beforeNavigate(std::u16string_view address) {
    return controller_.beforeNavigate(utf8::fromUtf16(address));
}

void HostWindow::documentComplete(bool topFrame) {
    if (!topFrame) return;
    zoomToDpi();
    controller_.documentReady();
}

bool HostWindow::navigateError(bool topFrame, std::u16string_view) {
    return controller_.navigationFailed(topFrame);
}
