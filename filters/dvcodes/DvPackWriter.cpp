#include "filters/dvcodes/DvPackWriter.h"

#include <cstring>

namespace talvence {

namespace {

constexpr std::uint8_t ToBcd(int value) {
    return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

// 0 = Sunday .. 6 = Saturday, for the Gregorian calendar.
int WeekDay(int year, int month, int day) {
    static constexpr int kMonthOffset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 1 || month > 12) return 7; // "no information"
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kMonthOffset[month - 1] + day) % 7;
}

std::uint8_t* Sequence(std::uint8_t* frame, int s) {
    return frame + kDvSequenceBytes * static_cast<std::size_t>(s);
}

std::uint8_t* SubcodePack(std::uint8_t* seq, int block, int j) {
    return seq + kDvSubcodeBlock1 + block * kDvDifBlockBytes + kDvSubcodePackOffset +
           kDvSubcodePackStride * j;
}

std::uint8_t* VauxPack(std::uint8_t* seq, int block, int slot) {
    return seq + 3 * kDvDifBlockBytes + block * kDvDifBlockBytes + 3 + kDvPackBytes * slot;
}

} // namespace

void DvMakeNoInfoPack(std::uint8_t* pack) {
    std::memset(pack, kDvPackNoInfo, kDvPackBytes);
}

void DvMakeTimecodePack(std::uint8_t* pack, const DvTimecode& tc, bool dropFrame) {
    pack[0] = kDvPackTimecode;
    pack[1] = static_cast<std::uint8_t>((dropFrame ? 0x40 : 0x00) | (ToBcd(tc.frames) & 0x3F));
    pack[2] = ToBcd(tc.seconds) & 0x7F;
    pack[3] = ToBcd(tc.minutes) & 0x7F;
    pack[4] = ToBcd(tc.hours) & 0x3F;
}

void DvMakeRecDatePack(std::uint8_t* pack, const DvRecDateTime& rec, std::uint8_t header) {
    pack[0] = header;
    pack[1] = 0xFF; // time zone not recorded
    pack[2] = static_cast<std::uint8_t>(0xC0 | (ToBcd(rec.day) & 0x3F));
    pack[3] = static_cast<std::uint8_t>((WeekDay(rec.year, rec.month, rec.day) << 5) |
                                        (ToBcd(rec.month) & 0x1F));
    pack[4] = ToBcd(((rec.year % 100) + 100) % 100);
}

void DvMakeRecTimePack(std::uint8_t* pack, const DvRecDateTime& rec, std::uint8_t header) {
    pack[0] = header;
    pack[1] = 0xFF; // frames not recorded
    pack[2] = static_cast<std::uint8_t>(0x80 | (ToBcd(rec.second) & 0x7F));
    pack[3] = static_cast<std::uint8_t>(0x80 | (ToBcd(rec.minute) & 0x7F));
    pack[4] = static_cast<std::uint8_t>(0xC0 | (ToBcd(rec.hour) & 0x3F));
}

void DvMakeSourceControlPack(std::uint8_t* pack, bool wideScreen) {
    pack[0] = kDvPackSourceControl;
    pack[1] = 0x3F; // no copy restriction, source unknown
    pack[2] = static_cast<std::uint8_t>(0xC8 | (wideScreen ? 0x02 : 0x00)); // original, DISP
    pack[3] = 0xFC; // frame/field flags: interlaced
    pack[4] = 0xFF; // genre: no information
}

void DvWriteTimecode(std::uint8_t* frame, int s, const DvTimecode& tc, bool dropFrame) {
    std::uint8_t* seq = Sequence(frame, s);
    for (int block = 0; block < 2; ++block) {
        DvMakeTimecodePack(SubcodePack(seq, block, 0), tc, dropFrame);
        DvMakeTimecodePack(SubcodePack(seq, block, 3), tc, dropFrame);
    }
}

void DvWriteRecDateTime(std::uint8_t* frame, int s, const DvRecDateTime& rec) {
    std::uint8_t* seq = Sequence(frame, s);
    auto writePair = [&rec](std::uint8_t* datePack, std::uint8_t* timePack) {
        if (rec.year < 0) {
            DvMakeNoInfoPack(datePack);
            DvMakeNoInfoPack(timePack);
            return;
        }
        DvMakeRecDatePack(datePack, rec);
        DvMakeRecTimePack(timePack, rec);
    };
    for (int block = 0; block < 3; ++block) {
        writePair(VauxPack(seq, block, 2), VauxPack(seq, block, 3));
        writePair(VauxPack(seq, block, 11), VauxPack(seq, block, 12));
    }
    for (int block = 0; block < 2; ++block) {
        writePair(SubcodePack(seq, block, 1), SubcodePack(seq, block, 2));
        writePair(SubcodePack(seq, block, 4), SubcodePack(seq, block, 5));
    }
}

void DvWriteSourceControl(std::uint8_t* frame, int s, bool wideScreen) {
    std::uint8_t* seq = Sequence(frame, s);
    for (int block = 0; block < 3; ++block) {
        DvMakeSourceControlPack(VauxPack(seq, block, 1), wideScreen);
        DvMakeSourceControlPack(VauxPack(seq, block, 10), wideScreen);
    }
}

} // namespace talvence
