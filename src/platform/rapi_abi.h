#pragma once

#include <cstddef>
#include <cstdint>

// The navigator's remote API as a binary interface: the types and entry points of the library
// that the program loads at run time (and that the navigator simulator provides). On Windows this
// is the platform's own library and these declarations match it; on Linux the same interface is
// ours: C linkage, the Windows names and argument order, 16-bit UTF-16 strings, HANDLE, SIZE_T
// and DWORD_PTR as pointer-sized values, BOOL, DWORD and HRESULT as 32-bit integers, so that every
// structure has the layout Windows gives it in a program of the same width (64-bit here). The
// link-start event of RAPIINIT is a Windows event there and a file descriptor that becomes
// readable here.
#if defined(_WIN32)
#define RAPI_CALL __stdcall
#else
#define RAPI_CALL
#endif

namespace rapi {

using DWORD = uint32_t;
using BOOL = int32_t;
using HRESULT = int32_t;
using WORD = uint16_t;
using WCHAR = char16_t;
using HANDLE = void*;
using SIZE_T = size_t;
using DWORD_PTR = uintptr_t;

inline constexpr int kMaxPath = 260;

inline HANDLE invalidHandleValue() {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

inline constexpr HRESULT kOk = 0;
inline constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005);  // E_FAIL

inline constexpr DWORD kGenericRead = 0x80000000;
inline constexpr DWORD kGenericWrite = 0x40000000;
inline constexpr DWORD kFileShareRead = 0x1;
inline constexpr DWORD kCreateNew = 1;
inline constexpr DWORD kCreateAlways = 2;
inline constexpr DWORD kOpenExisting = 3;
inline constexpr DWORD kOpenAlways = 4;
inline constexpr DWORD kTruncateExisting = 5;
inline constexpr DWORD kFileAttributeNormal = 0x80;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct CE_FIND_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[kMaxPath];
};

struct STORE_INFORMATION {
    DWORD dwStoreSize;
    DWORD dwFreeSize;
};

// cbSize is sizeof(RAPIINIT): 12 in a 32-bit program, 24 in a 64-bit one.
struct RAPIINIT {
    DWORD cbSize;
    HANDLE heRapiInit;
    HRESULT hrRapiInit;
};

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    void* lpSecurityDescriptor;
    BOOL bInheritHandle;
};

struct OVERLAPPED;
struct STARTUPINFO;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    void* lpMinimumApplicationAddress;
    void* lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};

struct MEMORYSTATUS {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    SIZE_T dwTotalPhys;
    SIZE_T dwAvailPhys;
    SIZE_T dwTotalPageFile;
    SIZE_T dwAvailPageFile;
    SIZE_T dwTotalVirtual;
    SIZE_T dwAvailVirtual;
};

struct CEGUID {
    DWORD Data1;
    DWORD Data2;
    DWORD Data3;
    DWORD Data4;
};

// The layouts of a 64-bit Windows program, which the simulator on Linux shares; the Windows build
// checks every structure against the system's own headers as well (rapi_abi_win32.cpp).
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(CE_FIND_DATA) == 560 && offsetof(CE_FIND_DATA, cFileName) == 40);
static_assert(sizeof(RAPIINIT) == 24 && offsetof(RAPIINIT, heRapiInit) == 8 &&
              offsetof(RAPIINIT, hrRapiInit) == 16);
static_assert(sizeof(SECURITY_ATTRIBUTES) == 24 &&
              offsetof(SECURITY_ATTRIBUTES, bInheritHandle) == 16);
static_assert(sizeof(PROCESS_INFORMATION) == 24 && offsetof(PROCESS_INFORMATION, dwThreadId) == 20);
static_assert(sizeof(SYSTEM_INFO) == 48 &&
              offsetof(SYSTEM_INFO, lpMinimumApplicationAddress) == 8 &&
              offsetof(SYSTEM_INFO, dwActiveProcessorMask) == 24 &&
              offsetof(SYSTEM_INFO, dwNumberOfProcessors) == 32 &&
              offsetof(SYSTEM_INFO, wProcessorRevision) == 46);
static_assert(sizeof(MEMORYSTATUS) == 56 && offsetof(MEMORYSTATUS, dwTotalPhys) == 8 &&
              offsetof(MEMORYSTATUS, dwAvailVirtual) == 48);
static_assert(sizeof(STORE_INFORMATION) == 8 && sizeof(CEGUID) == 16 && sizeof(FILETIME) == 8);
#endif

}  // namespace rapi

// The entry points, with the library's names.
extern "C" {
rapi::HANDLE RAPI_CALL CeCreateFile(const rapi::WCHAR* lpFileName, rapi::DWORD dwDesiredAccess,
                                    rapi::DWORD dwShareMode,
                                    rapi::SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                    rapi::DWORD dwCreationDisposition,
                                    rapi::DWORD dwFlagsAndAttributes, rapi::HANDLE hTemplateFile);
rapi::BOOL RAPI_CALL CeWriteFile(rapi::HANDLE hFile, const void* lpBuffer,
                                 rapi::DWORD nNumberOfBytesToWrite,
                                 rapi::DWORD* lpNumberOfBytesWritten,
                                 rapi::OVERLAPPED* lpOverlapped);
rapi::BOOL RAPI_CALL CeCloseHandle(rapi::HANDLE hObject);
rapi::HANDLE RAPI_CALL CeFindFirstFile(const rapi::WCHAR* lpFileName,
                                       rapi::CE_FIND_DATA* lpFindFileData);
rapi::DWORD RAPI_CALL CeGetFileSize(rapi::HANDLE hFile, rapi::DWORD* lpFileSizeHigh);
rapi::BOOL RAPI_CALL CeReadFile(rapi::HANDLE hFile, void* lpBuffer,
                                rapi::DWORD nNumberOfBytesToRead, rapi::DWORD* lpNumberOfBytesRead,
                                rapi::OVERLAPPED* lpOverlapped);
rapi::BOOL RAPI_CALL CeFindNextFile(rapi::HANDLE hFindFile, rapi::CE_FIND_DATA* lpFindFileData);
rapi::BOOL RAPI_CALL CeCreateDirectory(const rapi::WCHAR* lpPathName,
                                       rapi::SECURITY_ATTRIBUTES* lpSecurityAttributes);
rapi::BOOL RAPI_CALL CeCreateProcess(const rapi::WCHAR* lpApplicationName,
                                     const rapi::WCHAR* lpCommandLine,
                                     rapi::SECURITY_ATTRIBUTES* lpProcessAttributes,
                                     rapi::SECURITY_ATTRIBUTES* lpThreadAttributes,
                                     rapi::BOOL bInheritHandles, rapi::DWORD dwCreationFlags,
                                     void* lpEnvironment, rapi::WCHAR* lpCurrentDirectory,
                                     rapi::STARTUPINFO* lpStartupInfo,
                                     rapi::PROCESS_INFORMATION* lpProcessInformation);
void RAPI_CALL CeGetSystemInfo(rapi::SYSTEM_INFO* lpSystemInfo);
rapi::HRESULT RAPI_CALL CeRapiUninit();
rapi::BOOL RAPI_CALL CeEnumDBVolumes(rapi::CEGUID* pceguid, rapi::WCHAR* lpBuf,
                                     rapi::DWORD dwNumChars);
rapi::BOOL RAPI_CALL CeFlushDBVol(rapi::CEGUID* pceguid);
rapi::DWORD RAPI_CALL CeGetTempPath(rapi::DWORD nBufferLength, rapi::WCHAR* lpBuffer);
rapi::BOOL RAPI_CALL CeFindClose(rapi::HANDLE hFindFile);
void RAPI_CALL CeGlobalMemoryStatus(rapi::MEMORYSTATUS* lpmst);
rapi::HRESULT RAPI_CALL CeRapiInitEx(rapi::RAPIINIT* pRapiInit);
rapi::BOOL RAPI_CALL CeDeleteFile(const rapi::WCHAR* lpFileName);
rapi::BOOL RAPI_CALL CeCopyFile(const rapi::WCHAR* lpExistingFileName,
                                const rapi::WCHAR* lpNewFileName, rapi::BOOL bFailIfExists);
rapi::BOOL RAPI_CALL CeRemoveDirectory(const rapi::WCHAR* lpPathName);
rapi::BOOL RAPI_CALL CeGetStoreInformation(rapi::STORE_INFORMATION* lpsi);
rapi::BOOL RAPI_CALL CeSetFileTime(rapi::HANDLE hFile, const rapi::FILETIME* lpCreationTime,
                                   const rapi::FILETIME* lpLastAccessTime,
                                   const rapi::FILETIME* lpLastWriteTime);
rapi::BOOL RAPI_CALL CeMoveFile(const rapi::WCHAR* lpExistingFileName,
                                const rapi::WCHAR* lpNewFileName);
rapi::HRESULT RAPI_CALL CeRapiInit();
}
