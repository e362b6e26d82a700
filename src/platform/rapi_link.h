#pragma once

#include <cstdint>
#include <string>

#include "platform/rapi_abi.h"

// What the remote API binding needs from the system besides the library itself.
namespace platform {

// The remote API library for the loader: the system folder + "\rapi.dll" on Windows, the bare
// name "librapi.so" (found by the system loader) elsewhere.
std::string rapiLibraryName();

enum class EventWait { Signaled, TimedOut, Failed };

// Waits at most `milliseconds` for the link-start event of RAPIINIT.
EventWait waitForRapiEvent(rapi::HANDLE event, uint32_t milliseconds);

}  // namespace platform
