#pragma once

#include <cstdint>
#include <string>

#include "platform/library.h"
#include "platform/rapi_abi.h"

// The navigator's remote API, loaded at run time. Every remote call of the program goes through
// the entry points held here. An entry point that the loaded library lacks is never called: its
// call fails as the remote call would (0, or the invalid handle for the handle-returning ones).
class RapiBinding {
  public:
    static constexpr uint32_t kLinkWaitMilliseconds = 2000;

    // Loads the system's remote API library and tries a first remote link.
    RapiBinding();
    // The same with a library of the given name (tests load variants of the simulator).
    explicit RapiBinding(const std::string& libraryName);
    virtual ~RapiBinding();
    RapiBinding(const RapiBinding&) = delete;
    RapiBinding& operator=(const RapiBinding&) = delete;

    void load(const std::string& libraryName);
    int isLoaded() const { return loaded_; }
    // Ends any earlier link and starts a new one, waiting up to 2000 ms for it. 1 when it is up.
    int openRemoteLink();

    rapi::HANDLE CeCreateFile(const char16_t* path, rapi::DWORD access, rapi::DWORD share,
                              rapi::DWORD creation, rapi::DWORD flags);
    rapi::BOOL CeWriteFile(rapi::HANDLE file, const void* data, rapi::DWORD size,
                           rapi::DWORD* written);
    rapi::BOOL CeCloseHandle(rapi::HANDLE handle);
    rapi::HANDLE CeFindFirstFile(const char16_t* pattern, rapi::CE_FIND_DATA* data);
    rapi::BOOL CeReadFile(rapi::HANDLE file, void* buffer, rapi::DWORD size, rapi::DWORD* read);
    rapi::BOOL CeFindNextFile(rapi::HANDLE find, rapi::CE_FIND_DATA* data);
    rapi::BOOL CeCreateDirectory(const char16_t* path);
    rapi::HRESULT CeRapiUninit();
    rapi::BOOL CeFindClose(rapi::HANDLE find);
    rapi::BOOL CeDeleteFile(const char16_t* path);
    rapi::BOOL CeRemoveDirectory(const char16_t* path);
    rapi::BOOL CeGetStoreInformation(rapi::STORE_INFORMATION* info);
    rapi::BOOL CeSetFileTime(rapi::HANDLE file, const rapi::FILETIME* creation,
                             const rapi::FILETIME* lastAccess, const rapi::FILETIME* lastWrite);
    rapi::BOOL CeMoveFile(const char16_t* from, const char16_t* to);

  private:
    decltype(&::CeCreateFile) ceCreateFile_ = nullptr;
    decltype(&::CeWriteFile) ceWriteFile_ = nullptr;
    decltype(&::CeCloseHandle) ceCloseHandle_ = nullptr;
    decltype(&::CeFindFirstFile) ceFindFirstFile_ = nullptr;
    decltype(&::CeGetFileSize) ceGetFileSize_ = nullptr;
    decltype(&::CeReadFile) ceReadFile_ = nullptr;
    decltype(&::CeFindNextFile) ceFindNextFile_ = nullptr;
    decltype(&::CeCreateDirectory) ceCreateDirectory_ = nullptr;
    decltype(&::CeCreateProcess) ceCreateProcess_ = nullptr;
    decltype(&::CeGetSystemInfo) ceGetSystemInfo_ = nullptr;
    decltype(&::CeRapiUninit) ceRapiUninit_ = nullptr;
    decltype(&::CeEnumDBVolumes) ceEnumDBVolumes_ = nullptr;
    decltype(&::CeFlushDBVol) ceFlushDBVol_ = nullptr;
    decltype(&::CeGetTempPath) ceGetTempPath_ = nullptr;
    decltype(&::CeFindClose) ceFindClose_ = nullptr;
    decltype(&::CeGlobalMemoryStatus) ceGlobalMemoryStatus_ = nullptr;
    decltype(&::CeRapiInitEx) ceRapiInitEx_ = nullptr;
    decltype(&::CeDeleteFile) ceDeleteFile_ = nullptr;
    decltype(&::CeCopyFile) ceCopyFile_ = nullptr;
    decltype(&::CeRemoveDirectory) ceRemoveDirectory_ = nullptr;
    decltype(&::CeGetStoreInformation) ceGetStoreInformation_ = nullptr;
    decltype(&::CeSetFileTime) ceSetFileTime_ = nullptr;
    decltype(&::CeMoveFile) ceMoveFile_ = nullptr;
    decltype(&::CeRapiInit) ceRapiInit_ = nullptr;
    platform::Library module_;
    int loaded_ = 0;
    // The library reports the link's result into this record when the link comes up, which may
    // be after openRemoteLink gave up waiting; so it lives as long as the binding.
    rapi::RAPIINIT linkStart_{};
};
