#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/rapi_binding.h"
#include "formats/route_file.h"
#include "ops/poi_store.h"
#include "tasks/account_binding.h"
#include "tasks/task_runner.h"

enum ConnectionMode : int { NotConnected = 0, RemovableDrive = 1, RapiDevice = 2 };

// One route book of the navigator's list: the title shown and the base name of its files.
struct RouteBookEntry {
    std::string title;
    std::string fileName;
};

// The one program-wide object that holds the navigator's state. The window thread and the one
// worker thread share it: the route book list and the route data object each have a mutex, the
// stop flag is atomic, and a worker takes its own copy of mode and dataRoot when it starts.
class DeviceManager {
  public:
    // Loads the remote API library and tries a first remote link (up to 2000 ms).
    DeviceManager();
    virtual ~DeviceManager();
    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    ConnectionMode mode = NotConnected;
    int connected = 0;
    std::atomic<int> stopRequested{0};
    std::string accountName;
    std::string uploadPath = kUploadPathTemplate;
    // The navigator's track folder with a trailing backslash (device path) or separator (drive).
    std::string dataRoot;
    // Index = rbid.
    std::vector<std::unique_ptr<RouteBookEntry>> routeBooks;
    std::mutex routeBooksMutex;
    RapiBinding rapi;
    PoiStore poiStore;
    RouteBookData routeData;
    std::mutex routeDataMutex;
    TaskThread taskThread;
};
