// What a connection check costs the window thread while the remote API library is present and
// no navigator is attached: the simulator without a root (NAVSIM_ROOT unset), whose link never
// comes up, and no removable drives. Two checks: the gate before each of the page's device
// methods, and the window's handling of a device-change notification.
//
//   cmake --preset release && cmake --build --preset release -j2 --target device_check_bench
//   build/release/bench/device_check_bench

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/window_controller.h"
#include "bridge/program_methods.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "session/device_manager.h"
#include "support/recording_seat.h"

namespace {

// Every device change lands outside the quiet period of the one before.
class AdvancingClock : public platform::Clock {
  public:
    uint32_t tickCount() const override { return tick_ += 2 * kDeviceChangeQuietMs; }

  private:
    mutable uint32_t tick_ = 0;
};

// The window as the controller sees it: a page always there, nothing drawn, no timer run.
class WindowStandIn : public AppWindow {
  public:
    void navigate(const std::string&) override {}
    void showOfflinePage(const OfflinePage&) override {}
    void showTextPage(const std::string&) override {}
    bool hasDocument() const override { return true; }
    void callPage(const PageCall&, std::function<void()>) override {}
    void show(Show) override {}
    bool ask(const std::string&, const std::string&) override { return false; }
    platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest&) override {
        return {};
    }
    void startTimer(int, unsigned) override {}
    void stopTimer(int) override {}
    WindowPlacement placement() override { return {}; }
    void quit() override {}
};

// No navigator anywhere; the window's device manager as the program builds it, its remote link
// watched.
struct NoNavigator {
    NoNavigator() { watchRemoteLink(device, seat); }
    // Before the device manager: the simulator reads its root when it is first called.
    bool noRoot = [] {
        unsetenv("NAVSIM_ROOT");
        platform::setRemovableDrivesForTesting(std::vector<std::string>{});
        return true;
    }();
    RecordingSeat seat;
    DeviceManager device{seat};
};

void BM_DeviceMethodCheck(benchmark::State& state) {
    NoNavigator none;
    for (auto _ : state)
        benchmark::DoNotOptimize(checkConnection(none.device));
}
BENCHMARK(BM_DeviceMethodCheck)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_DeviceChangeCheck(benchmark::State& state) {
    NoNavigator none;
    AdvancingClock clock;
    platform::setClock(&clock);
    // The window's controller as the program builds it, the program's own connection check
    // behind it; the settings and the update check are not reached by a device change.
    ProgramMethods methods(none.device);
    SettingsStore settings("");
    BackgroundUpdate update("", "");
    WindowStandIn window;
    WindowController controller(
        window, {settings, methods, none.device.connected, update, {"", "", ""}, ""});
    for (auto _ : state)
        benchmark::DoNotOptimize(controller.deviceChanged());
    platform::setClock(nullptr);
}
BENCHMARK(BM_DeviceChangeCheck)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
