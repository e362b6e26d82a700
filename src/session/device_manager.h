#pragma once

#include <optional>
#include <string>

#include "ops/navigator_state.h"
#include "tasks/task_runner.h"

// The one program-wide object: the navigator link and data (NavigatorState) and the task
// machinery with the account's upload path (TaskState). Each layer below owns its part; this one
// only puts them together. Built before the window, destroyed after it.
class DeviceManager : public NavigatorState, public TaskState {
  public:
    explicit DeviceManager(Seat& seat);
    virtual ~DeviceManager();
    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    // The track folder from which the leftovers of cut-off work were last taken; empty after a
    // check that found no navigator.
    std::string sweptRoot;
};

// The connection check for the page's device methods: finds the navigator (findNavigator) and,
// when none is found, empties the route book list. The first check that finds a navigator takes
// away what work cut off by the end of an earlier run, or by the navigator's removal, left there
// (removeLeftovers).
int checkConnection(DeviceManager& device);

// The page's three task methods: each starts its worker (see startTask) and answers "".
std::string importToPDA(DeviceManager& device, std::optional<std::string> text);
std::string deleteSelected(DeviceManager& device, std::optional<std::string> text);
std::string exportFromPDA(DeviceManager& device, std::optional<std::string> text);
