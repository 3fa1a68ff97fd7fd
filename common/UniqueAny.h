#pragma once
// Owner of one handle, shared by the program and the Word stand-in; each declares its own kinds.

#include <cstdint>
#include <utility>

// H is the handle type, Close frees it, Empty is the value that holds nothing (a number, since
// INVALID_HANDLE_VALUE cannot be a template argument). Move-only.
template <class H, auto Close, std::intptr_t Empty = 0> class UniqueAny {
public:
    UniqueAny() noexcept = default;
    explicit UniqueAny(H h) noexcept : h_(h) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : h_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    static H empty() noexcept { return reinterpret_cast<H>(Empty); }
    H get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != empty(); }
    H release() noexcept { return std::exchange(h_, empty()); }
    void reset(H h = empty()) noexcept {
        H old = std::exchange(h_, h);
        if (old != empty())
            Close(old);
    }
    // For out-parameters: frees what is held and lends the slot.
    H* put() noexcept {
        reset();
        return &h_;
    }

private:
    H h_ = empty();
};
