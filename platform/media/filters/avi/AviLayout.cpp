#include "platform/media/filters/avi/AviLayout.h"

#include "platform/media/DvConstants.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace talvence {
namespace {

constexpr FourCc kFccRiff = MakeFourCc("RIFF");
constexpr FourCc kFccList = MakeFourCc("LIST");

std::uint32_t Padded(std::size_t n) {
    return static_cast<std::uint32_t>(n + (n & 1));
}

void PutFourCc(std::vector<std::uint8_t>& out, FourCc fcc) {
    AviPutLe32(out, fcc);
}

std::uint16_t FrameSide(LONG v) {
    const LONG a = v < 0 ? -v : v;
    return static_cast<std::uint16_t>(std::min<LONG>(a, 0x7FFF));
}

// The structs below are stored field by field, so the bytes are right
// whatever the host's byte order or padding.
void PutBitmapHeader(std::vector<std::uint8_t>& out, const BITMAPINFOHEADER& b) {
    AviPutLe32(out, b.biSize);
    AviPutLe32(out, static_cast<std::uint32_t>(b.biWidth));
    AviPutLe32(out, static_cast<std::uint32_t>(b.biHeight));
    AviPutLe16(out, b.biPlanes);
    AviPutLe16(out, b.biBitCount);
    AviPutLe32(out, b.biCompression);
    AviPutLe32(out, b.biSizeImage);
    AviPutLe32(out, static_cast<std::uint32_t>(b.biXPelsPerMeter));
    AviPutLe32(out, static_cast<std::uint32_t>(b.biYPelsPerMeter));
    AviPutLe32(out, b.biClrUsed);
    AviPutLe32(out, b.biClrImportant);
}

void PutDvInfo(std::vector<std::uint8_t>& out, const DVINFO& d) {
    AviPutLe32(out, d.dwDVAAuxSrc);
    AviPutLe32(out, d.dwDVAAuxCtl);
    AviPutLe32(out, d.dwDVAAuxSrc1);
    AviPutLe32(out, d.dwDVAAuxCtl1);
    AviPutLe32(out, d.dwDVVAuxSrc);
    AviPutLe32(out, d.dwDVVAuxCtl);
    AviPutLe32(out, d.dwDVReserved[0]);
    AviPutLe32(out, d.dwDVReserved[1]);
}

std::uint32_t StreamBufferSize(const AviStreamFormat& f, const AviStreamTotals& t) {
    return f.suggestedBufferSize != 0 ? f.suggestedBufferSize : t.largestChunk;
}

} // namespace

void AviPutLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void AviPutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

void AviPutLe64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

void AviSetLe32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(v >> (8 * i));
}

FourCc AviStreamType(AviStreamRole role) {
    switch (role) {
    case AviStreamRole::Video:
        return kFccVids;
    case AviStreamRole::Audio:
        return kFccAuds;
    case AviStreamRole::Interleaved:
        return kFccIavs;
    }
    return kFccVids;
}

FourCc AviDataChunkId(std::size_t stream, const AviStreamFormat& format) {
    const char tens = static_cast<char>('0' + (stream / 10) % 10);
    const char ones = static_cast<char>('0' + stream % 10);
    const char* kind = format.role == AviStreamRole::Audio                          ? "wb"
                       : format.role == AviStreamRole::Video && format.uncompressed ? "db"
                                                                                    : "dc";
    const char text[5] = {tens, ones, kind[0], kind[1], 0};
    return MakeFourCc(text);
}

FourCc AviStdIndexChunkId(std::size_t stream) {
    const char text[5] = {'i', 'x', static_cast<char>('0' + (stream / 10) % 10),
                          static_cast<char>('0' + stream % 10), 0};
    return MakeFourCc(text);
}

std::string FourCcText(FourCc fcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fcc >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::string AviStreamProblem(const AviStreamFormat& f) {
    if (f.scale == 0 || f.rate == 0) return "the stream has no time base (scale or rate is 0)";
    if (f.format.size() > 0xFFFF) return "the stream format block is too large";
    switch (f.role) {
    case AviStreamRole::Video:
        // Readers take the bitmap header from the first 40 bytes.
        if (f.format.size() < sizeof(BITMAPINFOHEADER))
            return "a video stream format must begin with a 40-byte bitmap header";
        break;
    case AviStreamRole::Audio:
        if (f.format.size() < 16) return "an audio stream format must be a wave format";
        break;
    case AviStreamRole::Interleaved:
        if (f.format.size() < sizeof(DVINFO))
            return "an interleaved stream format must be a 32-byte DV information block";
        break;
    }
    return {};
}

std::optional<AviRate> AviRateFromAvgTimePerFrame(REFERENCE_TIME avgTimePerFrame) {
    if (avgTimePerFrame <= 0) return std::nullopt;
    constexpr std::int64_t kUnitsPerSecond = 10'000'000;
    for (const std::int64_t rate : {24000, 30000, 48000, 60000, 120000}) {
        // avg = 10^7 * 1001 / rate, rounded or truncated by the source.
        const std::int64_t exact = kUnitsPerSecond * 1001;
        if (std::llabs(avgTimePerFrame * rate - exact) < rate)
            return AviRate{1001, static_cast<std::uint32_t>(rate)};
    }
    // A whole number of frames a second whose time was rounded or truncated to 100 ns (333333
    // for 30): the rate the device meant, not 10000000/333333.
    if (const std::int64_t n = (kUnitsPerSecond + avgTimePerFrame / 2) / avgTimePerFrame;
        n > 0 && std::llabs(avgTimePerFrame * n - kUnitsPerSecond) < n)
        return AviRate{1, static_cast<std::uint32_t>(n)};
    const std::int64_t g = std::gcd(kUnitsPerSecond, avgTimePerFrame);
    std::int64_t scale = avgTimePerFrame / g;
    std::int64_t rate = kUnitsPerSecond / g;
    if (scale > 0xFFFFFFFFll) {
        // Slower than one frame in ~430 s after reduction: keep the ratio in 32 bits.
        rate = std::max<std::int64_t>(1, std::llround(double(rate) * 0xFFFFFFFFll / scale));
        scale = 0xFFFFFFFFll;
    }
    return AviRate{static_cast<std::uint32_t>(scale), static_cast<std::uint32_t>(rate)};
}

namespace {
AviStreamFormat DvCommon(AviStreamRole role, REFERENCE_TIME avgTimePerFrame, LONG width,
                         LONG height) {
    AviStreamFormat f;
    f.role = role;
    f.fccHandler = kFccDvsd;
    const AviRate r = AviRateFromAvgTimePerFrame(avgTimePerFrame).value_or(AviRate{});
    f.scale = r.scale;
    f.rate = r.rate;
    f.width = FrameSide(width);
    f.height = FrameSide(height);
    return f;
}
} // namespace

AviStreamFormat AviDvVideoStream(const DVINFO& dvInfo, REFERENCE_TIME avgTimePerFrame, LONG width,
                                 LONG height) {
    AviStreamFormat f = DvCommon(AviStreamRole::Video, avgTimePerFrame, width, height);
    BITMAPINFOHEADER b;
    b.biSize = sizeof(BITMAPINFOHEADER);
    b.biWidth = width;
    b.biHeight = height;
    b.biPlanes = 1;
    b.biBitCount = 24;
    b.biCompression = kFccDvsd;
    b.biSizeImage =
        static_cast<DWORD>(FrameSide(height) == kDvHeight525 ? kDvFrameBytes525 : kDvFrameBytes625);
    PutBitmapHeader(f.format, b);
    PutDvInfo(f.format, dvInfo);
    return f;
}

AviStreamFormat AviDvInterleavedStream(const DVINFO& dvInfo, REFERENCE_TIME avgTimePerFrame,
                                       LONG width, LONG height) {
    AviStreamFormat f = DvCommon(AviStreamRole::Interleaved, avgTimePerFrame, width, height);
    PutDvInfo(f.format, dvInfo);
    return f;
}

AviStreamFormat AviVideoStream(const VIDEOINFOHEADER& videoInfo,
                               std::span<const std::uint8_t> extra) {
    const BITMAPINFOHEADER& b = videoInfo.bmiHeader;
    AviStreamFormat f;
    f.role = AviStreamRole::Video;
    f.uncompressed = b.biCompression == BI_RGB;
    f.fccHandler = f.uncompressed ? 0 : b.biCompression;
    const AviRate r = AviRateFromAvgTimePerFrame(videoInfo.AvgTimePerFrame).value_or(AviRate{});
    f.scale = r.scale;
    f.rate = r.rate;
    f.width = FrameSide(b.biWidth);
    f.height = FrameSide(b.biHeight);
    PutBitmapHeader(f.format, b);
    f.format.insert(f.format.end(), extra.begin(), extra.end());
    return f;
}

AviStreamFormat AviAudioStream(const WAVEFORMATEX& wave, std::span<const std::uint8_t> extra) {
    AviStreamFormat f;
    f.role = AviStreamRole::Audio;
    f.scale = wave.nBlockAlign;
    f.rate = wave.nAvgBytesPerSec;
    f.sampleSize = wave.nBlockAlign;
    const std::size_t extraBytes = std::min<std::size_t>(wave.cbSize, extra.size());
    AviPutLe16(f.format, wave.wFormatTag);
    AviPutLe16(f.format, wave.nChannels);
    AviPutLe32(f.format, wave.nSamplesPerSec);
    AviPutLe32(f.format, wave.nAvgBytesPerSec);
    AviPutLe16(f.format, wave.nBlockAlign);
    AviPutLe16(f.format, wave.wBitsPerSample);
    AviPutLe16(f.format, static_cast<std::uint16_t>(extraBytes));
    f.format.insert(f.format.end(), extra.begin(), extra.begin() + extraBytes);
    return f;
}

std::size_t AviMainStream(std::span<const AviStreamFormat> streams) {
    for (std::size_t i = 0; i < streams.size(); ++i)
        if (streams[i].role != AviStreamRole::Audio) return i;
    return 0;
}

std::size_t AviHeaderSize(std::span<const AviStreamFormat> streams,
                          std::uint32_t superIndexEntries) {
    std::size_t size = 12 + 12 + 8 + kAviMainHeaderBytes;
    for (const AviStreamFormat& f : streams)
        size += 12 + 8 + kAviStreamHeaderBytes + 8 + Padded(f.format.size()) + 8 +
                kAviSuperIndexHeaderBytes +
                std::size_t(kAviSuperIndexEntryBytes) * superIndexEntries;
    size += 12 + 8 + kAviExtendedHeaderBytes;
    return size;
}

std::vector<std::uint8_t> BuildAviHeader(std::span<const AviStreamFormat> streams,
                                         const AviHeaderValues& values,
                                         std::uint32_t superIndexEntries) {
    std::vector<std::uint8_t> out;
    const std::size_t total = AviHeaderSize(streams, superIndexEntries);
    out.reserve(total);

    PutFourCc(out, kFccRiff);
    AviPutLe32(out, values.riffSize);
    PutFourCc(out, MakeFourCc("AVI "));
    PutFourCc(out, kFccList);
    AviPutLe32(out, static_cast<std::uint32_t>(total - 20));
    PutFourCc(out, MakeFourCc("hdrl"));

    const std::size_t main = AviMainStream(streams);
    const AviStreamTotals none;
    auto totalsOf = [&](std::size_t i) -> const AviStreamTotals& {
        return i < values.streams.size() ? values.streams[i] : none;
    };

    std::uint64_t maxBytesPerSec = 0;
    std::uint32_t suggested = 0;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const AviStreamFormat& f = streams[i];
        if (f.scale == 0) continue;
        const std::uint64_t perTick =
            f.sampleSize != 0 ? f.sampleSize : std::uint64_t(totalsOf(i).largestChunk) + 8;
        maxBytesPerSec += perTick * f.rate / f.scale;
        suggested = std::max(suggested, StreamBufferSize(f, totalsOf(i)));
    }

    PutFourCc(out, MakeFourCc("avih"));
    AviPutLe32(out, kAviMainHeaderBytes);
    std::uint32_t microSecPerFrame = 0;
    if (!streams.empty() && streams[main].rate != 0)
        microSecPerFrame = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            0xFFFFFFFFu, (std::uint64_t(streams[main].scale) * 1000000 + streams[main].rate / 2) /
                             streams[main].rate));
    AviPutLe32(out, microSecPerFrame);
    AviPutLe32(out,
               static_cast<std::uint32_t>(std::min<std::uint64_t>(maxBytesPerSec, 0xFFFFFFFFu)));
    AviPutLe32(out, 0); // padding granularity
    AviPutLe32(out,
               kAvifIsInterleaved | kAvifTrustCkType | (values.hasOldIndex ? kAvifHasIndex : 0));
    AviPutLe32(out, values.firstSegmentFrames);
    AviPutLe32(out, 0); // initial frames
    AviPutLe32(out, static_cast<std::uint32_t>(streams.size()));
    AviPutLe32(out, suggested);
    AviPutLe32(out, streams.empty() ? 0 : streams[main].width);
    AviPutLe32(out, streams.empty() ? 0 : streams[main].height);
    for (int i = 0; i < 4; ++i)
        AviPutLe32(out, 0);

    for (std::size_t i = 0; i < streams.size(); ++i) {
        const AviStreamFormat& f = streams[i];
        const AviStreamTotals& t = totalsOf(i);
        const std::uint32_t indexBytes =
            kAviSuperIndexHeaderBytes + kAviSuperIndexEntryBytes * superIndexEntries;
        PutFourCc(out, kFccList);
        AviPutLe32(out,
                   4 + 8 + kAviStreamHeaderBytes + 8 + Padded(f.format.size()) + 8 + indexBytes);
        PutFourCc(out, MakeFourCc("strl"));

        PutFourCc(out, MakeFourCc("strh"));
        AviPutLe32(out, kAviStreamHeaderBytes);
        PutFourCc(out, AviStreamType(f.role));
        PutFourCc(out, f.fccHandler);
        AviPutLe32(out, 0); // flags
        AviPutLe16(out, 0); // priority
        AviPutLe16(out, 0); // language
        AviPutLe32(out, 0); // initial frames
        AviPutLe32(out, f.scale);
        AviPutLe32(out, f.rate);
        AviPutLe32(out, 0); // start
        AviPutLe32(out, t.length);
        AviPutLe32(out, StreamBufferSize(f, t));
        AviPutLe32(out, 0xFFFFFFFFu); // quality: default
        AviPutLe32(out, f.sampleSize);
        AviPutLe16(out, 0);
        AviPutLe16(out, 0);
        AviPutLe16(out, f.width);
        AviPutLe16(out, f.height);

        PutFourCc(out, MakeFourCc("strf"));
        AviPutLe32(out, static_cast<std::uint32_t>(f.format.size()));
        out.insert(out.end(), f.format.begin(), f.format.end());
        if (f.format.size() & 1) out.push_back(0);

        PutFourCc(out, MakeFourCc("indx"));
        AviPutLe32(out, indexBytes);
        AviPutLe16(out, 4); // longs per entry
        out.push_back(0);   // sub type
        out.push_back(0);   // AVI_INDEX_OF_INDEXES
        const std::size_t used = std::min<std::size_t>(t.superIndex.size(), superIndexEntries);
        AviPutLe32(out, static_cast<std::uint32_t>(used));
        PutFourCc(out, AviDataChunkId(i, f));
        for (int k = 0; k < 3; ++k)
            AviPutLe32(out, 0);
        for (std::size_t k = 0; k < superIndexEntries; ++k) {
            const AviSuperIndexEntry e = k < used ? t.superIndex[k] : AviSuperIndexEntry{};
            AviPutLe64(out, e.offset);
            AviPutLe32(out, e.size);
            AviPutLe32(out, e.duration);
        }
    }

    PutFourCc(out, kFccList);
    AviPutLe32(out, 4 + 8 + kAviExtendedHeaderBytes);
    PutFourCc(out, MakeFourCc("odml"));
    PutFourCc(out, MakeFourCc("dmlh"));
    AviPutLe32(out, kAviExtendedHeaderBytes);
    AviPutLe32(out, values.totalFrames);
    out.resize(out.size() + kAviExtendedHeaderBytes - 4, 0);
    return out;
}

AviHeaderOffsets AviHeaderFieldOffsets(std::span<const AviStreamFormat> streams,
                                       std::uint32_t superIndexEntries) {
    AviHeaderOffsets at;
    const std::uint64_t avih = 12 + 12 + 8; // RIFF 'AVI ', LIST 'hdrl', avih chunk header
    at.mainFlags = avih + 12;
    at.mainTotalFrames = avih + 16;
    std::uint64_t strl = avih + kAviMainHeaderBytes;
    for (const AviStreamFormat& f : streams) {
        AviHeaderOffsets::Stream s;
        const std::uint64_t strh = strl + 12 + 8;
        s.length = strh + 32;
        s.suggestedBufferSize = strh + 36;
        const std::uint64_t indx = strh + kAviStreamHeaderBytes + 8 + Padded(f.format.size()) + 8;
        s.indexInUse = indx + 4;
        s.indexEntries = indx + kAviSuperIndexHeaderBytes;
        at.streams.push_back(s);
        strl = s.indexEntries + std::uint64_t(kAviSuperIndexEntryBytes) * superIndexEntries;
    }
    at.extendedTotalFrames = strl + 12 + 8;
    return at;
}

std::vector<std::uint8_t> BuildAviStdIndex(FourCc indexChunkId, FourCc dataChunkId,
                                           std::uint64_t baseOffset,
                                           std::span<const AviIndexEntry> entries) {
    std::vector<std::uint8_t> out;
    out.reserve(8 + kAviStdIndexHeaderBytes + entries.size() * kAviStdIndexEntryBytes);
    PutFourCc(out, indexChunkId);
    AviPutLe32(out, static_cast<std::uint32_t>(kAviStdIndexHeaderBytes +
                                               entries.size() * kAviStdIndexEntryBytes));
    AviPutLe16(out, 2); // longs per entry
    out.push_back(0);
    out.push_back(1); // AVI_INDEX_OF_CHUNKS
    AviPutLe32(out, static_cast<std::uint32_t>(entries.size()));
    PutFourCc(out, dataChunkId);
    AviPutLe64(out, baseOffset);
    AviPutLe32(out, 0);
    for (const AviIndexEntry& e : entries) {
        // Offsets point at the data, past the chunk header.
        AviPutLe32(out, static_cast<std::uint32_t>(e.offset + 8 - baseOffset));
        AviPutLe32(out, e.size | (e.keyframe ? 0 : kAviStdIndexDeltaFrame));
    }
    return out;
}

std::vector<std::uint8_t> BuildAviOldIndex(std::span<const AviOldIndexEntry> entries) {
    std::vector<std::uint8_t> out;
    out.reserve(8 + entries.size() * kAviOldIndexEntryBytes);
    PutFourCc(out, MakeFourCc("idx1"));
    AviPutLe32(out, static_cast<std::uint32_t>(entries.size() * kAviOldIndexEntryBytes));
    for (const AviOldIndexEntry& e : entries) {
        PutFourCc(out, e.chunkId);
        AviPutLe32(out, e.flags);
        AviPutLe32(out, e.offset);
        AviPutLe32(out, e.size);
    }
    return out;
}

} // namespace talvence
