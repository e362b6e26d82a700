#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "device/rapi_thread.h"
#include "platform/library.h"
#include "platform/rapi_abi.h"

// The navigator's remote API, loaded at run time. Every remote call of the program goes through
// the entry points held here, and each is made on the binding's own thread (RapiThread), whatever
// thread asks for it; the caller waits for the answer. An entry point that the loaded library
// lacks is never called: its call fails as the remote call would (0, or the invalid handle for
// the handle-returning ones).
//
// A remote link is started, and the library brings it up in the background whenever a navigator
// answers, which may be long after the start: the binding's thread waits for it between calls.
// Any thread may look at the link's state or wait for it.
class RapiBinding {
  public:
    static constexpr uint32_t kLinkWaitMilliseconds = 2000;

    // Down: none started, or the start failed. Pending: started, not up yet.
    enum class LinkState { Down, Pending, Up };

    // Loads the system's remote API library. No link is started here: the program's start does
    // not wait for a navigator, and a second start of the program never touches the link.
    RapiBinding();
    // The same with a library of the given name (tests load variants of the simulator).
    explicit RapiBinding(const std::string& libraryName);
    virtual ~RapiBinding();
    RapiBinding(const RapiBinding&) = delete;
    RapiBinding& operator=(const RapiBinding&) = delete;

    void load(const std::string& libraryName);
    int isLoaded() const { return loaded_; }
    // Ends any earlier link and starts a new one, without waiting for it: the link is Pending
    // from here on until the start has ended.
    void startRemoteLink();
    // The last start as it stands, without waiting.
    LinkState pollRemoteLink() const { return link_.load(); }
    // The last start, waiting up to `milliseconds` for it to end.
    LinkState waitRemoteLink(uint32_t milliseconds);
    // Starts a new link and waits up to 2000 ms for it. 1 when it is up.
    int openRemoteLink();
    // Called on the binding's thread each time a link has come up; null for none.
    void setLinkListener(std::function<void()> listener);

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
    // On the binding's thread: ends the last link and starts one.
    void startOnThread(uint64_t start);
    // The state of start number `start`, unless a later one was asked for meanwhile.
    void settle(uint64_t start, LinkState state);
    // Runs `call` on the binding's thread and answers what it answers.
    template <typename Call>
    auto onThread(Call call) -> decltype(call());

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
    // be after the caller gave up waiting; so it lives as long as the binding. Only the binding's
    // thread touches it.
    rapi::RAPIINIT linkStart_{};
    uint64_t current_ = 0;  // the number of the start linkStart_ belongs to (binding's thread)
    std::mutex linkMutex_;
    std::condition_variable linkSettled_;
    std::atomic<LinkState> link_{LinkState::Down};
    uint64_t starts_ = 0;             // under linkMutex_: the number of the last start asked for
    std::function<void()> listener_;  // under linkMutex_
    // Made when the library has loaded; ends before the library is released.
    std::unique_ptr<RapiThread> thread_;
};
