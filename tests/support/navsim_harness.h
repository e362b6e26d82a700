#pragma once

#include <map>
#include <string>

#include "platform/library.h"
#include "platform/rapi_link.h"
#include "session/device_manager.h"
#include "support/environment.h"
#include "support/file_tree.h"
#include "support/temp_dir.h"

// The navigator simulator, loaded as the program loads the remote API library (on Linux by name,
// the tests running with the simulator's folder on the loader's path; on Windows from the system
// folder, where the test set-up installs it), so that the tests and the program share one
// simulator, and its control function.
class Navsim {
  public:
    explicit Navsim(const std::string& libraryName = platform::rapiLibraryName());
    ~Navsim();
    Navsim(const Navsim&) = delete;
    Navsim& operator=(const Navsim&) = delete;

    bool loaded() const { return control_ != nullptr; }
    // NavsimControl(command, argument); -1 when the library is missing.
    int control(const std::string& command, const std::string& argument = "");
    // The device root as an ANSI local folder.
    void setRoot(const std::string& folder);
    // The n-th call of `kind` from now fails.
    void fail(const std::string& kind, int n) { control("fail", kind + " " + std::to_string(n)); }
    int calls(const std::string& entryPoint = "") { return control("calls", entryPoint); }

  private:
    platform::Library library_;
    int (*control_)(const char*, const char*) = nullptr;
};

// The simulator that lacks some entry points, for the loader (the copy next to the test
// programs on Windows).
std::string partialSimulatorName();

// A simulated device in a fresh folder, with its storage card folder, and no removable drives.
class SimulatedDevice {
  public:
    SimulatedDevice();
    ~SimulatedDevice();

    Navsim sim;
    TempDir root;
    // "<root>/Storage Card/", the local folder behind the device path "\Storage Card\".
    std::string card() const { return root.file("Storage Card/"); }
    // A local folder below the card: card() + relative ('/' separated).
    std::string onCard(const std::string& relative) const {
        return root.file("Storage Card/" + relative);
    }
};

// Creates every folder of a '/'-separated relative path below `base` (which ends with a
// separator).
void makeFolders(const std::string& base, const std::string& relative);

// A navigator attached as a removable drive or through the remote API (the simulator), its
// storage folder on the PC, and a private temporary folder for the program (TMPDIR, or TMP on
// Windows) so that tests running at once do not share the program's temporary files.
class AttachedNavigator {
  public:
    explicit AttachedNavigator(ConnectionMode mode);
    ~AttachedNavigator();

    ConnectionMode mode;
    SimulatedDevice device;
    TempDir drive;
    TempDir temp;

    // The local folder that holds the storage's userdata folder, ending with a separator.
    std::string storage() const { return mode == RapiDevice ? device.card() : drive.path(); }
    // storage() + a '/'-separated relative path.
    std::string local(const std::string& relative) const;
    // The track folder as the program finds it.
    std::string dataRoot() const;

  private:
    ScopedEnv tempVariable_;
};
