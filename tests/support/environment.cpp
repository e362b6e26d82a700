#include "support/environment.h"

#include <cstdlib>

#include "platform/codepage.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::string environmentText(const std::string& ansi) {
#ifdef _WIN32
    return ansi;
#else
    return platform::ansiToUtf8(ansi);
#endif
}

void setEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    // The C library keeps its own copy of the environment; GetTempPath and the other system
    // functions read the process's.
    _putenv_s(name, value != nullptr ? value : "");
    SetEnvironmentVariableA(name, value);
#else
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setEnvironment(name, value);
}

ScopedEnv::~ScopedEnv() {
    setEnvironment(name_, old_ ? old_->c_str() : nullptr);
}
