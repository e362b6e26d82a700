#pragma once

#include <chrono>
#include <thread>

// Polls `done` every 10 ms for up to ten seconds, so that tests of other threads never bet on a
// fixed delay; true as soon as it holds.
template <typename F>
bool eventually(F done) {
    for (int i = 0; i < 1000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}
