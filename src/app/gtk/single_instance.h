#pragma once

#include <functional>
#include <string>

// One running window per program file. The first start holds a listening local socket whose name
// is derived from the user and the program file's path (an abstract socket: nothing in the file
// system, gone with the process); a later start only connects to it, which asks the first
// instance to present its window, and ends. Needs no session bus.
class SingleInstance {
  public:
    explicit SingleInstance(const std::string& programFile);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this is the first instance; false when the first one has been told to present
    // its window (this start then ends).
    bool claim();
    // From now on every later start runs `present` on the main loop.
    void listen(std::function<void()> present);

  private:
    static int onConnection(int fd, unsigned condition, void* self);

    std::string name_;
    int socket_ = -1;
    unsigned watch_ = 0;
    std::function<void()> present_;
};
