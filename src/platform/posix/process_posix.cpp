#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os_error.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/syscalls_posix.h"
#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

// In the forked middle process: starts the program in a grandchild of its own session and ends
// at once, which hands the program to init, so nobody has to wait for it. Only
// async-signal-safe calls: the caller may have other threads.
[[noreturn]] void startGrandchild(const posix::Syscalls& sys, char* const argv[], int report) {
    pid_t child = sys.fork();
    if (child == 0) {
        setsid();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGCHLD, SIG_DFL);
        sys.execve(argv[0], argv, environ);
        int error = errno;
        ssize_t written = write(report, &error, sizeof error);
        (void)written;
        _exit(127);
    }
    _exit(child < 0 ? 1 : 0);
}

// Waits for the middle process and reads the pipe, which holds the error of a failed exec and
// nothing after a successful one.
bool awaitStart(const posix::Syscalls& sys, pid_t middle, int report, const std::string& path,
                OsError* error) {
    int status = 0;
    while (sys.waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int code = 0;
    ssize_t got;
    do {
        got = read(report, &code, sizeof code);
    } while (got < 0 && errno == EINTR);
    close(report);
    if (got > 0) {
        // The program's own failure, which the child could only report through the pipe.
        errno = code;
        return failWithOsError("start", path, error);
    }
    return got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool startProgram(const std::string& path, OsError* error) {
    const posix::Syscalls& sys = posix::syscalls();
    std::string native = posix::toNative(path);
    if (native.empty()) return false;
    char* const argv[] = {native.data(), nullptr};
    // The grandchild reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return failWithOsError("start", path, error);
    pid_t middle = sys.fork();
    if (middle < 0) {
        failWithOsError("start", path, error);
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (middle == 0) {
        close(report[0]);
        startGrandchild(sys, argv, report[1]);
    }
    close(report[1]);
    return awaitStart(sys, middle, report[0], path, error);
}

}  // namespace platform
