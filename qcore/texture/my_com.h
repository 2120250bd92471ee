#pragma once
// Intrusive reference counting for materials, texture references and scene items, and the smart pointer
// that holds them and Direct3D interfaces alike.
#include <qcore/platform/win32/com.h>

#include <utility>

class IMyCom {
public:
    // No interface lookup exists: always E_FAIL and a null pointer.
    virtual HRESULT QueryInterface(REFIID, void** object) {
        if (object) *object = nullptr;
        return E_FAIL;
    }
    virtual ULONG AddRef() { return static_cast<ULONG>(++refcount); }
    // Calls the release hook, then destroys the object when the count reaches 0.
    virtual ULONG Release() {
        on_release();
        const int left = --refcount;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    virtual ~IMyCom() = default;
    virtual void on_release() {}

    int refcount = 1;

protected:
    IMyCom() = default;
    IMyCom(const IMyCom&) : refcount(1) {}
    IMyCom& operator=(const IMyCom&) { return *this; }
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

    // The new object gains its reference before the old one loses it, so assigning a pointer to itself (or
    // to an object the old one owns) is safe.
    CMyComPtr& operator=(T* p) {
        if (p) p->AddRef();
        T* old = std::exchange(p_, p);
        if (old) old->Release();
        return *this;
    }
    CMyComPtr& operator=(const CMyComPtr& o) { return *this = o.p_; }
    CMyComPtr& operator=(CMyComPtr&& o) noexcept {
        if (this != &o) {
            T* old = std::exchange(p_, std::exchange(o.p_, nullptr));
            if (old) old->Release();
        }
        return *this;
    }

    void reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Takes over a reference the caller already owns (a factory's initial count of 1).
    void attach(T* p) {
        T* old = std::exchange(p_, p);
        if (old) old->Release();
    }
    T* detach() { return std::exchange(p_, nullptr); }
    // For out-parameters: releases what is held and hands the slot to fill.
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
