#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <unknwn.h>

#include <utility>

// Owns one reference to a COM interface and releases it when it goes.
template <typename T>
class ComRef {
  public:
    ComRef() = default;
    // Takes over a reference the caller holds.
    explicit ComRef(T* adopted) : p_(adopted) {}
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    // A reference of its own to an interface someone else holds (which may be null).
    static ComRef share(T* held) {
        if (held != nullptr) held->AddRef();
        return ComRef(held);
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: drops what is held and hands out the slot.
    T** put() {
        reset();
        return &p_;
    }
    // Hands the reference over to the caller (an out-parameter that hands out a new reference).
    T* detach() { return std::exchange(p_, nullptr); }
    void reset() {
        if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
    }

  private:
    T* p_ = nullptr;
};

// `object`'s `Interface`, or nothing when it has none (or `object` is null).
template <typename Interface>
ComRef<Interface> queryInterface(IUnknown* object) {
    ComRef<Interface> found;
    if (object != nullptr)
        object->QueryInterface(__uuidof(Interface), reinterpret_cast<void**>(found.put()));
    return found;
}

// Whether two interfaces belong to one object: COM's identity is the IUnknown each leads to.
inline bool sameObject(IUnknown* a, IUnknown* b) {
    ComRef<IUnknown> first = queryInterface<IUnknown>(a);
    return first && first.get() == queryInterface<IUnknown>(b).get();
}
