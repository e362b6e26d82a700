#include <dlfcn.h>

#include "platform/library.h"
#include "platform/posix/posix_util.h"

namespace platform {

bool Library::load(const std::string& name) {
    release();
    handle_ = dlopen(posix::toNative(name).c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void Library::release() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

void loadLibrariesFromSystemOnly() {
    // The loader never looks beside the program unless told to (RPATH, LD_LIBRARY_PATH).
}

Library::AnyFunction Library::functionAddress(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return reinterpret_cast<AnyFunction>(dlsym(handle_, name));
}

}  // namespace platform
