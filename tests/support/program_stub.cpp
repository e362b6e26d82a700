#include "support/program_stub.h"

#include <thread>

#include "platform/files.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char** environ;
#endif

std::string buildTreeFile(const std::string& path) {
#ifdef _WIN32
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
#else
    return path;
#endif
}

bool waitForFile(const std::string& path, std::chrono::milliseconds limit) {
    auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!platform::fileExists(path)) {
        if (std::chrono::steady_clock::now() >= giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

#ifdef _WIN32

namespace {

// The stub's orders, appended to a copy of its bytes (see test_program_stub.cpp).
std::string stubWith(const std::string& order, const std::string& path) {
    std::string text = order + ":" + path;
    auto n = static_cast<uint32_t>(text.size());
    std::string length{static_cast<char>(n & 0xff), static_cast<char>((n >> 8) & 0xff),
                       static_cast<char>((n >> 16) & 0xff), static_cast<char>(n >> 24)};
    return readFileBytes(buildTreeFile(VANTU_TEST_PROGRAM_STUB)) + text + length + "VTO1";
}

}  // namespace

void writeExecutable(const std::string& path, const std::string& bytes) {
    writeFileBytes(path, bytes);
}

std::string markerScript(const std::string& marker) {
    return stubWith("started", marker);
}

std::string parentScript(const std::string& marker) {
    return stubWith("parent", marker);
}

std::string sleeperProgram() {
    return readFileBytes(buildTreeFile(VANTU_TEST_PROGRAM_STUB));
}

ProgramId spawnProgram(const std::string& path, const std::vector<std::string>& args,
                       const std::vector<std::string>& extraEnvironment) {
    std::string commandLine = "\"" + path + "\"";
    for (const std::string& a : args)
        commandLine += " \"" + a + "\"";
    // The caller's environment with the extra entries first, as one block of NUL-ended entries.
    std::string block;
    for (const std::string& e : extraEnvironment)
        block += e + '\0';
    if (char* own = GetEnvironmentStringsA()) {
        for (const char* e = own; *e != '\0'; e += std::char_traits<char>::length(e) + 1)
            block += std::string(e) + '\0';
        FreeEnvironmentStringsA(own);
    }
    block += '\0';
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, block.data(),
                        nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    return reinterpret_cast<ProgramId>(process.hProcess);
}

int waitForProgram(ProgramId program) {
    HANDLE process = reinterpret_cast<HANDLE>(program);
    DWORD code = 0;
    bool ok = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
              GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return ok ? static_cast<int>(code) : -1;
}

bool programRunning(ProgramId program) {
    return WaitForSingleObject(reinterpret_cast<HANDLE>(program), 0) == WAIT_TIMEOUT;
}

void killProgram(ProgramId program) {
    TerminateProcess(reinterpret_cast<HANDLE>(program), 1);
    waitForProgram(program);
}

long currentProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

bool hasUnwaitedChild() {
    // Windows keeps no parent-child bond that must be reaped.
    return false;
}

#else

void writeExecutable(const std::string& path, const std::string& bytes) {
    writeFileBytes(path, bytes);
    chmod(path.c_str(), 0755);
}

std::string markerScript(const std::string& marker) {
    return "#!/bin/sh\necho started >> '" + marker + "'\n";
}

std::string parentScript(const std::string& marker) {
    return "#!/bin/sh\necho $PPID > '" + marker + ".part'; mv '" + marker + ".part' '" + marker +
           "'\n";
}

std::string sleeperProgram() {
    return readFileBytes("/bin/sleep");
}

ProgramId spawnProgram(const std::string& path, const std::vector<std::string>& args,
                       const std::vector<std::string>& extraEnvironment) {
    std::vector<std::string> argStore{path};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore(extraEnvironment);
    for (char** e = environ; *e; ++e)
        envStore.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    return pid;
}

int waitForProgram(ProgramId program) {
    int status = 0;
    while (waitpid(static_cast<pid_t>(program), &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool programRunning(ProgramId program) {
    return kill(static_cast<pid_t>(program), 0) == 0;
}

void killProgram(ProgramId program) {
    kill(static_cast<pid_t>(program), SIGKILL);
    waitForProgram(program);
}

long currentProcessId() {
    return static_cast<long>(getpid());
}

bool hasUnwaitedChild() {
    return !(waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD);
}

int fileMode(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

#endif
