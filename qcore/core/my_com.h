#pragma once
// Intrusive reference counting for the library's shared objects (materials, texture references, scene
// items) and the smart pointer that holds them and the device's interfaces alike.
#include <qcore/platform/win32/com.h>

#include <utility>

class IMyCom {
public:
    virtual HRESULT QueryInterface(REFIID, void** out) {
        if (out) *out = nullptr;
        return E_FAIL;
    }
    virtual ULONG AddRef() { return static_cast<ULONG>(++refcount); }
    virtual ULONG Release() {
        on_release();
        const int left = --refcount;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    IMyCom() = default;
    IMyCom(const IMyCom&) : refcount(1) {}
    IMyCom& operator=(const IMyCom&) { return *this; }
    virtual ~IMyCom() = default;
    // Called at the start of every Release.
    virtual void on_release() {}

    int refcount = 1;
};

template <class T> class CMyComPtr {
public:
    CMyComPtr() = default;
    CMyComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    CMyComPtr(const CMyComPtr& o) : CMyComPtr(o.p_) {}
    CMyComPtr(CMyComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~CMyComPtr() { reset(); }

    CMyComPtr& operator=(T* p) {
        if (p) p->AddRef();
        reset();
        p_ = p;
        return *this;
    }
    CMyComPtr& operator=(const CMyComPtr& o) { return *this = o.p_; }
    CMyComPtr& operator=(CMyComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }

    void reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Takes over a reference the caller already owns (a creation out-parameter) without adding one.
    void attach(T* p) {
        reset();
        p_ = p;
    }
    T* detach() { return std::exchange(p_, nullptr); }
    // For creation out-parameters: releases what is held and hands over the slot.
    T** out() {
        reset();
        return &p_;
    }

    T* get() const { return p_; }
    operator T*() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }

private:
    T* p_ = nullptr;
};
