// The inlay chain of a DV capture (DV decoder -> converter -> superposer in YUV -> DV encoder)
// on a real clip: when nothing after the decoder reads more than the text's area, the decoder
// decodes only the segments under it, and the DV written is byte for byte that of a chain whose
// decoder decodes every frame whole (a second branch that cannot say what it reads forces it).

#include "filters/BaseClass/CountingFilters.h"
#include "filters/vq_superposer/vq_superposer.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/InfTee.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/media/filters/dv/DvSegmentCodec.h"
#include "platform/media/filters/dv/DvVideoDecoderFilter.h"
#include "platform/media/filters/dv/DvVideoEncoderFilter.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/InlayTestSupport.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using dvcodec::DvSystem;
using Bytes = std::vector<std::uint8_t>;

struct ChainRun {
    std::vector<Bytes> frames; // the encoder's
    long decodedInPart = 0;
    long encoderDrops = 0;
};

// The clip through the chain with the text at (x, y) per mille; with `wholeReader`, a second
// branch behind the superposer that reads every picture whole.
ChainRun RunChain(DvSystem system, const std::vector<Bytes>& clip, int x, int y, int alignment,
                  bool wholeReader) {
    ChainRun r;
    ComPtr<CFilterGraph> g(new CFilterGraph);
    ComPtr<TCountingSource> source(new TCountingSource(dvcodec::DvsdVideoType(system), clip));
    ComPtr<TDvVideoDecoder> decoder(new TDvVideoDecoder);
    ComPtr<TColorSpaceConverter> converter(new TColorSpaceConverter);
    ComPtr<Tvq_Superposer> superposer(new Tvq_Superposer(nullptr, EnglishLocaleFormats(), 96));
    superposer->SetYuvInput(true);
    superposer->SetInlayActive(true);
    superposer->SetInlayAutoMode(0);
    superposer->SetInlayFormats("\"Partial 12\"", "\"decoding 34\"");
    superposer->SetInlayPosition(x, y, std::uint8_t(alignment));
    ComPtr<TInfTee> tee(new TInfTee);
    ComPtr<TDvVideoEncoder> encoder(new TDvVideoEncoder);
    encoder->put_IFormatResolution(system == DvSystem::Pal625 ? dvcodec::DVENCODERVIDEOFORMAT_PAL
                                                              : dvcodec::DVENCODERVIDEOFORMAT_NTSC,
                                   dvcodec::DVENCODERFORMAT_DVSD,
                                   dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr);
    ComPtr<TCountingSink> sink = TCountingSink::Recording(AcceptingAny());
    ComPtr<TCountingSink> whole = TCountingSink::Recording(AcceptingAny());
    g->AddFilter(source.get(), "Source");
    g->AddFilter(decoder.get(), "Decoder");
    g->AddFilter(converter.get(), "Converter");
    g->AddFilter(superposer.get(), "Superposer");
    g->AddFilter(tee.get(), "Tee");
    g->AddFilter(static_cast<IBaseFilter*>(encoder.get()), "Encoder");
    g->AddFilter(sink.get(), "Sink");
    g->AddFilter(whole.get(), "Whole");

    EXPECT_EQ(testing::ConnectFree(g.get(), source.get(), decoder.get()), S_OK);
    const CMediaType native = dvcodec::PictureType(system, dvcodec::NativeLayout(system));
    EXPECT_EQ(testing::ConnectFree(g.get(), decoder.get(), converter.get(), &native), S_OK);
    EXPECT_EQ(testing::ConnectFree(g.get(), converter.get(), superposer.get(),
                                   &converter->InputPin()->CurrentMediaType()),
              S_OK);
    EXPECT_EQ(testing::ConnectFree(g.get(), superposer.get(), tee.get()), S_OK);
    EXPECT_EQ(testing::ConnectFree(g.get(), tee.get(), static_cast<IBaseFilter*>(encoder.get())),
              S_OK);
    EXPECT_EQ(testing::ConnectFree(g.get(), static_cast<IBaseFilter*>(encoder.get()), sink.get()),
              S_OK);
    if (wholeReader) {
        EXPECT_EQ(testing::ConnectFree(g.get(), tee.get(), whole.get()), S_OK);
    }

    std::vector<TCountingSink*> sinks{sink.get()};
    if (wholeReader) sinks.push_back(whole.get());
    EXPECT_TRUE(testing::RunToEnd(g.get(), sinks));
    g->Stop();
    for (const TReceivedSample& s : sink->Samples())
        r.frames.push_back(s.bytes);
    r.decodedInPart = decoder->FramesDecodedInPart();
    r.encoderDrops = encoder->FramesDropped();
    return r;
}

class InlayPartialDecode : public ::testing::TestWithParam<DvSystem> {
protected:
    void SetUp() override { inlaytest::EnsureGuiApp(); }
};

TEST_P(InlayPartialDecode, WritesTheSameDvAsAWholeDecode) {
    const DvSystem system = GetParam();
    const std::vector<Bytes> clip = dvcodec::testing::ClipFrames(
        {.pal = system == DvSystem::Pal625, .sampleRate = 48000, .frames = 6});
    ASSERT_EQ(clip.size(), 6u) << "ffmpeg could not make the clip";
    struct Place {
        int x, y, alignment;
    };
    for (const Place p : {Place{30, 120, 0}, Place{970, 960, 2}}) {
        const ChainRun part = RunChain(system, clip, p.x, p.y, p.alignment, false);
        const ChainRun full = RunChain(system, clip, p.x, p.y, p.alignment, true);
        ASSERT_EQ(part.frames.size(), clip.size()) << p.x;
        ASSERT_EQ(full.frames.size(), clip.size()) << p.x;
        // The first frame is whole (where the text will be is not known yet), the others not.
        EXPECT_EQ(part.decodedInPart, long(clip.size()) - 1) << p.x;
        EXPECT_EQ(full.decodedInPart, 0) << p.x;
        EXPECT_EQ(part.encoderDrops + full.encoderDrops, 0);
        for (std::size_t k = 0; k < clip.size(); ++k) {
            EXPECT_TRUE(part.frames[k] == full.frames[k]) << p.x << " frame " << k;
            // The text is there: some video blocks differ from the clip's.
            EXPECT_NE(part.frames[k], clip[k]) << p.x << " frame " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothSystems, InlayPartialDecode,
                         ::testing::Values(DvSystem::Pal625, DvSystem::Ntsc525));

} // namespace
} // namespace talvence
