#include "platform/local_time.h"
#include "platform/win32/win32_util.h"

// Both directions use the time-zone rules in force on the date converted (daylight saving
// included), so that a file time read back as local fields and converted again is unchanged.
namespace platform {

std::optional<FileTime> localTimeToFileTime(const LocalTime& local) {
    // SYSTEMTIME counts years from 1601 to 30827.
    if (local.year < 1601 || local.year > 30827 || local.month < 1 || local.month > 12 ||
        local.day < 1 || local.day > 31 || local.hour < 0 || local.hour > 23 || local.minute < 0 ||
        local.minute > 59 || local.second < 0 || local.second > 59)
        return std::nullopt;
    SYSTEMTIME fields{};
    fields.wYear = static_cast<WORD>(local.year);
    fields.wMonth = static_cast<WORD>(local.month);
    fields.wDay = static_cast<WORD>(local.day);
    fields.wHour = static_cast<WORD>(local.hour);
    fields.wMinute = static_cast<WORD>(local.minute);
    fields.wSecond = static_cast<WORD>(local.second);
    SYSTEMTIME utc;
    FILETIME ft;
    // The first conversion only checks the fields: 30 February names no day.
    if (!SystemTimeToFileTime(&fields, &ft) ||
        !TzSpecificLocalTimeToSystemTime(nullptr, &fields, &utc) ||
        !SystemTimeToFileTime(&utc, &ft))
        return std::nullopt;
    return win32::fromFiletime(ft);
}

LocalTime fileTimeToLocalTime(FileTime time) {
    FILETIME ft = win32::toFiletime(time);
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&ft, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return {};
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

}  // namespace platform
