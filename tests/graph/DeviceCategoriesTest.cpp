#include "graph/DeviceCategories.h"

#include "platform/media/MediaGuids.h"
#include "tests/graph/GraphTestSupport.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using namespace graphtest;

constexpr GUID kClsidA = MakeGuid("A1A1A1A1-0000-4000-8000-000000000001");
constexpr GUID kClsidB = MakeGuid("B2B2B2B2-0000-4000-8000-000000000002");
constexpr GUID kClsidC = MakeGuid("C3C3C3C3-0000-4000-8000-000000000003");

// An enumerator that fails the way a broken platform service would.
class TFailingDevEnum : public TRefCounted<ICreateDevEnum> {
public:
    HRESULT CreateClassEnumerator(REFCLSID, IEnumMoniker** out, DWORD) override {
        *out = nullptr;
        return E_FAIL;
    }
};

class DeviceCategoriesTest : public ::testing::Test {
protected:
    TestPlatform platform;
    std::shared_ptr<int> madeA = std::make_shared<int>(0);
    std::shared_ptr<int> madeB = std::make_shared<int>(0);
    std::shared_ptr<int> madeC = std::make_shared<int>(0);
    TFilterGraph fg{platform.registry};
    TFilter slot{"Dump"};

    // Two filters of the filter category under one name and one class id, and a third whose
    // name differs only in letter case from a device's.
    void RegisterDuplicates() {
        platform.RegisterDevice(CLSID_LegacyAmFilterCategory, "Dump", kClsidA, madeA);
        platform.RegisterDevice(CLSID_LegacyAmFilterCategory, "Dump", kClsidA, madeB);
        platform.RegisterDevice(CLSID_LegacyAmFilterCategory, "Pinnacle MPEG 2 Decoder", kClsidC,
                                madeC);
    }
    // Creates the slot's filter and tells which entry made it.
    void JoinAndLeave() {
        slot.SetFilterGraph(&fg);
        slot.SetFilterGraph(nullptr);
    }
};

TEST_F(DeviceCategoriesTest, TheWalkerListsACategoryInEnumerationOrder) {
    // Setup
    platform.RegisterDevice(CLSID_VideoInputDeviceCategory, "DV camcorder", kClsidA, nullptr);
    platform.RegisterDevice(CLSID_VideoInputDeviceCategory, "Webcam", kClsidB, nullptr);

    // Exercise
    TSysDevEnum walker(platform.devEnum, CLSID_VideoInputDeviceCategory);

    // Verification
    ASSERT_EQ(walker.EntryCount(), 2);
    EXPECT_EQ(walker.EntryAt(0), (TSysDevEntry{"DV camcorder", kClsidA}));
    EXPECT_EQ(walker.EntryAt(1), (TSysDevEntry{"Webcam", kClsidB}));
    EXPECT_FALSE(walker.EntryAt(2));
    EXPECT_FALSE(walker.EntryAt(-1));
    EXPECT_FALSE(walker.EntryMoniker(2));
    EXPECT_TRUE(walker.EntryMoniker(1));
}

TEST_F(DeviceCategoriesTest, AnEmptyCategoryHasNoEntriesAndFindsNothing) {
    // Setup
    TSysDevEnum walker(platform.devEnum, CLSID_VideoCompressorCategory);

    // Exercise / Verification
    EXPECT_EQ(walker.EntryCount(), 0);
    EXPECT_EQ(walker.IndexOfName("DV Video Encoder"), -1);
    EXPECT_FALSE(walker.EntryMoniker(0));
}

TEST_F(DeviceCategoriesTest, LongFriendlyNamesAreCutAt255CharactersNotBytes) {
    // Setup: 300 two-byte characters
    std::string longName;
    for (int i = 0; i < 300; ++i)
        longName += "\xC3\xA9"; // é
    platform.RegisterDevice(CLSID_AudioInputDeviceCategory, longName, kClsidA, nullptr);

    // Exercise
    TSysDevEnum walker(platform.devEnum, CLSID_AudioInputDeviceCategory);

    // Verification
    EXPECT_EQ(walker.EntryAt(0)->FriendlyName, longName.substr(0, 255 * 2));
}

TEST_F(DeviceCategoriesTest, IndexOfNameTakesTheLastMatchRegardlessOfLetterCase) {
    // Setup
    RegisterDuplicates();
    platform.RegisterDevice(CLSID_LegacyAmFilterCategory, "Caméra", kClsidB, nullptr);
    TSysDevEnum walker(platform.devEnum, CLSID_LegacyAmFilterCategory);
    const int first = walker.EntryCount() - 4;

    // Exercise / Verification
    EXPECT_EQ(walker.IndexOfName("Dump"), first + 1);
    EXPECT_EQ(walker.IndexOfName("DUMP"), first + 1);
    EXPECT_EQ(walker.IndexOfName("pinnacle mpeg 2 decoder"), first + 2);
    EXPECT_EQ(walker.IndexOfName("CAMÉRA"), first + 3);
    EXPECT_EQ(walker.IndexOfName("Dum"), -1);
    EXPECT_EQ(walker.IndexOfName(""), -1);
}

TEST_F(DeviceCategoriesTest, FindFilterByNamePicksTheEntryEnumeratedLastAndKeepsMembership) {
    // Setup
    RegisterDuplicates();
    TSysDevEnum filters(platform.devEnum, CLSID_LegacyAmFilterCategory);
    TFilter joined("Mpeg2VideoDec");
    joined.SetFilterGraph(&fg);

    // Exercise
    const bool found = FindFilterByName(filters, "dump", slot);
    const bool foundJoined = FindFilterByName(filters, "Pinnacle MPEG 2 Decoder", joined);
    const bool missing = FindFilterByName(filters, "Pinnacle Video Deinterlacer", slot);

    // Verification
    EXPECT_TRUE(found);
    EXPECT_TRUE(foundJoined);
    EXPECT_FALSE(missing);
    EXPECT_EQ(joined.FilterGraph(), &fg);
    JoinAndLeave();
    EXPECT_EQ(*madeA, 0);
    EXPECT_EQ(*madeB, 1);
}

TEST_F(DeviceCategoriesTest, FindFilterByClsidPicksTheFirstEntryAndTakesTheSlotOut) {
    // Setup
    RegisterDuplicates();
    slot.SetFilterGraph(&fg);

    // Exercise
    const bool found =
        FindFilterByClsid(platform.devEnum.get(), CLSID_LegacyAmFilterCategory, kClsidA, slot);

    // Verification
    EXPECT_TRUE(found);
    EXPECT_EQ(slot.FilterGraph(), nullptr);
    JoinAndLeave();
    EXPECT_EQ(*madeA, 1);
    EXPECT_EQ(*madeB, 0);
}

TEST_F(DeviceCategoriesTest, AMissingClassIdLeavesTheSlotsFilterAsItWas) {
    // Setup
    RegisterDuplicates();
    FindFilterByClsid(platform.devEnum.get(), CLSID_LegacyAmFilterCategory, kClsidC, slot);
    slot.SetFilterGraph(&fg);

    // Exercise
    const bool found =
        FindFilterByClsid(platform.devEnum.get(), CLSID_LegacyAmFilterCategory, kClsidB, slot);
    const bool inEmpty =
        FindFilterByClsid(platform.devEnum.get(), CLSID_VideoCompressorCategory, kClsidC, slot);

    // Verification
    EXPECT_FALSE(found);
    EXPECT_FALSE(inEmpty);
    EXPECT_EQ(slot.FilterGraph(), nullptr);
    JoinAndLeave();
    EXPECT_EQ(*madeC, 2);
}

TEST_F(DeviceCategoriesTest, FindDeviceByNameFindsADeviceWhoseNameDiffersInCase) {
    // Setup
    platform.RegisterDevice(CLSID_VideoInputDeviceCategory, "USB Video Device", kClsidA, madeA);
    platform.RegisterDevice(CLSID_VideoInputDeviceCategory, "usb video DEVICE", kClsidA, madeB);
    slot.SetFilterGraph(&fg);

    // Exercise
    const bool found = FindDeviceByName(platform.devEnum.get(), CLSID_VideoInputDeviceCategory,
                                        "Usb Video Device", slot);
    const bool missing =
        FindDeviceByName(platform.devEnum.get(), CLSID_VideoInputDeviceCategory, "Webcam", slot);

    // Verification
    EXPECT_TRUE(found);
    EXPECT_FALSE(missing);
    EXPECT_EQ(slot.FilterGraph(), nullptr);
    JoinAndLeave();
    EXPECT_EQ(*madeB, 1);
}

TEST_F(DeviceCategoriesTest, ListAudioDevicesReplacesTheListInEnumerationOrder) {
    // Setup
    std::vector<std::string> list{"stale"};

    // Exercise / Verification: empty category
    EXPECT_TRUE(ListAudioDevices(platform.devEnum.get(), list));
    EXPECT_TRUE(list.empty());

    // Exercise / Verification: two devices, one name twice
    platform.RegisterDevice(CLSID_AudioInputDeviceCategory, "HDA Intel PCH", kClsidA, nullptr);
    platform.RegisterDevice(CLSID_AudioInputDeviceCategory, "USB Audio", kClsidB, nullptr);
    platform.RegisterDevice(CLSID_AudioInputDeviceCategory, "HDA Intel PCH", kClsidA, nullptr);
    EXPECT_TRUE(ListAudioDevices(platform.devEnum.get(), list));
    EXPECT_EQ(list, (std::vector<std::string>{"HDA Intel PCH", "USB Audio", "HDA Intel PCH"}));
}

TEST_F(DeviceCategoriesTest, AFailingEnumeratorIsFalseForTheLookupsAndRaisesForTheWalker) {
    // Setup
    ComPtr<ICreateDevEnum> failing(new TFailingDevEnum);
    std::vector<std::string> list{"stale"};

    // Exercise / Verification
    EXPECT_FALSE(ListAudioDevices(failing.get(), list));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(FindDeviceByName(failing.get(), CLSID_VideoInputDeviceCategory, "Cam", slot));
    EXPECT_FALSE(FindFilterByClsid(failing.get(), CLSID_LegacyAmFilterCategory, kClsidA, slot));
    EXPECT_THROW(TSysDevEnum(failing, CLSID_AudioInputDeviceCategory), EGraphError);
}

} // namespace
} // namespace talvence
