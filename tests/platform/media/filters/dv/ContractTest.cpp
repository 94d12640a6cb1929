// The framework's contract on the DV filters: the splitter and the video decoder on ffmpeg's DV,
// the muxer on its video, the encoder on plain pictures.

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/media/filters/dv/DvMuxerFilter.h"
#include "platform/media/filters/dv/DvSplitterFilter.h"
#include "platform/media/filters/dv/DvVideoDecoderFilter.h"
#include "platform/media/filters/dv/DvVideoEncoderFilter.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"
#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

using dvcodec::DvSystem;

constexpr long kPalFrameBytes = 144000;

template <class F> std::function<ComPtr<IBaseFilter>(TContractRig&)> Make() {
    return [](TContractRig&) { return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new F)); };
}

// Each delivered sample is this long.
auto Length(long bytes) {
    return [bytes](long, const std::vector<BYTE>&, const TReceivedSample& s) {
        EXPECT_EQ(s.length, bytes);
    };
}

// The same DV type at half the frame rate: a change of type that keeps the frames as they are.
CMediaType SlowerDvsd() {
    CMediaType t = dvcodec::DvsdVideoType(DvSystem::Pal625);
    t.FormatAs<VIDEOINFOHEADER>()->AvgTimePerFrame *= 2;
    return t;
}

std::vector<TContractSubject> Subjects() {
    const auto frames = [] { return dvcodec::testing::ClipFrames({.pal = true, .frames = 3}); };

    TContractSubject splitter;
    splitter.name = "DvSplitter";
    splitter.role = TFilterRole::Tee;
    splitter.make = Make<TDvSplitter>();
    splitter.input = dvcodec::InterleavedDvType(dvcodec::MakeDvInfo(DvSystem::Pal625, 48000));
    splitter.payload = frames;
    splitter.output = Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
    splitter.expectOutput = ExpectAsSent;
    splitter.acceptedChange =
        dvcodec::InterleavedDvType(dvcodec::MakeDvInfo(DvSystem::Pal625, 32000));

    TContractSubject muxer;
    muxer.name = "DvMuxer";
    muxer.make = Make<TDvMuxer>();
    muxer.input = dvcodec::DvsdVideoType(DvSystem::Pal625);
    muxer.payload = frames;
    muxer.output = Accepting(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    muxer.expectOutput = Length(kPalFrameBytes);
    muxer.acceptedChange = SlowerDvsd();

    TContractSubject decoder;
    decoder.name = "DvVideoDecoder";
    decoder.make = Make<TDvVideoDecoder>();
    decoder.input = dvcodec::DvsdVideoType(DvSystem::Pal625);
    decoder.payload = frames;
    decoder.output = Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    decoder.expectOutput = Length(720 * 576 * 3);
    decoder.acceptedChange = SlowerDvsd();

    // Pictures of 320x240 in; the output stays the same when the picture shrinks.
    TContractSubject encoder;
    encoder.name = "DvVideoEncoder";
    encoder.make = Make<TDvVideoEncoder>();
    encoder.sampleSize = 320 * 240 * 3;
    encoder.output = Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
    encoder.expectOutput = Length(120000);
    encoder.acceptedChange = MakeTestVideoType(160, 120);

    return {splitter, muxer, decoder, encoder};
}

INSTANTIATE_TEST_SUITE_P(DvFilters, FilterContract, ::testing::ValuesIn(Subjects()), ContractName);

} // namespace
} // namespace talvence::testing
