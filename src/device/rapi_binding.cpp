#include "device/rapi_binding.h"

#include <chrono>
#include <type_traits>
#include <utility>

RapiBinding::RapiBinding() : RapiBinding(platform::rapiLibraryName()) {}

RapiBinding::RapiBinding(const std::string& libraryName) {
    load(libraryName);
}

RapiBinding::~RapiBinding() {
    if (loaded_ == 1) {
        CeRapiUninit();
        thread_.reset();
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
    thread_ = std::make_unique<RapiThread>();
}

template <typename Call>
auto RapiBinding::onThread(Call call) -> decltype(call()) {
    decltype(call()) answer{};
    thread_->run([&] { answer = call(); });
    return answer;
}

void RapiBinding::startRemoteLink() {
    if (!loaded_) return;
    uint64_t start = 0;
    {
        std::lock_guard<std::mutex> lock(linkMutex_);
        start = ++starts_;
        link_ = LinkState::Pending;
    }
    thread_->post([this, start] { startOnThread(start); });
}

void RapiBinding::startOnThread(uint64_t start) {
    CeRapiUninit();
    current_ = start;
    linkStart_ = rapi::RAPIINIT{};
    linkStart_.cbSize = sizeof(rapi::RAPIINIT);
    bool started = ceRapiInitEx_ != nullptr && ceRapiInitEx_(&linkStart_) == rapi::kOk;
    rapi::HANDLE event = linkStart_.heRapiInit;
    // Without an event to wait for, the start can never end well.
    if (!started || event == nullptr || event == rapi::invalidHandleValue()) {
        thread_->watch(nullptr, nullptr);
        settle(start, LinkState::Down);
        return;
    }
    thread_->watch(event, [this, start](platform::EventWait waited) {
        // Only a signalled event counts: a wait that fails is no link either.
        bool up = waited == platform::EventWait::Signaled && linkStart_.hrRapiInit == rapi::kOk;
        settle(start, up ? LinkState::Up : LinkState::Down);
    });
}

void RapiBinding::settle(uint64_t start, LinkState state) {
    std::function<void()> listener;
    {
        std::lock_guard<std::mutex> lock(linkMutex_);
        if (start != starts_) return;
        link_ = state;
        if (state == LinkState::Up) listener = listener_;
    }
    linkSettled_.notify_all();
    if (listener) listener();
}

RapiBinding::LinkState RapiBinding::waitRemoteLink(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(linkMutex_);
    linkSettled_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                          [this] { return link_ != LinkState::Pending; });
    return link_;
}

int RapiBinding::openRemoteLink() {
    startRemoteLink();
    return waitRemoteLink(kLinkWaitMilliseconds) == LinkState::Up ? 1 : 0;
}

void RapiBinding::setLinkListener(std::function<void()> listener) {
    std::lock_guard<std::mutex> lock(linkMutex_);
    listener_ = std::move(listener);
}

rapi::HANDLE RapiBinding::CeCreateFile(const char16_t* path, rapi::DWORD access, rapi::DWORD share,
                                       rapi::DWORD creation, rapi::DWORD flags) {
    if (ceCreateFile_ == nullptr) return rapi::invalidHandleValue();
    return onThread(
        [&] { return ceCreateFile_(path, access, share, nullptr, creation, flags, nullptr); });
}

rapi::BOOL RapiBinding::CeWriteFile(rapi::HANDLE file, const void* data, rapi::DWORD size,
                                    rapi::DWORD* written) {
    if (ceWriteFile_ == nullptr) return 0;
    return onThread([&] { return ceWriteFile_(file, data, size, written, nullptr); });
}

rapi::BOOL RapiBinding::CeCloseHandle(rapi::HANDLE handle) {
    if (ceCloseHandle_ == nullptr) return 0;
    return onThread([&] { return ceCloseHandle_(handle); });
}

rapi::HANDLE RapiBinding::CeFindFirstFile(const char16_t* pattern, rapi::CE_FIND_DATA* data) {
    if (ceFindFirstFile_ == nullptr) return rapi::invalidHandleValue();
    return onThread([&] { return ceFindFirstFile_(pattern, data); });
}

rapi::BOOL RapiBinding::CeReadFile(rapi::HANDLE file, void* buffer, rapi::DWORD size,
                                   rapi::DWORD* read) {
    if (ceReadFile_ == nullptr) return 0;
    return onThread([&] { return ceReadFile_(file, buffer, size, read, nullptr); });
}

rapi::BOOL RapiBinding::CeFindNextFile(rapi::HANDLE find, rapi::CE_FIND_DATA* data) {
    if (ceFindNextFile_ == nullptr) return 0;
    return onThread([&] { return ceFindNextFile_(find, data); });
}

rapi::BOOL RapiBinding::CeCreateDirectory(const char16_t* path) {
    if (ceCreateDirectory_ == nullptr) return 0;
    return onThread([&] { return ceCreateDirectory_(path, nullptr); });
}

rapi::HRESULT RapiBinding::CeRapiUninit() {
    if (ceRapiUninit_ == nullptr) return rapi::kFail;
    return onThread([&] {
        // The link's event goes with it: it is waited for no more, and the link is down.
        thread_->watch(nullptr, nullptr);
        settle(current_, LinkState::Down);
        return ceRapiUninit_();
    });
}

rapi::BOOL RapiBinding::CeFindClose(rapi::HANDLE find) {
    if (ceFindClose_ == nullptr) return 0;
    return onThread([&] { return ceFindClose_(find); });
}

rapi::BOOL RapiBinding::CeDeleteFile(const char16_t* path) {
    if (ceDeleteFile_ == nullptr) return 0;
    return onThread([&] { return ceDeleteFile_(path); });
}

rapi::BOOL RapiBinding::CeRemoveDirectory(const char16_t* path) {
    if (ceRemoveDirectory_ == nullptr) return 0;
    return onThread([&] { return ceRemoveDirectory_(path); });
}

rapi::BOOL RapiBinding::CeGetStoreInformation(rapi::STORE_INFORMATION* info) {
    if (ceGetStoreInformation_ == nullptr) return 0;
    return onThread([&] { return ceGetStoreInformation_(info); });
}

rapi::BOOL RapiBinding::CeSetFileTime(rapi::HANDLE file, const rapi::FILETIME* creation,
                                      const rapi::FILETIME* lastAccess,
                                      const rapi::FILETIME* lastWrite) {
    if (ceSetFileTime_ == nullptr) return 0;
    return onThread([&] { return ceSetFileTime_(file, creation, lastAccess, lastWrite); });
}

rapi::BOOL RapiBinding::CeMoveFile(const char16_t* from, const char16_t* to) {
    if (ceMoveFile_ == nullptr) return 0;
    return onThread([&] { return ceMoveFile_(from, to); });
}
