// The settings pages of an ALSA capture source: the card's capture levels changed live and put
// back on Cancel, and the pin's rate and channels fixed for its next connection.

#include "platform/devices/alsa/AlsaCaptureSource.h"

#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

TEST(AlsaPages, LevelsChangeTheCardLiveAndCancelPutsThemBack) {
    // Setup
    auto mixer = std::make_shared<TFakeAlsaMixer>();
    mixer->cards["hw:CARD=PCH"] = {{"Capture", true, 0, 63, 40, true, true},
                                   {"Mic Boost", true, 0, 3, 0, false, false}};
    ComPtr<TAlsaCaptureSource> source(
        new TAlsaCaptureSource(nullptr, "plughw:CARD=PCH,DEV=0", "HDA Intel PCH", mixer));
    TPageList pages = PagesOf(static_cast<IBaseFilter*>(source.get()));
    ASSERT_EQ(pages.size(), 1u);
    IPageModel& page = *pages[0];
    const auto fields = page.Fields();
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].label, "Capture");
    EXPECT_EQ(fields[1].label, "Capture on");
    EXPECT_EQ(fields[1].kind, TPageField::Kind::Check);
    EXPECT_EQ(fields[2].maximum, 3);

    // Exercise / Verification
    page.Change(0, 50);
    page.Change(1, 0);
    page.Change(2, 9); // beyond the range: refused
    EXPECT_EQ(mixer->cards["hw:CARD=PCH"][0].volume, 50);
    EXPECT_FALSE(mixer->cards["hw:CARD=PCH"][0].on);
    EXPECT_EQ(mixer->cards["hw:CARD=PCH"][1].volume, 0);
    page.Cancel();
    EXPECT_EQ(mixer->cards["hw:CARD=PCH"][0].volume, 40);
    EXPECT_TRUE(mixer->cards["hw:CARD=PCH"][0].on);

    // A card without capture controls has no page.
    ComPtr<TAlsaCaptureSource> bare(
        new TAlsaCaptureSource(nullptr, "plughw:CARD=USB,DEV=0", "USB", mixer));
    EXPECT_TRUE(PagesOf(static_cast<IBaseFilter*>(bare.get())).empty());
}

TEST(AlsaPages, TheFormatPageFixesThePinsRateAndChannels) {
    // Setup
    ComPtr<TAlsaCaptureSource> source(new TAlsaCaptureSource(
        nullptr, "plughw:CARD=PCH,DEV=0", "HDA Intel PCH", std::make_shared<TFakeAlsaMixer>()));
    TPageList pages = PagesOf(source->OutputPin());
    ASSERT_EQ(pages.size(), 1u);

    // Exercise: 32000 Hz mono.
    pages[0]->Change(0, 2);
    pages[0]->Change(1, 0);
    pages[0]->Apply();

    // Verification: the pin offers that format alone.
    CMediaType offered;
    ASSERT_EQ(static_cast<TAlsaCaptureStream*>(source->GetPin(0))->GetMediaType(0, &offered),
              S_OK);
    EXPECT_EQ(PcmFormatOf(offered), (TPcmFormat{32000, 1, 16}));
    CMediaType other;
    EXPECT_EQ(static_cast<TAlsaCaptureStream*>(source->GetPin(0))->GetMediaType(1, &other),
              VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(pages[0]->Fields()[1].value, 0);
}

} // namespace
} // namespace talvence
