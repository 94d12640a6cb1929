#include "platform/media/DeviceEnum.h"

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

RegisteredFilter Camera(const std::string& name, const std::string& path, bool creatable) {
    RegisteredFilter f;
    f.clsid = MakeGuid("17CCA71B-ECD7-11D0-B908-00A0C9223196");
    f.friendlyName = name;
    f.properties["DevicePath"] = path;
    if (creatable) f.create = [] { return ComPtr<IBaseFilter>(new TCountingSource); };
    return f;
}

std::vector<ComPtr<IMoniker>> All(IEnumMoniker* e) {
    std::vector<ComPtr<IMoniker>> out;
    IMoniker* m = nullptr;
    ULONG n = 0;
    while (e->Next(1, &m, &n) == S_OK)
        out.push_back(ComPtr<IMoniker>::Attach(m));
    return out;
}

std::string Read(IMoniker* m, const std::string& name, HRESULT* hr = nullptr) {
    ComPtr<IPropertyBag> bag;
    m->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.putVoid());
    VARIANT v;
    HRESULT r = bag->Read(name, &v, nullptr);
    if (hr) *hr = r;
    return v.bstrVal;
}

class DeviceEnumTest : public ::testing::Test {
protected:
    std::shared_ptr<FilterRegistry> registry = std::make_shared<FilterRegistry>();
    ComPtr<CSystemDeviceEnum> devEnum{new CSystemDeviceEnum(registry)};
};

TEST_F(DeviceEnumTest, ACategoryListsItsEntriesInOrderWithTheirProperties) {
    // Setup
    registry->Register(CLSID_VideoInputDeviceCategory, Camera("Cam", "/dev/video0", true));
    registry->Register(CLSID_VideoInputDeviceCategory, Camera("Cam", "/dev/video1", true));
    registry->Register(CLSID_VideoInputDeviceCategory, Camera("Other", "/dev/video2", false));

    // Exercise
    ComPtr<IEnumMoniker> e;
    HRESULT hr = devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, e.put(), 0);
    ASSERT_EQ(hr, S_OK);
    auto monikers = All(e.get());

    // Verification
    ASSERT_EQ(monikers.size(), 3u);
    EXPECT_EQ(Read(monikers[0].get(), "FriendlyName"), "Cam");
    EXPECT_EQ(Read(monikers[1].get(), "DevicePath"), "/dev/video1");
    EXPECT_EQ(Read(monikers[2].get(), "CLSID"), "{17CCA71B-ECD7-11D0-B908-00A0C9223196}");
    HRESULT missing = S_OK;
    Read(monikers[0].get(), "Description", &missing);
    EXPECT_EQ(missing, E_FAIL);
}

TEST_F(DeviceEnumTest, AnEmptyCategoryAnswersSFalseWithoutAnEnumerator) {
    // Setup
    ComPtr<IEnumMoniker> e;

    // Exercise
    HRESULT hr = devEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, e.put(), 0);

    // Verification
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_FALSE(e);
}

TEST_F(DeviceEnumTest, MonikersBindToNewFiltersAndRoundTripThroughTheirDisplayNames) {
    // Setup
    registry->Register(CLSID_VideoInputDeviceCategory, Camera("Cam", "/dev/video0", true));
    registry->Register(CLSID_VideoInputDeviceCategory, Camera("Broken", "/dev/video9", false));
    ComPtr<IEnumMoniker> e;
    devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, e.put(), 0);
    auto monikers = All(e.get());
    ASSERT_EQ(monikers.size(), 2u);

    // Exercise
    ComPtr<IBaseFilter> a, b, broken;
    HRESULT hrA = monikers[0]->BindToObject(nullptr, nullptr, IBaseFilter::iid, a.putVoid());
    monikers[0]->BindToObject(nullptr, nullptr, IBaseFilter::iid, b.putVoid());
    HRESULT hrBroken =
        monikers[1]->BindToObject(nullptr, nullptr, IBaseFilter::iid, broken.putVoid());
    std::string name;
    monikers[0]->GetDisplayName(nullptr, nullptr, &name);
    ComPtr<IMoniker> again;
    HRESULT found =
        devEnum->MonikerFromDisplayName(CLSID_VideoInputDeviceCategory, name, again.put());
    ComPtr<IMoniker> gone;
    HRESULT lost = devEnum->MonikerFromDisplayName(CLSID_VideoInputDeviceCategory,
                                                   "@device:pnp:/dev/video7", gone.put());

    // Verification
    EXPECT_EQ(hrA, S_OK);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(hrBroken, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(name, "@device:pnp:/dev/video0");
    ASSERT_EQ(found, S_OK);
    EXPECT_EQ(Read(again.get(), "DevicePath"), "/dev/video0");
    EXPECT_EQ(lost, VFW_E_NOT_FOUND);
}

TEST_F(DeviceEnumTest, RegisteredFiltersAreNamedByCategoryAndClassId) {
    // Setup
    RegisteredFilter f;
    f.clsid = MakeGuid("B87BEB7B-8D29-423F-AE4D-6582C10175AC");
    f.friendlyName = "Video Renderer";
    registry->Register(CLSID_LegacyAmFilterCategory, f);
    ComPtr<IEnumMoniker> e;
    devEnum->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, e.put(), 0);
    auto monikers = All(e.get());
    ASSERT_EQ(monikers.size(), 1u);

    // Exercise
    std::string name;
    monikers[0]->GetDisplayName(nullptr, nullptr, &name);
    bool removed = registry->Unregister(CLSID_LegacyAmFilterCategory, f.clsid);
    ComPtr<IMoniker> after;
    HRESULT hr = devEnum->MonikerFromDisplayName(CLSID_LegacyAmFilterCategory, name, after.put());

    // Verification
    EXPECT_EQ(name, "@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\"
                    "{B87BEB7B-8D29-423F-AE4D-6582C10175AC}");
    EXPECT_TRUE(removed);
    EXPECT_EQ(hr, VFW_E_NOT_FOUND);
}

} // namespace
} // namespace talvence
