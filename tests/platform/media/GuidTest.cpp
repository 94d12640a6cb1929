#include "platform/media/Guid.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/Unknown.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace talvence {
namespace {

TEST(GuidTest, ParseAndFormatRoundTripInEitherCaseAndWithOrWithoutBraces) {
    // Setup
    const std::string text = "{860BB310-5D01-11D0-BD3B-00A0C911CE86}";

    // Exercise
    auto braced = ParseGuid(text);
    auto bare = ParseGuid("860bb310-5d01-11d0-bd3b-00a0c911ce86");

    // Verification
    ASSERT_TRUE(braced && bare);
    EXPECT_EQ(*braced, *bare);
    EXPECT_EQ(*braced, CLSID_VideoInputDeviceCategory);
    EXPECT_EQ(braced->Data1, 0x860BB310u);
    EXPECT_EQ(braced->Data2, 0x5D01);
    EXPECT_EQ(braced->Data4[0], 0xBD);
    EXPECT_EQ(braced->Data4[7], 0x86);
    EXPECT_EQ(FormatGuid(*bare), text);
}

TEST(GuidTest, MalformedTextIsRefused) {
    // Setup
    const char* bad[] = {
        "",
        "{860BB310-5D01-11D0-BD3B-00A0C911CE86",  // unbalanced brace
        "860BB310-5D01-11D0-BD3B-00A0C911CE8",    // short
        "860BB310-5D01-11D0-BD3B-00A0C911CE866",  // long
        "860BB310X5D01-11D0-BD3B-00A0C911CE86",   // separator
        "860BB31G-5D01-11D0-BD3B-00A0C911CE86",   // not hex
        "(860BB310-5D01-11D0-BD3B-00A0C911CE86)", // wrong brackets
    };

    for (const char* text : bad) {
        // Exercise
        auto g = ParseGuid(text);

        // Verification
        EXPECT_FALSE(g.has_value()) << text;
    }
}

TEST(GuidTest, FourCcSubtypesCarryTheirCodeInTheFirstField) {
    // Setup / Exercise
    const GUID dvsd = MEDIASUBTYPE_dvsd;
    const GUID iavs = MEDIATYPE_Interleaved;

    // Verification: the first field is the little-endian FOURCC ("dvsd", "iavs").
    const char dv[4] = {char(dvsd.Data1 & 0xFF), char((dvsd.Data1 >> 8) & 0xFF),
                        char((dvsd.Data1 >> 16) & 0xFF), char(dvsd.Data1 >> 24)};
    const char ia[4] = {char(iavs.Data1 & 0xFF), char((iavs.Data1 >> 8) & 0xFF),
                        char((iavs.Data1 >> 16) & 0xFF), char(iavs.Data1 >> 24)};
    EXPECT_EQ(std::string(dv, 4), "dvsd");
    EXPECT_EQ(std::string(ia, 4), "iavs");
    std::unordered_set<GUID> distinct = {MEDIATYPE_Video,       MEDIATYPE_Audio,
                                         MEDIATYPE_Interleaved, MEDIATYPE_Stream,
                                         MEDIASUBTYPE_RGB24,    MEDIASUBTYPE_dvsd};
    EXPECT_EQ(distinct.size(), 6u);
}

// A minimal object to watch reference counts.
struct Counted : IUnknown {
    static constexpr GUID iid = MakeGuid("11111111-2222-3333-4444-555555555555");
    int refs = 0;
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == iid) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
};

struct Missing : IUnknown {
    static constexpr GUID iid = MakeGuid("99999999-2222-3333-4444-555555555555");
};

TEST(ComPtrTest, CopiesMovesAndQueriesKeepTheCountBalanced) {
    // Setup
    Counted object;

    {
        // Exercise
        ComPtr<Counted> a(&object);
        ComPtr<Counted> b = a;
        ComPtr<Counted> c = std::move(b);
        ComPtr<IUnknown> asUnknown = a.As<IUnknown>();
        ComPtr<Missing> missing = a.As<Missing>();

        // Verification
        EXPECT_EQ(object.refs, 3);
        EXPECT_FALSE(b);
        EXPECT_FALSE(missing);
        c.reset();
        EXPECT_EQ(object.refs, 2);
    }
    EXPECT_EQ(object.refs, 0);

    // Attach adopts a reference without adding one; Detach hands it back.
    object.AddRef();
    {
        auto adopted = ComPtr<Counted>::Attach(&object);
        EXPECT_EQ(object.refs, 1);
    }
    EXPECT_EQ(object.refs, 0);
    EXPECT_TRUE(IsEqualObject(&object, &object));
    EXPECT_EQ(object.refs, 0);
}

} // namespace
} // namespace talvence
