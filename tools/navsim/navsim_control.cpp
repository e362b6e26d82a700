// The simulator's own control (NavsimControl), for tests and demonstrations: the root, the
// faults, the link's mode, the store, attribute overrides and the call counts.
#include <string>

#include "navsim_state.h"

using namespace navsim;

namespace {

int controlRoot(State& s, const std::string& arg) {
    s.setRoot(arg);
    return 0;
}

int controlWriteDelay(State& s, const std::string& arg) {
    s.writeDelayUs = std::strtol(arg.c_str(), nullptr, 10);
    return 0;
}

int controlMainStore(State& s, const std::string& arg) {
    s.setMainStore(arg);
    return 0;
}

int controlFail(State& s, const std::string& arg) {
    size_t space = arg.find(' ');
    std::string kind = arg.substr(0, space);
    for (int f = 0; f < kFaultCount; ++f) {
        if (kind == kFaultNames[f]) {
            s.failAt[f] = space == std::string::npos ? 1 : parseNumber(arg.c_str() + space);
            s.seen[f] = 0;
            return 0;
        }
    }
    return -1;
}

int controlLink(State& s, const std::string& arg) {
    if (arg == "up")
        s.linkMode = LinkMode::Up;
    else if (arg == "never")
        s.linkMode = LinkMode::Never;
    else if (arg == "error")
        s.linkMode = LinkMode::Error;
    else
        return -1;
    return 0;
}

int controlStore(State& s, const std::string& arg) {
    if (arg.empty()) {
        s.store.reset();
        return 0;
    }
    unsigned long long total = 0, free = 0;
    if (std::sscanf(arg.c_str(), "%llu %llu", &total, &free) != 2) return -1;
    s.store = rapi::STORE_INFORMATION{static_cast<DWORD>(total), static_cast<DWORD>(free)};
    return 0;
}

int controlAttributes(State& s, const std::string& arg) {
    size_t eq = arg.rfind('=');
    if (eq == std::string::npos) return -1;
    std::string path = foldUtf8(arg.substr(0, eq));
    while (path.size() > 1 && path.back() == '\\')
        path.pop_back();
    s.attributeOverrides[path] = static_cast<DWORD>(std::strtoul(arg.c_str() + eq + 1, nullptr, 0));
    return 0;
}

int controlCalls(State& s, const std::string& arg) {
    if (arg.empty()) {
        int total = 0;
        for (const auto& [name, count] : s.calls)
            total += count;
        return total;
    }
    auto it = s.calls.find(arg);
    return it == s.calls.end() ? 0 : it->second;
}

int controlReset(State& s, const std::string&) {
    s.resetFaults();
    return 0;
}

struct ControlCommand {
    const char* name;
    int (*run)(State& s, const std::string& arg);
};

constexpr ControlCommand kControlCommands[] = {
    {"root", controlRoot},
    {"write-delay", controlWriteDelay},
    {"main-store", controlMainStore},
    {"fail", controlFail},
    {"link", controlLink},
    {"store", controlStore},
    {"attributes", controlAttributes},
    {"calls", controlCalls},
    {"reset", controlReset},
};

}  // namespace

extern "C" {

// The simulator's own control, for tests and demonstrations. Returns -1 for a command or
// argument it does not know, else 0 (or the count asked for).
//   root FOLDER        the PC folder that is the device root ("" = no device; the link then
//                      never comes up)
//   main-store LIST    comma-separated names of root folders that are not mounted storage
//   fail KIND N        the N-th call of KIND from now fails, once; KIND is create, read, write,
//                      delete, rmdir, mkdir, move or find; N = 0 cancels
//   link MODE          how link starts end: up, never (no completion), error (completes with
//                      an error)
//   store TOTAL FREE   what CeGetStoreInformation reports, in bytes ("" = the root's volume)
//   attributes PATH=A  reports attribute word A (e.g. 0x11) for the device path PATH
//   calls NAME         how many times the entry point NAME was called ("" = all; "other
//                      thread": the calls refused because another thread owns the library)
//   reset              no faults, link starts complete, counts zero, no owning thread (root and
//                      main store stay)
NAVSIM_EXPORT int NavsimControl(const char* command, const char* argument) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.configure();
    const std::string cmd = command ? command : "";
    const std::string arg = argument ? argument : "";
    for (const ControlCommand& known : kControlCommands)
        if (cmd == known.name) return known.run(s, arg);
    return -1;
}

}  // extern "C"
