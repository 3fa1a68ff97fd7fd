#pragma once
// Owner of one handle, shared by the program and the Word stand-in; each declares its own kinds.

#include <utility>

// H is the handle type and Close frees it. The null handle holds nothing, whatever the handle's
// kind (see NullIfInvalid in Handles.h). Move-only.
template <class H, auto Close> class UniqueAny {
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

    H get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != H{}; }
    H release() noexcept { return std::exchange(h_, H{}); }
    void reset(H h = H{}) noexcept {
        H old = std::exchange(h_, h);
        if (old != H{})
            Close(old);
    }
    // For out-parameters: frees what is held and lends the slot.
    H* put() noexcept {
        reset();
        return &h_;
    }

private:
    H h_{};
};
