#include "device/rapi_binding.h"

#include <type_traits>

RapiBinding::RapiBinding() : RapiBinding(platform::rapiLibraryName()) {}

RapiBinding::RapiBinding(const std::string& libraryName) {
    load(libraryName);
}

RapiBinding::~RapiBinding() {
    if (loaded_ == 1) {
        CeRapiUninit();
        module_.release();
        loaded_ = 0;
    }
}

void RapiBinding::load(const std::string& libraryName) {
    if (!module_.load(libraryName)) return;
    loaded_ = 1;
    auto resolve = [this](auto& slot, const char* name) {
        slot = module_.function<std::remove_reference_t<decltype(slot)>>(name);
    };
    resolve(ceCreateFile_, "CeCreateFile");
    resolve(ceWriteFile_, "CeWriteFile");
    resolve(ceCloseHandle_, "CeCloseHandle");
    resolve(ceFindFirstFile_, "CeFindFirstFile");
    resolve(ceGetFileSize_, "CeGetFileSize");
    resolve(ceReadFile_, "CeReadFile");
    resolve(ceFindNextFile_, "CeFindNextFile");
    resolve(ceCreateDirectory_, "CeCreateDirectory");
    resolve(ceCreateProcess_, "CeCreateProcess");
    resolve(ceGetSystemInfo_, "CeGetSystemInfo");
    resolve(ceRapiUninit_, "CeRapiUninit");
    resolve(ceEnumDBVolumes_, "CeEnumDBVolumes");
    resolve(ceFlushDBVol_, "CeFlushDBVol");
    resolve(ceGetTempPath_, "CeGetTempPath");
    resolve(ceFindClose_, "CeFindClose");
    resolve(ceGlobalMemoryStatus_, "CeGlobalMemoryStatus");
    resolve(ceRapiInitEx_, "CeRapiInitEx");
    resolve(ceDeleteFile_, "CeDeleteFile");
    resolve(ceCopyFile_, "CeCopyFile");
    resolve(ceRemoveDirectory_, "CeRemoveDirectory");
    resolve(ceGetStoreInformation_, "CeGetStoreInformation");
    resolve(ceSetFileTime_, "CeSetFileTime");
    resolve(ceMoveFile_, "CeMoveFile");
    resolve(ceRapiInit_, "CeRapiInit");
}

void RapiBinding::startRemoteLink() {
    std::lock_guard<std::mutex> lock(linkMutex_);
    if (!loaded_) return;
    CeRapiUninit();
    linkStart_ = rapi::RAPIINIT{};
    linkStart_.cbSize = sizeof(rapi::RAPIINIT);
    linkStart_.heRapiInit = nullptr;
    linkStart_.hrRapiInit = 0;
    bool started = ceRapiInitEx_ != nullptr && ceRapiInitEx_(&linkStart_) == rapi::kOk;
    link_ = started ? LinkState::Pending : LinkState::Down;
}

RapiBinding::LinkState RapiBinding::settle(platform::EventWait waited) {
    // Only a signalled event counts: a wait that fails (no event) is no link either.
    if (waited == platform::EventWait::Signaled)
        link_ = linkStart_.hrRapiInit == rapi::kOk ? LinkState::Up : LinkState::Down;
    else if (waited == platform::EventWait::Failed)
        link_ = LinkState::Down;
    return link_;
}

RapiBinding::LinkState RapiBinding::pollRemoteLink() {
    std::unique_lock<std::mutex> lock(linkMutex_, std::try_to_lock);
    if (!lock.owns_lock()) return LinkState::Pending;
    if (link_ != LinkState::Pending) return link_;
    return settle(platform::waitForRapiEvent(linkStart_.heRapiInit, 0));
}

RapiBinding::LinkState RapiBinding::waitRemoteLink(uint32_t milliseconds) {
    rapi::HANDLE event = nullptr;
    {
        std::lock_guard<std::mutex> lock(linkMutex_);
        if (link_ != LinkState::Pending) return link_;
        event = linkStart_.heRapiInit;
    }
    // Without the lock, so that a look from the window thread meanwhile does not wait.
    platform::EventWait waited = platform::waitForRapiEvent(event, milliseconds);
    std::lock_guard<std::mutex> lock(linkMutex_);
    if (link_ != LinkState::Pending) return link_;
    return settle(waited);
}

int RapiBinding::openRemoteLink() {
    startRemoteLink();
    return waitRemoteLink(kLinkWaitMilliseconds) == LinkState::Up ? 1 : 0;
}

rapi::HANDLE RapiBinding::CeCreateFile(const char16_t* path, rapi::DWORD access, rapi::DWORD share,
                                       rapi::DWORD creation, rapi::DWORD flags) {
    if (ceCreateFile_ == nullptr) return rapi::invalidHandleValue();
    return ceCreateFile_(path, access, share, nullptr, creation, flags, nullptr);
}

rapi::BOOL RapiBinding::CeWriteFile(rapi::HANDLE file, const void* data, rapi::DWORD size,
                                    rapi::DWORD* written) {
    return ceWriteFile_ ? ceWriteFile_(file, data, size, written, nullptr) : 0;
}

rapi::BOOL RapiBinding::CeCloseHandle(rapi::HANDLE handle) {
    return ceCloseHandle_ ? ceCloseHandle_(handle) : 0;
}

rapi::HANDLE RapiBinding::CeFindFirstFile(const char16_t* pattern, rapi::CE_FIND_DATA* data) {
    return ceFindFirstFile_ ? ceFindFirstFile_(pattern, data) : rapi::invalidHandleValue();
}

rapi::BOOL RapiBinding::CeReadFile(rapi::HANDLE file, void* buffer, rapi::DWORD size,
                                   rapi::DWORD* read) {
    return ceReadFile_ ? ceReadFile_(file, buffer, size, read, nullptr) : 0;
}

rapi::BOOL RapiBinding::CeFindNextFile(rapi::HANDLE find, rapi::CE_FIND_DATA* data) {
    return ceFindNextFile_ ? ceFindNextFile_(find, data) : 0;
}

rapi::BOOL RapiBinding::CeCreateDirectory(const char16_t* path) {
    return ceCreateDirectory_ ? ceCreateDirectory_(path, nullptr) : 0;
}

rapi::HRESULT RapiBinding::CeRapiUninit() {
    return ceRapiUninit_ ? ceRapiUninit_() : rapi::kFail;
}

rapi::BOOL RapiBinding::CeFindClose(rapi::HANDLE find) {
    return ceFindClose_ ? ceFindClose_(find) : 0;
}

rapi::BOOL RapiBinding::CeDeleteFile(const char16_t* path) {
    return ceDeleteFile_ ? ceDeleteFile_(path) : 0;
}

rapi::BOOL RapiBinding::CeRemoveDirectory(const char16_t* path) {
    return ceRemoveDirectory_ ? ceRemoveDirectory_(path) : 0;
}

rapi::BOOL RapiBinding::CeGetStoreInformation(rapi::STORE_INFORMATION* info) {
    return ceGetStoreInformation_ ? ceGetStoreInformation_(info) : 0;
}

rapi::BOOL RapiBinding::CeSetFileTime(rapi::HANDLE file, const rapi::FILETIME* creation,
                                      const rapi::FILETIME* lastAccess,
                                      const rapi::FILETIME* lastWrite) {
    return ceSetFileTime_ ? ceSetFileTime_(file, creation, lastAccess, lastWrite) : 0;
}

rapi::BOOL RapiBinding::CeMoveFile(const char16_t* from, const char16_t* to) {
    return ceMoveFile_ ? ceMoveFile_(from, to) : 0;
}
