#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <activscp.h>

#include <string>
#include <utility>
#include <vector>

#include "app/win32/com_ref.h"

// The system's JScript engine (jscript.dll, through IActiveScript), hosted as a browser hosts
// it: objects of the host become global names, code runs at once.
class ScriptEngine {
  public:
    // The engine's language versions for a browser's standards modes, as wine's jscript takes
    // them: the browser's flag (0x400) with ES5 (0x102), or with ES6 (0x103), its IE11-like mode.
    static constexpr int kEs5Mode = 0x400 | 0x102;
    static constexpr int kIe11Mode = 0x400 | 0x103;

    using Globals = std::vector<std::pair<std::wstring, ComRef<IDispatch>>>;

    ScriptEngine(int version, Globals globals);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Empty when the engine is ready, else why not.
    const std::string& failure() const { return failure_; }

    // Runs statements; empty, or the script error they ended in.
    std::string run(const std::u16string& code);
    // The value of an expression as the script's String() writes it, or "error: " and the
    // script error.
    std::string evaluate(const std::u16string& expression);

  private:
    class Site;

    std::string parse(const std::u16string& code, DWORD flags, VARIANT* result);

    ComRef<Site> site_;
    ComRef<IActiveScript> script_;
    ComRef<IActiveScriptParse> parser_;
    std::string failure_;
};
