#pragma once

#include "bridge/external_methods.h"
#include "bridge/pc_files.h"
#include "session/device_manager.h"

// The page's operations as the program runs them, over the program-wide DeviceManager.
class ProgramMethods : public ExternalMethods {
  public:
    explicit ProgramMethods(DeviceManager& device) : device_(device) {}

    int checkConnection() override;
    void restartDeviceLink() override;
    std::string connToPDA(const std::string& text) override;
    std::string getPdaAddr() override;
    std::string poiToPDA(const std::string& text) override;
    std::string deleteSelectedPoi(const std::string& text) override;
    std::string showRoadbook(const std::string& text) override;
    std::string setUsername(const std::string& account) override;
    std::string importToPDA(std::string text) override;
    std::string deleteSelected(std::string text) override;
    std::string exportFromPDA(std::string text) override;
    void pauseTask(const std::string& text) override;
    std::string installPackageFromPC(const std::string& name) override;
    std::string installGpxFromPC(const std::string& name) override;
    std::string saveGpxToPC(const std::string& rbid) override;
    std::string backupToPC(const std::string& name) override;
    std::string restoreFromPC(const std::string& choice) override;
    std::string backupOutcome() override;

  private:
    DeviceManager& device_;
    PcBackup lastBackup_;
};
