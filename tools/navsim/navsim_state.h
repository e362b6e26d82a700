#pragma once

// The simulator's state behind its entry points (navsim.cpp) and its control (navsim_control.cpp):
// the device root and the link, the faults and counts a test asks for, the open handles, and
// device paths resolved to the PC.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "navsim_host.h"
#include "platform/rapi_abi.h"

// The entry points are the library's only exports, under their plain names.
#if defined(_WIN32)
#define NAVSIM_EXPORT __declspec(dllexport)
#else
#define NAVSIM_EXPORT __attribute__((visibility("default")))
#endif

namespace navsim {

using rapi::BOOL;
using rapi::DWORD;
using rapi::HANDLE;
using rapi::HRESULT;
using rapi::WCHAR;

constexpr HRESULT kInvalidArg = static_cast<HRESULT>(0x80070057);
constexpr DWORD kAttrReadOnly = 0x1;
constexpr DWORD kAttrHidden = 0x2;
constexpr DWORD kAttrDirectory = 0x10;
constexpr DWORD kAttrArchive = 0x20;
constexpr DWORD kAttrTemporary = 0x100;

std::string toUtf8(std::u16string_view text);
std::u16string toUtf16(std::string_view text);
// The name folded as the device compares names: letter case aside.
std::string foldUtf8(const std::string& text);
// At most 32768 units of a NUL-terminated text; empty for null.
std::u16string nulTerminated(const WCHAR* text);
// '*' and '?' as the device's search has them, letter case aside.
bool wildcardMatch(std::u16string_view pattern, std::u16string_view name);

enum Fault {
    kFaultCreate,
    kFaultRead,
    kFaultWrite,
    kFaultDelete,
    kFaultRemoveFolder,
    kFaultCreateFolder,
    kFaultMove,
    kFaultFind,
    kFaultCount
};
constexpr const char* kFaultNames[kFaultCount] = {"create", "read",  "write", "delete",
                                                  "rmdir",  "mkdir", "move",  "find"};

enum class LinkMode { Up, Never, Error };

struct OpenFile {
    navsim::host::File file;
    bool canRead = false;
    bool canWrite = false;
};

struct Enumeration {
    std::vector<rapi::CE_FIND_DATA> entries;
    size_t next = 0;
};

struct State {
    std::mutex mutex;
    bool configured = false;
    std::string root;                    // UTF-8, no trailing '/'; empty: no device
    std::vector<std::string> mainStore;  // folded UTF-8 names
    LinkMode linkMode = LinkMode::Up;
    bool linked = false;
    navsim::host::Event event;
    int failAt[kFaultCount] = {};
    int seen[kFaultCount] = {};
    std::optional<rapi::STORE_INFORMATION> store;
    std::map<std::string, DWORD> attributeOverrides;  // folded UTF-8 device path
    std::map<std::string, int> calls;
    std::thread::id owner;  // none yet
    long writeDelayUs = 0;
    std::map<uintptr_t, std::variant<OpenFile, Enumeration>> handles;
    uintptr_t nextHandle = 0x1000;

    ~State() { closeLink(); }

    void setMainStore(const std::string& list) {
        mainStore.clear();
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(',', start);
            if (comma == std::string::npos) comma = list.size();
            if (comma > start) mainStore.push_back(foldUtf8(list.substr(start, comma - start)));
            start = comma + 1;
        }
    }

    void setRoot(const std::string& folder) {
        root = folder;
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
    }

    void readEnvironment() {
        setRoot(navsim::host::environment("NAVSIM_ROOT").value_or(""));
        setMainStore(navsim::host::environment("NAVSIM_MAIN_STORE")
                         .value_or("My Documents,Windows,Program Files,Temp"));
        writeDelayUs = std::strtol(
            navsim::host::environment("NAVSIM_WRITE_DELAY_US").value_or("0").c_str(), nullptr, 10);
    }

    void resetFaults() {
        linkMode = LinkMode::Up;
        std::fill(std::begin(failAt), std::end(failAt), 0);
        std::fill(std::begin(seen), std::end(seen), 0);
        store.reset();
        attributeOverrides.clear();
        calls.clear();
        owner = {};
    }

    void configure() {
        if (configured) return;
        readEnvironment();
        configured = true;
    }

    void slowDown() const {
        if (writeDelayUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(writeDelayUs));
    }

    // The remote API is called from one thread: the first to call after a reset or after the
    // last CeRapiUninit owns the library, and a call from any other fails (counted as "other
    // thread" as well).
    bool enter(const char* entry) {
        configure();
        ++calls[entry];
        std::thread::id self = std::this_thread::get_id();
        if (owner == std::thread::id()) owner = self;
        if (owner == self) return true;
        ++calls["other thread"];
        return false;
    }

    bool fault(Fault f) {
        if (failAt[f] <= 0) return false;
        if (++seen[f] < failAt[f]) return false;
        failAt[f] = 0;
        seen[f] = 0;
        return true;
    }

    void closeLink() {
        event.close();
        linked = false;
        handles.clear();
    }

    HANDLE addHandle(std::variant<OpenFile, Enumeration> object) {
        uintptr_t id = nextHandle++;
        handles.emplace(id, std::move(object));
        return reinterpret_cast<HANDLE>(id);
    }

    template <class T>
    T* find(HANDLE handle) {
        auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
        return it == handles.end() ? nullptr : std::get_if<T>(&it->second);
    }
};

State& state();

// A device path resolved to the PC: the UTF-8 host path, the device path folded for attribute
// overrides and the number of its components (1 = an entry of the device root).
struct HostPath {
    std::string host;
    std::string folded;
    size_t depth = 0;
    std::string lastAsGiven;  // the last component as the caller spelled it
};

// Nothing for a path that is not absolute, names "." or "..", or holds wildcards.
std::optional<HostPath> resolve(const State& s, std::u16string_view device);
DWORD attributesOf(const State& s, const HostPath& path, const std::string& name,
                   const navsim::host::Info& info);
// The caller holds the lock; false when the link is down.
bool linkUp(const State& s);
std::optional<HostPath> resolveLinked(const State& s, const WCHAR* path);
int parseNumber(const char* text);
// The entries of a folder that a search's last part may match.
std::optional<std::vector<navsim::host::Entry>> lookUp(const std::string& folder,
                                                       const std::u16string& mask);

}  // namespace navsim
