#pragma once

#include "bridge/page_operations.h"
#include "device/device_manager.h"

// The page's operations as the program runs them, over the program-wide DeviceManager.
class ProgramOperations : public PageOperations {
  public:
    explicit ProgramOperations(DeviceManager& device) : device_(device) {}

  private:
    [[maybe_unused]] DeviceManager& device_;
};
