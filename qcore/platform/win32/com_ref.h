#pragma once
// An owning reference to a COM-style interface (Direct3D objects and the like), released when it goes out
// of scope.
#include <utility>

namespace qcore {

template <class T> class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* p) : p_(p) {}
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComRef& operator=(ComRef&& o) noexcept {
        reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    ~ComRef() { reset(); }

    void reset(T* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }
    // For out-parameters: releases what is held and hands the slot to fill.
    T** out() {
        reset();
        return &p_;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* detach() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

} // namespace qcore
