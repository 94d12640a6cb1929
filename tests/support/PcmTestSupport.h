#pragma once

// PCM for the tests of the audio filters and the ALSA capture source: the test source fed in chunks
// with times counted from the frames, a PCM sink and what it received, PCM signal makers and a
// frequency measure.

#include "tests/support/Waits.h"
#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/audio/PcmFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace talvence::testing {

// PCM for the test source: `data` in chunks of chunkFrames frames, with times counted from the
// frames. From chunk gapAtChunk on the times jump by `gap` and that chunk is marked a
// discontinuity, as after data lost upstream (-1: never).
struct TPcmFeed {
    TPcmFormat format{48000, 2, 16};
    std::vector<BYTE> data;
    long chunkFrames = 1920; // one 25 fps frame of 48 kHz audio
    long bufferCount = 4;
    long gapAtChunk = -1;
    REFERENCE_TIME gap = 0;

    // Gives the source this type, these frames and buffers for them (test thread, stopped).
    void Into(TCountingSource& source) const {
        const long block = static_cast<long>(format.BlockAlign());
        const long total = static_cast<long>(data.size()) / block;
        std::vector<TTestFrame> frames;
        for (long offset = 0; offset < total; offset += chunkFrames) {
            const long n = std::min(chunkFrames, total - offset);
            const long chunk = offset / chunkFrames;
            const REFERENCE_TIME shift = gapAtChunk >= 0 && chunk >= gapAtChunk ? gap : 0;
            TTestFrame f;
            f.bytes.assign(data.begin() + offset * block, data.begin() + (offset + n) * block);
            f.start = format.Duration(offset) + shift;
            f.stop = format.Duration(offset + n) + shift;
            f.syncPoint = true;
            f.discontinuity = chunk == gapAtChunk;
            frames.push_back(std::move(f));
        }
        const TPcmFormat f = format;
        source.mediaType = MakePcmType(format);
        source.accept = [f](const CMediaType& mt) { return PcmFormatOf(mt) == f; };
        source.bufferCount = bufferCount;
        source.bufferSize = chunkFrames * block;
        source.SetFrames(std::move(frames));
    }
};

// PCM of the formats `allow` takes (null: any PCM the filters handle).
inline TypeTest AcceptingPcm(std::function<bool(const TPcmFormat&)> allow = {}) {
    return [allow](const CMediaType& mt) {
        const auto f = PcmFormatOf(mt);
        return f && (!allow || allow(*f));
    };
}

// A sink of PCM that keeps every byte it receives.
inline ComPtr<TCountingSink> MakePcmSink() {
    return TCountingSink::Recording(AcceptingPcm());
}

// The format the sink is connected with.
inline TPcmFormat FormatOf(const TCountingSink& sink) {
    return *PcmFormatOf(sink.InputType());
}

// The times of each sample the sink received.
struct TSampleTimes {
    REFERENCE_TIME start = 0, stop = 0;
    bool valid = false; // start and stop
    bool discontinuity = false;
};
inline std::vector<TSampleTimes> SampleTimes(const TCountingSink& sink) {
    std::vector<TSampleTimes> times;
    for (const TReceivedSample& s : sink.Samples())
        times.push_back({s.start, s.stop, s.hasStop, s.discontinuity});
    return times;
}

// A 16-bit sine of the given frequency on every channel.
inline std::vector<BYTE> MakeSine(const TPcmFormat& f, double seconds, double hz,
                                  double amplitude = 16000) {
    const long frames = std::lround(seconds * f.rate);
    std::vector<BYTE> out(static_cast<std::size_t>(frames) * f.BlockAlign());
    for (long i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2 * M_PI * hz * i / f.rate)));
        for (unsigned c = 0; c < f.channels; ++c)
            std::memcpy(&out[(static_cast<std::size_t>(i) * f.channels + c) * 2], &v, 2);
    }
    return out;
}

// Channel `channel` of 16-bit interleaved PCM.
inline std::vector<std::int16_t> Channel16(const std::vector<BYTE>& bytes, unsigned channels,
                                           unsigned channel = 0) {
    std::vector<std::int16_t> out;
    for (std::size_t i = channel * 2; i + 1 < bytes.size(); i += channels * 2) {
        std::int16_t v;
        std::memcpy(&v, &bytes[i], 2);
        out.push_back(v);
    }
    return out;
}

// The frequency from rising zero crossings, over the samples from `from` to `to`.
inline double MeasureFrequency(const std::vector<std::int16_t>& s, unsigned rate, std::size_t from,
                               std::size_t to) {
    std::size_t first = 0, last = 0;
    long crossings = 0;
    for (std::size_t i = from + 1; i < to && i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    if (crossings < 2) return 0;
    return (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

// Runs the graph until EC_COMPLETE (bounded) and stops it.
inline HRESULT RunToCompletion(CFilterGraph* graph) {
    HRESULT hr = graph->Run();
    if (FAILED(hr)) return hr;
    long code = 0;
    hr = graph->WaitForCompletion(10000, &code);
    graph->Stop();
    if (hr != S_OK) return hr;
    return code == EC_COMPLETE ? S_OK : E_FAIL;
}

} // namespace talvence::testing
