// The remote API's structures against the system's own definitions: every field at the offset
// and of the size Windows gives it, in a program of this build's width. A mismatch is a build
// error, not a navigator that answers garbage.
#include <windows.h>

#include <cstddef>

#include "platform/rapi_abi.h"

namespace {

#define SAME_FIELD(ours, system, field)                                     \
    static_assert(offsetof(rapi::ours, field) == offsetof(system, field) && \
                  sizeof(rapi::ours::field) == sizeof(system::field))
#define SAME_SIZE(ours, system) static_assert(sizeof(rapi::ours) == sizeof(system))

SAME_SIZE(DWORD, DWORD);
SAME_SIZE(BOOL, BOOL);
SAME_SIZE(HRESULT, HRESULT);
SAME_SIZE(WORD, WORD);
SAME_SIZE(WCHAR, WCHAR);
SAME_SIZE(HANDLE, HANDLE);
SAME_SIZE(SIZE_T, SIZE_T);
SAME_SIZE(DWORD_PTR, DWORD_PTR);
static_assert(rapi::kMaxPath == MAX_PATH);

SAME_SIZE(FILETIME, FILETIME);
SAME_FIELD(FILETIME, FILETIME, dwLowDateTime);
SAME_FIELD(FILETIME, FILETIME, dwHighDateTime);

SAME_SIZE(SYSTEM_INFO, SYSTEM_INFO);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, wProcessorArchitecture);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, wReserved);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, dwPageSize);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, lpMinimumApplicationAddress);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, lpMaximumApplicationAddress);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, dwActiveProcessorMask);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, dwNumberOfProcessors);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, dwProcessorType);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, dwAllocationGranularity);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, wProcessorLevel);
SAME_FIELD(SYSTEM_INFO, SYSTEM_INFO, wProcessorRevision);

SAME_SIZE(MEMORYSTATUS, MEMORYSTATUS);
SAME_FIELD(MEMORYSTATUS, MEMORYSTATUS, dwLength);
SAME_FIELD(MEMORYSTATUS, MEMORYSTATUS, dwMemoryLoad);
SAME_FIELD(MEMORYSTATUS, MEMORYSTATUS, dwTotalPhys);
SAME_FIELD(MEMORYSTATUS, MEMORYSTATUS, dwAvailPhys);
SAME_FIELD(MEMORYSTATUS, MEMORYSTATUS, dwTotalPageFile);
SAME_FIELD(MEMORYSTATUS, MEMORYSTATUS, dwAvailPageFile);
SAME_FIELD(MEMORYSTATUS, MEMORYSTATUS, dwTotalVirtual);
SAME_FIELD(MEMORYSTATUS, MEMORYSTATUS, dwAvailVirtual);

SAME_SIZE(SECURITY_ATTRIBUTES, SECURITY_ATTRIBUTES);
SAME_FIELD(SECURITY_ATTRIBUTES, SECURITY_ATTRIBUTES, nLength);
SAME_FIELD(SECURITY_ATTRIBUTES, SECURITY_ATTRIBUTES, lpSecurityDescriptor);
SAME_FIELD(SECURITY_ATTRIBUTES, SECURITY_ATTRIBUTES, bInheritHandle);

SAME_SIZE(PROCESS_INFORMATION, PROCESS_INFORMATION);
SAME_FIELD(PROCESS_INFORMATION, PROCESS_INFORMATION, hProcess);
SAME_FIELD(PROCESS_INFORMATION, PROCESS_INFORMATION, hThread);
SAME_FIELD(PROCESS_INFORMATION, PROCESS_INFORMATION, dwProcessId);
SAME_FIELD(PROCESS_INFORMATION, PROCESS_INFORMATION, dwThreadId);

// The device's find data is the desktop's up to the file size; the object id takes the place of
// the first reserved word and the name follows at once, with no short name after it.
SAME_FIELD(CE_FIND_DATA, WIN32_FIND_DATAW, dwFileAttributes);
SAME_FIELD(CE_FIND_DATA, WIN32_FIND_DATAW, ftCreationTime);
SAME_FIELD(CE_FIND_DATA, WIN32_FIND_DATAW, ftLastAccessTime);
SAME_FIELD(CE_FIND_DATA, WIN32_FIND_DATAW, ftLastWriteTime);
SAME_FIELD(CE_FIND_DATA, WIN32_FIND_DATAW, nFileSizeHigh);
SAME_FIELD(CE_FIND_DATA, WIN32_FIND_DATAW, nFileSizeLow);
static_assert(offsetof(rapi::CE_FIND_DATA, dwOID) == offsetof(WIN32_FIND_DATAW, dwReserved0));
static_assert(offsetof(rapi::CE_FIND_DATA, cFileName) == offsetof(WIN32_FIND_DATAW, dwReserved1));
static_assert(sizeof(rapi::CE_FIND_DATA) ==
              offsetof(WIN32_FIND_DATAW, dwReserved1) + MAX_PATH * sizeof(WCHAR));

// The system's headers here do not declare the remote API's own records: their documented
// declarations, spelled with the system's types.
struct SystemRapiInit {
    DWORD cbSize;
    HANDLE heRapiInit;
    HRESULT hrRapiInit;
};
struct SystemStoreInformation {
    DWORD dwStoreSize;
    DWORD dwFreeSize;
};
struct SystemCeGuid {
    DWORD Data1;
    DWORD Data2;
    DWORD Data3;
    DWORD Data4;
};

SAME_SIZE(RAPIINIT, SystemRapiInit);
SAME_FIELD(RAPIINIT, SystemRapiInit, cbSize);
SAME_FIELD(RAPIINIT, SystemRapiInit, heRapiInit);
SAME_FIELD(RAPIINIT, SystemRapiInit, hrRapiInit);
SAME_SIZE(STORE_INFORMATION, SystemStoreInformation);
SAME_FIELD(STORE_INFORMATION, SystemStoreInformation, dwStoreSize);
SAME_FIELD(STORE_INFORMATION, SystemStoreInformation, dwFreeSize);
SAME_SIZE(CEGUID, SystemCeGuid);
SAME_FIELD(CEGUID, SystemCeGuid, Data4);

}  // namespace
