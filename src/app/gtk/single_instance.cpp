#include "app/gtk/single_instance.h"

#include <glib-unix.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

uint64_t fnv1a(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

socklen_t abstractAddress(const std::string& name, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // A leading NUL makes the name abstract.
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

}  // namespace

SingleInstance::SingleInstance(const std::string& programFile) {
    char name[64];
    std::snprintf(name, sizeof name, "vantu-%u-%016llx", static_cast<unsigned>(getuid()),
                  static_cast<unsigned long long>(fnv1a(programFile)));
    name_ = name;
}

SingleInstance::~SingleInstance() {
    if (watch_ != 0) g_source_remove(watch_);
    if (socket_ >= 0) close(socket_);
}

bool SingleInstance::claim() {
    sockaddr_un address;
    socklen_t length = abstractAddress(name_, address);
    // The first instance binds and listens at once; a start that comes between the two finds
    // the name taken but not yet answering, and tries again.
    for (int attempt = 0; attempt < 50; ++attempt) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return true;  // no sockets at all: run alone rather than not at all
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(fd, 8) == 0) {
            socket_ = fd;
            return true;
        }
        if (errno == EADDRINUSE &&
            connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) {
            const char request[] = "present\n";
            ssize_t ignored = write(fd, request, sizeof request - 1);
            (void)ignored;
            close(fd);
            return false;
        }
        close(fd);
        g_usleep(100 * 1000);
    }
    return false;
}

void SingleInstance::listen(std::function<void()> present) {
    present_ = std::move(present);
    if (socket_ >= 0 && watch_ == 0)
        watch_ = g_unix_fd_add(socket_, G_IO_IN, reinterpret_cast<GUnixFDSourceFunc>(onConnection),
                               this);
}

int SingleInstance::onConnection(int fd, unsigned /*condition*/, void* self) {
    int peer = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer >= 0) close(peer);
    auto* instance = static_cast<SingleInstance*>(self);
    if (instance->present_) instance->present_();
    return G_SOURCE_CONTINUE;
}
