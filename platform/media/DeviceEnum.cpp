#include "platform/media/DeviceEnum.h"

#include <atomic>

namespace talvence {

namespace {

class CPropertyBag : public TRefCounted<IPropertyBag> {
public:
    explicit CPropertyBag(const RegisteredFilter& entry) : entry_(entry) {}
    HRESULT Read(const std::string& name, VARIANT* var, IErrorLog*) override {
        if (!var) return E_POINTER;
        if (var->vt != VT_EMPTY && var->vt != VT_BSTR) return E_INVALIDARG;
        std::string value;
        if (name == "FriendlyName") {
            value = entry_.friendlyName;
        } else if (name == "CLSID") {
            value = FormatGuid(entry_.clsid);
        } else {
            auto it = entry_.properties.find(name);
            if (it == entry_.properties.end()) return E_FAIL;
            value = it->second;
        }
        var->vt = VT_BSTR;
        var->bstrVal = value;
        return S_OK;
    }

private:
    RegisteredFilter entry_;
};

class CDeviceMoniker : public TRefCounted<IMoniker> {
public:
    CDeviceMoniker(const GUID& category, RegisteredFilter entry)
        : category_(category), entry_(std::move(entry)) {}
    HRESULT BindToObject(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        ComPtr<IBaseFilter> filter = entry_.create ? entry_.create() : nullptr;
        if (!filter) return REGDB_E_CLASSNOTREG;
        return filter->QueryInterface(riid, ppv);
    }
    HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        ComPtr<IPropertyBag> bag(new CPropertyBag(entry_));
        return bag->QueryInterface(riid, ppv);
    }
    HRESULT GetDisplayName(IBindCtx*, IMoniker*, std::string* name) override {
        if (!name) return E_POINTER;
        auto path = entry_.properties.find("DevicePath");
        if (path != entry_.properties.end())
            *name = "@device:pnp:" + path->second;
        else
            *name = "@device:sw:" + FormatGuid(category_) + "\\" + FormatGuid(entry_.clsid);
        return S_OK;
    }

private:
    GUID category_;
    RegisteredFilter entry_;
};

class CEnumMoniker : public TRefCounted<IEnumMoniker> {
public:
    CEnumMoniker(const GUID& category, std::vector<RegisteredFilter> entries, std::size_t pos = 0)
        : category_(category), entries_(std::move(entries)), position_(pos) {}
    HRESULT Next(ULONG count, IMoniker** out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        if (!fetched && count != 1) return E_INVALIDARG;
        ULONG n = 0;
        while (n < count && position_ < entries_.size()) {
            out[n] = MakeMoniker(category_, entries_[position_++]).Detach();
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        position_ = std::min(entries_.size(), position_ + count);
        return position_ < entries_.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumMoniker** out) override {
        if (!out) return E_POINTER;
        *out = new CEnumMoniker(category_, entries_, position_);
        (*out)->AddRef();
        return S_OK;
    }

private:
    GUID category_;
    std::vector<RegisteredFilter> entries_;
    std::size_t position_;
};

} // namespace

ComPtr<IMoniker> MakeMoniker(const GUID& category, RegisteredFilter entry) {
    return ComPtr<IMoniker>(new CDeviceMoniker(category, std::move(entry)));
}

CSystemDeviceEnum::CSystemDeviceEnum(std::shared_ptr<const FilterRegistry> registry)
    : registry_(std::move(registry)) {}

HRESULT CSystemDeviceEnum::CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto entries = registry_ ? registry_->Entries(category) : std::vector<RegisteredFilter>{};
    if (entries.empty()) return S_FALSE;
    *out = new CEnumMoniker(category, std::move(entries));
    (*out)->AddRef();
    return S_OK;
}

HRESULT CSystemDeviceEnum::MonikerFromDisplayName(const GUID& category, const std::string& name,
                                                  IMoniker** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!registry_) return VFW_E_NOT_FOUND;
    for (const RegisteredFilter& entry : registry_->Entries(category)) {
        ComPtr<IMoniker> moniker = MakeMoniker(category, entry);
        std::string candidate;
        moniker->GetDisplayName(nullptr, nullptr, &candidate);
        if (candidate == name) {
            *out = moniker.Detach();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

} // namespace talvence
