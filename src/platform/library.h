#pragma once

#include <string>

// A dynamic library loaded at run time; released when the object goes.
namespace platform {

class Library {
  public:
    Library() = default;
    explicit Library(const std::string& name) { load(name); }
    ~Library() { release(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    Library(Library&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Library& operator=(Library&& other) noexcept;

    // `name` (ANSI) is a full path, or a bare file name that the system loader looks up. On
    // Windows a bare name is looked for in the system folder only, and the libraries a library
    // needs in its own folder and the system folder, never beside the program.
    bool load(const std::string& name);
    void release();
    bool isLoaded() const { return handle_ != nullptr; }

    // The function exported under `name` as a pointer of type Fn, or null when the library lacks
    // it (or nothing is loaded).
    template <class Fn>
    Fn function(const char* name) const {
        return reinterpret_cast<Fn>(functionAddress(name));
    }

  private:
    using AnyFunction = void (*)();
    AnyFunction functionAddress(const char* name) const;

    void* handle_ = nullptr;
};

// From here on the process loads libraries by bare name from the system folder only (Windows;
// nothing elsewhere): a library planted beside the program, in a Downloads folder or an
// unpacked zip, is never taken for a system one. Each program calls it first thing.
void loadLibrariesFromSystemOnly();

}  // namespace platform
