#pragma once

// COM-like identity: every engine object answers QueryInterface by interface id and is kept alive
// by an intrusive reference count. ComPtr<T> holds one reference; plain pointers never own.

#include "platform/media/Guid.h"
#include "platform/media/HResult.h"

#include <atomic>
#include <utility>

namespace talvence {

struct IUnknown {
    static constexpr GUID iid = MakeGuid("00000000-0000-0000-C000-000000000046");

    // On success *ppv holds an added reference; on failure *ppv is null and E_NOINTERFACE returned.
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

inline constexpr GUID IID_IUnknown = IUnknown::iid;

// An object of one interface: answers IUnknown and I, counts its references (any thread) and
// deletes itself at its last release. It starts with no reference: the first ComPtr or the
// AddRef of the function handing it out takes one.
template <class I> class TRefCounted : public I {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == I::iid) {
            *ppv = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

private:
    std::atomic<ULONG> refs_{0};
};

// In the body of a class that adds interfaces to a base which already implements IUnknown: the
// added interfaces answer QueryInterface, AddRef and Release through that base, so the object
// keeps one identity and one count. Any thread, as the base's methods are.
#define FORWARD_IUNKNOWN(Base)                                                                     \
    ::talvence::HRESULT QueryInterface(::talvence::REFIID riid, void** ppv) override {             \
        return Base::QueryInterface(riid, ppv);                                                    \
    }                                                                                              \
    ::talvence::ULONG AddRef() override {                                                          \
        return Base::AddRef();                                                                     \
    }                                                                                              \
    ::talvence::ULONG Release() override {                                                         \
        return Base::Release();                                                                    \
    }

template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference (the object keeps its own count; creation starts at zero).
    ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U> ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.get())) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& o) {
        ComPtr tmp(o);
        swap(tmp);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr tmp(std::move(o));
        swap(tmp);
        return *this;
    }
    ComPtr& operator=(T* p) {
        ComPtr tmp(p);
        swap(tmp);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        reset();
        return *this;
    }

    // Adopts a reference the caller already owns (an out parameter filled by a callee).
    static ComPtr Attach(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    T* Detach() { return std::exchange(p_, nullptr); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // For out parameters: releases what is held and hands out the slot to fill.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    // Null when the object lacks the interface.
    template <class U> ComPtr<U> As() const {
        ComPtr<U> out;
        if (p_) p_->QueryInterface(U::iid, out.putVoid());
        return out;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

// Fills an out parameter with an added reference.
template <class T> inline HRESULT ReturnInterface(T* p, T** out) {
    if (!out) return E_POINTER;
    *out = p;
    if (p) p->AddRef();
    return S_OK;
}

// Same identity test as the platform's: compares the IUnknown each object answers.
bool IsEqualObject(IUnknown* a, IUnknown* b);

} // namespace talvence
