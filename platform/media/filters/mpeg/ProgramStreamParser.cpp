#include "platform/media/filters/mpeg/ProgramStreamParser.h"

#include <algorithm>
#include <cstring>

namespace talvence::mpeg {

namespace {

constexpr std::uint8_t kProgramEnd = 0xB9;
constexpr std::uint8_t kPackHeader = 0xBA;
constexpr std::uint8_t kPrivateStream1 = 0xBD;

bool StartsWithStartCode(const std::uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 1;
}

// The first 00 00 01 in [from, end), or end.
const std::uint8_t* FindStartCode(const std::uint8_t* from, const std::uint8_t* end) {
    while (end - from >= 3) {
        const auto* one = static_cast<const std::uint8_t*>(std::memchr(from + 2, 1, end - from - 2));
        if (!one) return end;
        if (one[-1] == 0 && one[-2] == 0) return one - 2;
        from = one - 1;
    }
    return end;
}

// The first pack header (00 00 01 BA) in [from, end), or end.
const std::uint8_t* FindPackHeader(const std::uint8_t* from, const std::uint8_t* end) {
    for (;;) {
        const std::uint8_t* code = FindStartCode(from, end);
        if (end - code < 4) return end;
        if (code[3] == kPackHeader) return code;
        from = code + 1;
    }
}

std::int64_t ReadTimeStamp(const std::uint8_t* p) {
    return (std::int64_t(p[0] >> 1 & 0x07) << 30) | (std::int64_t(p[1]) << 22) |
           (std::int64_t(p[2] >> 1) << 15) | (std::int64_t(p[3]) << 7) | std::int64_t(p[4] >> 1);
}

bool CarriesPesHeader(std::uint8_t id) {
    return IsAudioStream(id) || IsVideoStream(id) || id == kPrivateStream1;
}

} // namespace

std::optional<PesHeader> ReadPesHeader(std::span<const std::uint8_t> packet) {
    const std::size_t size = packet.size();
    if (size < 6 || !StartsWithStartCode(packet.data())) return std::nullopt;
    const std::uint8_t* p = packet.data();
    PesHeader header;
    if (size >= 9 && (p[6] & 0xC0) == 0x80) {
        // MPEG-2: flags, header length, then the optional fields.
        const std::size_t offset = 9 + std::size_t(p[8]);
        if (offset > size) return std::nullopt;
        if (p[7] & 0x80) {
            if (p[8] < 5) return std::nullopt;
            header.pts = ReadTimeStamp(p + 9);
        }
        header.payloadOffset = offset;
        return header;
    }
    // MPEG-1: stuffing, an optional buffer size, then the time stamps or 0x0F.
    std::size_t i = 6;
    while (i < size && p[i] == 0xFF && i < 6 + 16) ++i;
    if (i < size && (p[i] & 0xC0) == 0x40) i += 2;
    if (i >= size) return std::nullopt;
    if ((p[i] & 0xF0) == 0x20) {
        if (i + 5 > size) return std::nullopt;
        header.pts = ReadTimeStamp(p + i);
        i += 5;
    } else if ((p[i] & 0xF0) == 0x30) {
        if (i + 10 > size) return std::nullopt;
        header.pts = ReadTimeStamp(p + i);
        i += 10;
    } else if (p[i] == 0x0F) {
        i += 1;
    } else {
        return std::nullopt;
    }
    header.payloadOffset = i;
    return header;
}

void ProgramStreamParser::Skip(std::size_t bytes) {
    pos_ = std::min(buffer_.size(), pos_ + bytes);
}

ProgramStreamParser::Step ProgramStreamParser::ParseOne(const Sink& sink) {
    const std::uint8_t* p = buffer_.data() + pos_;
    const std::size_t avail = buffer_.size() - pos_;
    if (avail < 4) return Step::NeedMore;
    if (!StartsWithStartCode(p)) {
        // Garbage: everything up to the next start code (keeping a start code's first bytes).
        const std::uint8_t* code = FindStartCode(p, p + avail);
        std::size_t skip = std::size_t(code - p);
        if (code == p + avail) skip = avail - 2;
        counters_.skippedBytes += skip;
        Skip(skip);
        return code == p + avail ? Step::NeedMore : Step::Consumed;
    }
    const std::uint8_t code = p[3];
    if (code < kProgramEnd) {
        // A start code of an elementary stream where a system header belongs: garbage.
        counters_.skippedBytes += 1;
        Skip(1);
        return Step::Consumed;
    }
    if (code == kProgramEnd) {
        Skip(4);
        return Step::Consumed;
    }
    if (code == kPackHeader) {
        if (avail < 5) return Step::NeedMore;
        std::size_t length = 0;
        std::int64_t scr = 0;
        if ((p[4] & 0xC0) == 0x40) { // MPEG-2
            if (avail < 14) return Step::NeedMore;
            length = 14 + (p[13] & 0x07);
            scr = (std::int64_t(p[4] >> 3 & 0x07) << 30) | (std::int64_t(p[4] & 0x03) << 28) |
                  (std::int64_t(p[5]) << 20) | (std::int64_t(p[6] >> 3) << 15) |
                  (std::int64_t(p[6] & 0x03) << 13) | (std::int64_t(p[7]) << 5) |
                  std::int64_t(p[8] >> 3);
        } else if ((p[4] & 0xF0) == 0x20) { // MPEG-1
            if (avail < 12) return Step::NeedMore;
            length = 12;
            scr = ReadTimeStamp(p + 4);
        } else {
            ++counters_.damaged;
            Skip(1);
            return Step::Consumed;
        }
        if (avail < length) return Step::NeedMore;
        ++counters_.packs;
        scr_ = scr;
        Skip(length);
        return Step::Consumed;
    }
    // A system header, a program stream map or a PES packet: a length, then that many bytes.
    if (avail < 6) return Step::NeedMore;
    const std::size_t length = 6 + (std::size_t(p[4]) << 8 | p[5]);
    if (length == 6) {
        ++counters_.damaged;
        Skip(4);
        return Step::Consumed;
    }
    // A packet longer than what reaches the next pack header was cut short: drop it and go on
    // from that pack. (The check needs only the bytes at hand, so a cut is found early.)
    const std::uint8_t* pack = FindPackHeader(p + 4, p + std::min(avail, length));
    if (pack != p + std::min(avail, length)) {
        ++counters_.damaged;
        Skip(std::size_t(pack - p));
        return Step::Consumed;
    }
    if (avail < length) return Step::NeedMore;
    if (CarriesPesHeader(code)) {
        const std::span<const std::uint8_t> packet(p, length);
        const std::optional<PesHeader> header = ReadPesHeader(packet);
        if (!header) {
            ++counters_.damaged;
        } else {
            ++counters_.packets;
            PesPacket pes;
            pes.streamId = code;
            pes.payload = packet.subspan(header->payloadOffset);
            pes.pts = header->pts;
            pes.packet = packet;
            pes.scr = scr_;
            sink(pes);
        }
    }
    Skip(length);
    return Step::Consumed;
}

void ProgramStreamParser::Push(std::span<const std::uint8_t> bytes, const Sink& sink) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    while (ParseOne(sink) == Step::Consumed) {
    }
    // Only an unfinished packet (at most 64 KiB and a header) stays.
    buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(pos_));
    pos_ = 0;
}

void ProgramStreamParser::Finish() {
    const std::size_t left = buffer_.size() - pos_;
    if (left >= 3 && StartsWithStartCode(buffer_.data() + pos_))
        ++counters_.damaged; // a packet or header cut by the end
    else
        counters_.skippedBytes += left;
    Reset();
}

void ProgramStreamParser::Reset() {
    buffer_.clear();
    pos_ = 0;
    scr_.reset();
}

} // namespace talvence::mpeg
