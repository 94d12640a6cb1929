#include "filters/BaseClass/BaseObjects.h"

namespace talvence {

std::atomic<long> TBCBaseObject::objectsActive_{0};

TBCBaseObject::TBCBaseObject(std::string name) : objectName_(std::move(name)) {
    ++objectsActive_;
}

TBCBaseObject::~TBCBaseObject() {
    --objectsActive_;
}

long TBCBaseObject::ObjectsActive() {
    return objectsActive_;
}

TBCUnknown::TBCUnknown(std::string name, IUnknown* outer)
    : TBCBaseObject(std::move(name)), outer_(outer) {}

HRESULT TBCUnknown::NonDelegatingQueryInterface(REFIID, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG TBCUnknown::NonDelegatingAddRef() {
    return ++refCount_;
}

ULONG TBCUnknown::NonDelegatingRelease() {
    const ULONG n = --refCount_;
    if (n == 0) delete this;
    return n;
}

HRESULT GetInterface(IUnknown* p, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = p;
    p->AddRef();
    return S_OK;
}

} // namespace talvence
