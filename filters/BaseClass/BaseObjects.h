#pragma once

// Root objects of the filter framework: the lock, the live-object counter and the
// reference-counted object with an identity query.

#include "platform/media/Unknown.h"

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>

namespace talvence {

// Raised for a broken framework invariant (a programming error, not a stream condition).
class TBCAssertionFailure : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// A critical section: recursive, so a hook may call back into the framework under the same lock.
class TBCCritSec {
public:
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }
    // For std::lock_guard / std::unique_lock.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

private:
    std::recursive_mutex mutex_;
};

using TBCAutoLock = std::lock_guard<TBCCritSec>;

// Counts live framework objects so tests can check that nothing leaks.
class TBCBaseObject {
public:
    explicit TBCBaseObject(std::string name);
    TBCBaseObject(const TBCBaseObject&) = delete;
    TBCBaseObject& operator=(const TBCBaseObject&) = delete;
    virtual ~TBCBaseObject();

    const std::string& ObjectName() const { return objectName_; }
    static long ObjectsActive();

private:
    std::string objectName_;
    static std::atomic<long> objectsActive_;
};

// Reference-counted object. Created with a count of zero; the first ComPtr takes it to one.
// With an outer object the IUnknown methods delegate to it (aggregation); the non-delegating
// methods always act on this object.
class TBCUnknown : public TBCBaseObject {
public:
    TBCUnknown(std::string name, IUnknown* outer);

    // May override to answer more interfaces; defer to the base for the rest.
    virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv);
    virtual ULONG NonDelegatingAddRef();
    // Deletes the object at zero.
    virtual ULONG NonDelegatingRelease();

    IUnknown* GetOwner() const { return outer_; }

protected:
    std::atomic<ULONG> refCount_{0};

private:
    IUnknown* outer_; // not owned: the outer object owns us
};

// Hands out an interface of this object with an added reference.
HRESULT GetInterface(IUnknown* p, void** ppv);

} // namespace talvence

// The IUnknown methods of a framework class: delegate to the outer object when aggregated.
#define TBC_DECLARE_IUNKNOWN                                                                       \
    HRESULT QueryInterface(::talvence::REFIID riid, void** ppv) override {                         \
        return GetOwner() ? GetOwner()->QueryInterface(riid, ppv)                                  \
                          : NonDelegatingQueryInterface(riid, ppv);                                \
    }                                                                                              \
    ::talvence::ULONG AddRef() override {                                                          \
        return GetOwner() ? GetOwner()->AddRef() : NonDelegatingAddRef();                          \
    }                                                                                              \
    ::talvence::ULONG Release() override {                                                         \
        return GetOwner() ? GetOwner()->Release() : NonDelegatingRelease();                        \
    }
