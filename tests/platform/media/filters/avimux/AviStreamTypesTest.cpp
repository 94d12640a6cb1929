// Which connection types the AVI Mux takes and what each becomes in the file.

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/avimux/AviStreamTypes.h"
#include "tests/platform/media/filters/avimux/AviGraphSupport.h"

namespace talvence {
namespace {

using namespace talvence::testing;

TEST(AviStreamTypesTest, CaptureFormatsBecomeTheirStreams) {
    // Setup
    CMediaType dvWithInfo = MakeDvType(false);
    BYTE info[sizeof(DVINFO)];
    for (std::size_t i = 0; i < sizeof info; ++i)
        info[i] = static_cast<BYTE>(0xA0 + i);
    const ULONG base = dvWithInfo.FormatLength();
    std::memcpy(dvWithInfo.ReallocFormatBuffer(base + sizeof info) + base, info, sizeof info);

    // Exercise
    const auto type1Pal = AviStreamForMediaType(MakeDvType(true));
    const auto type1Ntsc = AviStreamForMediaType(MakeDvType(true, false));
    const auto type2Video = AviStreamForMediaType(MakeDvType(false));
    const auto type2WithInfo = AviStreamForMediaType(dvWithInfo);
    const auto rgb = AviStreamForMediaType(MakeTestVideoType(320, 240, 666667));
    const auto pcm = AviStreamForMediaType(PcmType());

    // Verification
    ASSERT_TRUE(type1Pal && type1Ntsc && type2Video && type2WithInfo && rgb && pcm);
    EXPECT_EQ(type1Pal->role, AviStreamRole::Interleaved);
    EXPECT_EQ(type1Pal->format.size(), sizeof(DVINFO));
    EXPECT_EQ((AviRate{type1Pal->scale, type1Pal->rate}), (AviRate{1, 25}));
    EXPECT_EQ(type1Pal->height, 576);
    EXPECT_EQ((AviRate{type1Ntsc->scale, type1Ntsc->rate}), (AviRate{1001, 30000}));
    EXPECT_EQ(type1Ntsc->height, 480);

    EXPECT_EQ(type2Video->role, AviStreamRole::Video);
    EXPECT_EQ(type2Video->fccHandler, kFccDvsd);
    ASSERT_EQ(type2Video->format.size(), sizeof(BITMAPINFOHEADER) + sizeof(DVINFO));
    // Without a DVINFO from upstream the file's block still names the 625/50 system.
    EXPECT_EQ(type2Video->format[sizeof(BITMAPINFOHEADER) + DVINFO_SYSTEM_BYTE], DVINFO_50HZ_BIT);
    EXPECT_TRUE(std::equal(info, info + sizeof info,
                           type2WithInfo->format.begin() + sizeof(BITMAPINFOHEADER)));

    EXPECT_TRUE(rgb->uncompressed);
    EXPECT_EQ((AviRate{rgb->scale, rgb->rate}), (AviRate{1, 15}));
    EXPECT_EQ(pcm->role, AviStreamRole::Audio);
    EXPECT_EQ((AviRate{pcm->scale, pcm->rate}), (AviRate{4, 192000}));
    EXPECT_EQ(pcm->sampleSize, 4u);
}

TEST(AviStreamTypesTest, TypesAFileCannotHoldAreRefusedWithAReason) {
    // Setup
    CMediaType mpeg2(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO);
    mpeg2.SetFormatType(FORMAT_MPEG2Video);
    MPEG2VIDEOINFO m2;
    mpeg2.SetFormat(reinterpret_cast<const BYTE*>(&m2), sizeof m2);
    CMediaType noRate = MakeTestVideoType(320, 240, 0);
    CMediaType badPcm = PcmType();
    badPcm.FormatAs<WAVEFORMATEX>()->nBlockAlign = 3;
    CMediaType shortDvInfo = MakeDvType(true);
    shortDvInfo.ReallocFormatBuffer(16);
    CMediaType dvOddSize = MakeDvType(false);
    dvOddSize.FormatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth = 640;
    const CMediaType stream(MEDIATYPE_Stream, MEDIASUBTYPE_Avi);

    for (const CMediaType* mt : std::initializer_list<const CMediaType*>{
             &mpeg2, &noRate, &badPcm, &shortDvInfo, &dvOddSize, &stream}) {
        // Exercise
        std::string problem;
        const auto refused = AviStreamForMediaType(*mt, &problem);

        // Verification
        EXPECT_FALSE(refused.has_value());
        EXPECT_FALSE(problem.empty());
    }
}

} // namespace
} // namespace talvence
