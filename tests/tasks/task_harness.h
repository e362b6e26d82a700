#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/device_manager.h"
#include "support/environment.h"
#include "support/file_tree.h"
#include "support/loopback_server.h"
#include "support/navsim_harness.h"
#include "support/recording_seat.h"
#include "support/temp_dir.h"

// A zip package of `files` (relative paths with '/'), made by the program's own writer ("\"
// separators), by Info-ZIP's zip ("/", with folder entries) or as archiving libraries on Unix
// write files: deflated, "/" separators, Unix modes and no folder entries.
enum class PackageMaker { Own, InfoZip, SlashNamesNoFolders };
std::string makePackage(const FileTree& files, PackageMaker maker = PackageMaker::Own);
// The makers this platform's tests can run: zip is a Linux program, out of reach of a Windows
// test under wine.
std::vector<PackageMaker> availablePackageMakers();
// A track file of `points` recorded points whose first segment has no start date yet.
std::string trackBytes(int points);
// The route book set of N: N.trk, N.sim and the folder N with N.rut and N.tps.
FileTree routeBookSet(const std::string& name, int trackPoints = 50);

using TaskOperation = std::string (*)(DeviceManager&, std::optional<std::string>);

// A program with a navigator (the simulator through the remote API, or a folder seen as a
// removable drive), a loopback portal and route book server, and the page's notifications
// recorded. Its temporary folder is private to the test.
class TaskHarness : public ::testing::Test {
  public:
    enum class Link { Device, Drive };

    TaskHarness();
    ~TaskHarness() override;

    // Connects the program to the navigator as `link`, with an empty track folder.
    void connect(Link link);
    // The same after emptying the track folder, the list, the notifications and the
    // simulator's faults: a new round of a table-driven test.
    void fresh(Link link);
    // The local folder behind the navigator's track folder, + relative.
    std::string onNavigator(const std::string& relative = "") const;
    // The program's own working folder (where packages are fetched and unpacked), + relative.
    std::string inTemp(const std::string& relative = "") const;

    // Puts a set on the navigator and appends it to the program's list.
    void addRouteBook(const std::string& name, const FileTree& files);
    std::vector<std::string> listedNames();

    // Starts the task and waits for its end.
    void run(TaskOperation operation, const std::string& argument);
    std::vector<std::string> pageCalls() const { return seat.pageCalls(); }

    Navsim& navsim() { return simulated.sim; }

    TempDir programTemp;
    // The program's temporary files go to programTemp.
    ScopedEnv tempVariable{kTempFolderVariable, environmentText(programTemp.path()).c_str()};
    SimulatedDevice simulated;
    TempDir drive;
    LoopbackServer server;
    RecordingSeat seat;
    std::unique_ptr<DeviceManager> device;
    Link link = Link::Device;
};

// "currentLushu("N","word")" and the kankan call of a status code, as the page receives them.
std::string progressCall(int ordinal, const char* word);
std::string statusCall(TaskStatus code, platform::OsCause cause = platform::OsCause::None);
// "北京" in the program's ANSI code page.
std::string beijing();
