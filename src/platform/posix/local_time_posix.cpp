#include <time.h>

#include "platform/local_time.h"
#include "platform/posix/posix_util.h"

namespace platform {

std::optional<FileTime> localTimeToFileTime(const LocalTime& local) {
    if (local.month < 1 || local.month > 12 || local.day < 1 || local.day > 31 || local.hour < 0 ||
        local.hour > 23 || local.minute < 0 || local.minute > 59 || local.second < 0 ||
        local.second > 59)
        return std::nullopt;
    struct tm tm {};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    if (t == static_cast<time_t>(-1)) return std::nullopt;
    struct timespec ts {};
    ts.tv_sec = t;
    return posix::fileTimeFromTimespec(ts);
}

LocalTime fileTimeToLocalTime(FileTime time) {
    struct timespec ts = posix::timespecFromFileTime(time);
    struct tm tm {};
    localtime_r(&ts.tv_sec, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace platform
