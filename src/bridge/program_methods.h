#pragma once

#include "bridge/external_methods.h"
#include "bridge/pc_files.h"
#include "session/device_manager.h"

// What the program's operations work on: the program-wide DeviceManager, and the backup or
// restore the page started last.
struct ProgramState {
    DeviceManager& device;
    PcBackup lastBackup;
};

// The page's operations as the program runs them: each method's handler in the table.
class ProgramMethods : public ExternalMethods {
  public:
    explicit ProgramMethods(DeviceManager& device) : state_{device, {}} {}

    int checkConnection() override;
    void restartDeviceLink() override;
    MethodOutcome run(const PageMethod& method, std::string text) override;

  private:
    ProgramState state_;
};
