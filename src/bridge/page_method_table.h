#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bridge/script_value.h"

class SettingsStore;
struct ProgramState;

// How the external object serves a method, before and after its handler runs.
enum class MethodKind : uint8_t {
    Setting,  // settings and the page's text files: never refused; the handler reads its
              // arguments itself and answers
    Open,     // needs no navigator; without its text nothing runs and nothing is answered
    Command,  // as Open, and it never answers (PauseTask)
    Device,   // behind the device gate; without its text the page gets no value
    Import,   // behind the device gate; without its text nothing runs and nothing is answered,
              // with success (importToPDA has always answered so)
    Own,      // the program's own: exactly its arguments, then as Device
    OwnOpen,  // the program's own that needs no navigator: exactly its arguments
};

constexpr bool isGated(MethodKind kind) {
    return kind == MethodKind::Device || kind == MethodKind::Import || kind == MethodKind::Own;
}
// A stray argument of the program's own would otherwise take the real one's place ("",
// "replace" read as "replace"); the portal's methods have always taken the last ones.
constexpr bool takesExactArguments(MethodKind kind) {
    return kind == MethodKind::Own || kind == MethodKind::OwnOpen;
}
// A missing text gives no value (S_FALSE) rather than success without an answer.
constexpr bool refusesWithoutText(MethodKind kind) {
    return kind == MethodKind::Device || kind == MethodKind::Own;
}

// What an operation of the program answers.
struct MethodOutcome {
    std::string answer;  // ANSI
    // The operation refused its argument and did nothing; the terminal's exit status says so.
    bool refused = false;
    // Why, for the terminal, where the page is not told; null when the answer says it.
    const char* why = nullptr;
};

// A Setting method: reads its script arguments (script order) and writes the page's answer.
using SettingHandler = void (*)(const SettingsStore& settings, const std::vector<ScriptValue>& args,
                                ScriptResult* result);
// Any other method: the program's operation on the method's text ("" when it takes none).
using Operation = MethodOutcome (*)(ProgramState& program, std::string text);

// One method the page reaches on window.external. The real portal page relies on the names,
// DISPIDs and argument counts as they stand.
struct PageMethod {
    const char* name;  // byte-wise, case-sensitive
    int32_t dispid;
    // One word per argument, as `vantu-cli methods` names them; the page passes exactly as many.
    const char* arguments;
    MethodKind kind;
    std::variant<SettingHandler, Operation> handler;
    // What `vantu-cli methods` says it does and answers.
    const char* description;

    size_t argumentCount() const;
};

// Every method, in DISPID order: the portal's 14, then the program's own. The external object,
// the hosts' script bridges, vantu-cli and the tests all read them here, and portal/bridge.js
// calls each as it is listed (a test holds the two together).
std::span<const PageMethod> pageMethods();
// The method of that name (byte-wise, case-sensitive) or of that DISPID, or nothing.
const PageMethod* findPageMethod(std::string_view name);
const PageMethod* pageMethodAt(int32_t dispid);
