#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/external_object.h"
#include "support/recording_methods.h"
#include "support/temp_dir.h"

// One call of a page method, as every adapter of the external object must serve it: the
// external object itself, the GTK host's request gate, the Windows host's IDispatch, and the
// page's bridge in the system's script engine.
struct PageMethodCase {
    const char* method;
    std::vector<ScriptValue> args;  // the script's order
    int connected;                  // what the device gate finds
    // What the call did, as PageMethodFixture::observed() writes it (UTF-8).
    std::vector<std::string> calls;
    // "s:" and the text (UTF-8), "true", or "none" for no value.
    std::string answer;
    int32_t status;  // ExternalObject's; S_OK or S_FALSE on Windows
};

const std::vector<PageMethodCase>& pageMethodCases();

// Whether the page's bridge makes this call: it passes exactly the method's number of arguments,
// as strings.
bool bridgeMakes(const PageMethodCase& c);

// The answer in the cases' form.
std::string describeAnswer(const ScriptResult& result);

// The program's window.external over recorded operations, with its settings in a fresh folder.
struct PageMethodFixture {
    TempDir dir;
    SettingsStore settings{dir.path()};
    RecordingMethods ops;
    ExternalObject external{settings, ops};

    // Before a case: the setting k is "stored", page.txt holds "hello", nothing else is there,
    // and nothing has been called.
    void prepare(const PageMethodCase& c);
    // The operations that ran ("connToPDA(r)") and what changed: "k=VALUE", "out.txt=TEXT".
    std::vector<std::string> observed() const;
};
