#pragma once

#include <mutex>
#include <utility>

// A value that the window thread and the worker thread share, reachable only with its mutex held:
// use() runs a function on the value under the lock. Nothing obtained inside may be kept after
// the function returns.
template <class T>
class Guarded {
  public:
    template <class Fn>
    decltype(auto) use(Fn&& fn) {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::forward<Fn>(fn)(value_);
    }
    template <class Fn>
    decltype(auto) use(Fn&& fn) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::forward<Fn>(fn)(value_);
    }

  private:
    mutable std::mutex mutex_;
    T value_{};
};
