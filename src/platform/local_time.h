#pragma once

#include <optional>

#include "platform/clock.h"
#include "platform/files.h"

// Calendar fields in the local time zone and file times (UTC).
namespace platform {

// Nothing for fields that name no moment.
std::optional<FileTime> localTimeToFileTime(const LocalTime& local);
LocalTime fileTimeToLocalTime(FileTime time);

}  // namespace platform
