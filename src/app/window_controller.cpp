#include "app/window_controller.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/offline_page.h"
#include "common/seat.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/startup_marks.h"

namespace {

std::string decimal(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return text;
}

const PageCall kPdaLink{"PDALink", {}};

}  // namespace

WindowController::WindowController(AppWindow& window, Parts parts)
    : window_(window), parts_(std::move(parts)), update_(parts_.update) {
    parts_.seat.attach(this);
}

WindowController::~WindowController() {
    parts_.seat.attach(nullptr);
}

WindowRect WindowController::startPlacement() const {
    WindowRect rect = ::startPlacement(parts_.settings);
    platform::startupMark("settings read");
    return rect;
}

void WindowController::start() {
    window_.navigate(startPageAddress(parts_.settings, parts_.pages));
    // Where no page comes (a system whose browser cannot show one), the update check runs all
    // the same, so that such a program can still receive the version that mends it.
    window_.startTimer(TIMER_UPDATE_WITHOUT_PAGE, kUpdateWithoutPageMs);
}

// ---- pages

bool WindowController::beforeNavigate(std::string_view address) {
    if (!isBrowserErrorPage(address)) return false;
    // The browser's own error page, of any frame: the whole window shows the offline page.
    queueFallback(Fallback::Offline);
    return true;
}

bool WindowController::navigationFailed(bool topFrame) {
    if (!topFrame || closing_) return false;
    // When the offline page itself fails, the text page; when even that fails, nothing is left.
    if (fallback_ == Fallback::None)
        queueFallback(Fallback::Offline);
    else if (fallback_ == Fallback::Offline)
        queueFallback(Fallback::Text);
    return true;
}

void WindowController::documentReady() {
    if (closing_) return;
    fallback_ = Fallback::None;
    navigated_ = true;
    platform::startupMark("page loaded");
    window_.stopTimer(TIMER_UPDATE_WITHOUT_PAGE);
    // The check runs on a thread of its own and comes back through taskEvent(). An updater copy
    // only hands over and closes, so its window is never shown.
    update_.start();
    if (update_.isUpdaterCopy()) return;
    window_.show(shown_ ? AppWindow::Show::Restore : AppWindow::Show::First);
    shown_ = true;
    platform::startupMark("window shown");
}

// The browser must not be sent elsewhere from inside its own event: the page changes when the
// timer ticks.
void WindowController::queueFallback(Fallback what) {
    queued_ = std::max(queued_, what);
    window_.startTimer(TIMER_OFFLINE_PAGE, 0);
}

void WindowController::showFallback() {
    window_.stopTimer(TIMER_OFFLINE_PAGE);
    Fallback what = std::exchange(queued_, Fallback::None);
    if (closing_ || what == Fallback::None) return;
    if (what == Fallback::Offline) {
        if (fallback_ != Fallback::None) return;  // on its way already
        std::string file = buildOfflinePage(platform::privateFolder(), parts_.offlinePicture);
        if (file != offlineFallbackAddress()) {
            fallback_ = Fallback::Offline;
            window_.showOfflinePage({file, offlinePageText(), parts_.offlinePicture});
            return;
        }
    }
    fallback_ = Fallback::Text;
    window_.showTextPage(kOfflineText);
}

// ---- events

void WindowController::rightButtonDown(int x, int y) {
    if (!window_.hasDocument()) return;
    // The page has always had each coordinate as 16 bits without a sign.
    auto low16 = [](int v) { return static_cast<unsigned>(v) & 0xFFFF; };
    window_.callPage({"onRButtonDown", {decimal(low16(x)), decimal(low16(y))}});
}

bool WindowController::connectedOrFound() {
    return parts_.connected != 0 || parts_.methods.checkConnection() != 0;
}

bool WindowController::deviceChanged() {
    uint32_t now = platform::clock().tickCount();
    // Unsigned difference: the tick count wraps after 49.7 days.
    if (static_cast<uint32_t>(now - lastDeviceChangeTick_) <= kDeviceChangeQuietMs ||
        !window_.hasDocument())
        return false;
    if (connectedOrFound()) {
        window_.callPage(kPdaLink);
    } else {
        window_.startTimer(TIMER_DEVICE_RECHECK, kDeviceRecheckMs);
        parts_.methods.restartDeviceLink();
    }
    lastDeviceChangeTick_ = now;
    return true;
}

bool WindowController::deviceLinkUp() {
    if (!window_.hasDocument()) return false;
    if (connectedOrFound()) {
        window_.callPage(kPdaLink);
        // Found: the device timers have nothing left to do.
        window_.stopTimer(TIMER_DEVICE_RECHECK);
        window_.stopTimer(TIMER_DEVICE_LATE);
    }
    return true;
}

void WindowController::deviceTimer(int id) {
    // The late timer calls without looking: the page checks the device itself.
    if (id == TIMER_DEVICE_LATE || connectedOrFound())
        window_.callPage(kPdaLink);
    else
        window_.startTimer(TIMER_DEVICE_LATE, kDeviceLateMs);
    window_.stopTimer(id);
}

bool WindowController::taskEvent(const TaskEvent& event) {
    bool closeNow = false;
    if (update_.handleEvent(event, closeNow)) {
        if (closeNow) close();
        return true;
    }
    if (event.kind == TaskEvent::Kind::DeviceLink) return deviceLinkUp();
    std::optional<PageCall> call = pageCallFor(event);
    if (!call || !window_.hasDocument()) return false;
    window_.callPage(*call);
    return true;
}

bool WindowController::ask(const std::string& text, const std::string& title) {
    return window_.ask(text, title);
}

platform::FileDialogAnswer WindowController::chooseFile(
    const platform::FileDialogRequest& request) {
    return window_.chooseFile(request);
}

bool WindowController::timer(int id) {
    switch (id) {
        case TIMER_DEVICE_RECHECK:
        case TIMER_DEVICE_LATE:
            if (!window_.hasDocument()) return false;
            deviceTimer(id);
            return true;
        case TIMER_UPDATE_WITHOUT_PAGE:
            window_.stopTimer(id);
            if (!navigated_) update_.start();
            return true;
        case TIMER_OFFLINE_PAGE:
            showFallback();
            return true;
        case TIMER_EXIT_CALL:
            finish();
            return true;
        default:
            return false;
    }
}

// ---- placement and the end

void WindowController::stateChanging(WindowState to) {
    WindowPlacement now = window_.placement();
    // Minimising and maximising keep the normal rectangle for the next start; a window given
    // back its size saves nothing.
    if (now.state != to && to != WindowState::Normal)
        savePlacement(parts_.settings, now.state, now.normal);
}

void WindowController::close() {
    if (closing_) return;
    closing_ = true;
    WindowPlacement now = window_.placement();
    savePlacement(parts_.settings, now.state, now.normal);
    if (!window_.hasDocument()) return finish();
    // The page gets a while to run "onWinExit"; the window goes after that regardless.
    window_.startTimer(TIMER_EXIT_CALL, kExitCallMs);
    window_.callPage({"onWinExit", {}}, [this] { finish(); });
}

void WindowController::finish() {
    if (finished_) return;
    finished_ = true;
    window_.stopTimer(TIMER_EXIT_CALL);
    window_.quit();
}
