#include "platform/library.h"

namespace platform {

Library& Library::operator=(Library&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

}  // namespace platform
