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

bool startProgram(const std::string& path) {
    const posix::Syscalls& sys = posix::syscalls();
    std::string native = posix::toNative(path);
    if (native.empty()) return false;
    char* const argv[] = {native.data(), nullptr};
    // The grandchild reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return failWithOsError("start", path);
    pid_t middle = sys.fork();
    if (middle < 0) {
        failWithOsError("start", path);
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (middle == 0) {
        // Only async-signal-safe calls from here on: the caller may have other threads.
        close(report[0]);
        pid_t child = sys.fork();
        if (child == 0) {
            setsid();
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            signal(SIGPIPE, SIG_DFL);
            signal(SIGCHLD, SIG_DFL);
            sys.execve(native.c_str(), argv, environ);
            int error = errno;
            ssize_t written = write(report[1], &error, sizeof error);
            (void)written;
            _exit(127);
        }
        // Ending at once hands the program to init, so nobody has to wait for it.
        _exit(child < 0 ? 1 : 0);
    }
    close(report[1]);
    int status = 0;
    while (sys.waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got > 0) {
        // The program's own failure, which the child could only report through the pipe.
        errno = error;
        return failWithOsError("start", path);
    }
    return got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform
