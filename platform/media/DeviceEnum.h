#pragma once

// The system device enumerator: the entries of a registry category as monikers, each binding to
// its filter and to a property bag with "FriendlyName", "CLSID" and the entry's other values.
// Of IMoniker only what binding and naming need is provided.
//
// Threads: any (the registry locks itself); a moniker is a snapshot of its entry.

#include "platform/media/FilterRegistry.h"

#include <atomic>
#include <memory>

namespace talvence {

enum VARENUM : WORD { VT_EMPTY = 0, VT_I4 = 3, VT_BSTR = 8 };

// The subset of the platform's variant the property bags use: text and 32-bit integers.
struct VARIANT {
    WORD vt = VT_EMPTY;
    LONG lVal = 0;
    std::string bstrVal; // UTF-8
};

struct IBindCtx; // always null: binding takes no context here
struct IErrorLog;

struct IPropertyBag : IUnknown {
    static constexpr GUID iid = MakeGuid("55272A00-42CB-11CE-8135-00AA004BB851");
    // var->vt VT_EMPTY or VT_BSTR asks for text; E_FAIL for a value the entry does not have.
    virtual HRESULT Read(const std::string& name, VARIANT* var, IErrorLog* log) = 0;
};

struct IMoniker : IUnknown {
    static constexpr GUID iid = MakeGuid("0000000F-0000-0000-C000-000000000046");
    // Creates the filter; REGDB_E_CLASSNOTREG when the entry cannot make one.
    virtual HRESULT BindToObject(IBindCtx* ctx, IMoniker* left, REFIID riid, void** ppv) = 0;
    // IPropertyBag of the entry.
    virtual HRESULT BindToStorage(IBindCtx* ctx, IMoniker* left, REFIID riid, void** ppv) = 0;
    // "@device:pnp:<device path>" for devices, "@device:sw:{category}\{clsid}" otherwise.
    virtual HRESULT GetDisplayName(IBindCtx* ctx, IMoniker* left, std::string* name) = 0;
};

struct IEnumMoniker : IUnknown {
    static constexpr GUID iid = MakeGuid("00000102-0000-0000-C000-000000000046");
    virtual HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMoniker** out) = 0;
};

struct ICreateDevEnum : IUnknown {
    static constexpr GUID iid = MakeGuid("29840822-5B84-11D0-BD3B-00A0C911CE86");
    // S_FALSE and a null enumerator for an empty or unknown category, as on the platform.
    virtual HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD flags) = 0;
};

inline constexpr GUID CLSID_SystemDeviceEnum = MakeGuid("62BE5D10-60EB-11D0-BD3B-00A0C911CE86");

class CSystemDeviceEnum : public TRefCounted<ICreateDevEnum> {
public:
    explicit CSystemDeviceEnum(std::shared_ptr<const FilterRegistry> registry);

    HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD flags) override;

    // A moniker from its display name (the persisted form of a filter slot); VFW_E_NOT_FOUND
    // when no entry of the category, or no device with that path, exists any more.
    HRESULT MonikerFromDisplayName(const GUID& category, const std::string& name, IMoniker** out);

private:
    std::shared_ptr<const FilterRegistry> registry_;
};

// A moniker for one entry (also used by the capture graph builder to create writers).
ComPtr<IMoniker> MakeMoniker(const GUID& category, RegisteredFilter entry);

} // namespace talvence
