#include "filters/dvcodes/dvcodes.h"

namespace talvence {

namespace {

// Packed BCD: units in the low nibble, tens in a field of the high nibble.
// Digits are not validated; a units nibble above 9 is added as it is.
constexpr std::uint8_t Bcd(std::uint8_t byte, std::uint8_t tensMask) {
    return static_cast<std::uint8_t>((byte & 0x0F) + 10 * ((byte >> 4) & tensMask));
}

constexpr const std::uint8_t* Sequence(const std::uint8_t* frame, int s) {
    return frame + kDvSequenceBytes * static_cast<std::size_t>(s);
}

} // namespace

DvTimecode DvReadTimecode(const std::uint8_t* frame, int s) {
    const std::uint8_t* seq = Sequence(frame, s);
    for (std::size_t block = 0; block < 2; ++block) {
        const std::uint8_t* subcode = seq + kDvSubcodeBlock1 + block * kDvDifBlockBytes;
        for (std::size_t j = 0; j < 6; ++j) {
            const std::uint8_t* pack = subcode + kDvSubcodePackOffset + kDvSubcodePackStride * j;
            if (pack[0] != kDvPackTimecode) continue;
            DvTimecode tc;
            tc.frames = Bcd(pack[1], 0x03);
            tc.seconds = Bcd(pack[2], 0x07);
            tc.minutes = Bcd(pack[3], 0x07);
            tc.hours = Bcd(pack[4], 0x03);
            return tc;
        }
    }
    DvTimecode none;
    none.hours = 0xFF;
    return none;
}

void DvReadRecDateTime(const std::uint8_t* frame, int s, DvRecDateTime& out) {
    const std::uint8_t* seq = Sequence(frame, s);
    const std::uint8_t* date = seq + kDvVauxSlot11;
    const std::uint8_t* time = seq + kDvVauxSlot12;
    out = DvRecDateTime{};
    if (date[0] != kDvPackRecDate || time[0] != kDvPackRecTime) return;
    out.day = Bcd(date[2], 0x03);
    out.month = Bcd(date[3], 0x01);
    const int twoDigitYear = (date[4] & 0x0F) + 10 * (date[4] >> 4);
    out.year = twoDigitYear < 40 ? twoDigitYear + 2000 : twoDigitYear + 1900;
    out.second = Bcd(time[2], 0x07);
    out.minute = Bcd(time[3], 0x07);
    out.hour = Bcd(time[4], 0x03);
}

bool DvHasSourceControl(const std::uint8_t* frame) {
    return frame[kDvVauxSlot10] == kDvPackSourceControl;
}

std::uint8_t DvVideoSystem(const std::uint8_t* frame) {
    switch (frame[kDvHeaderSystemByte]) {
    case 0xBF:
        return kDvSystem625;
    case 0x3F:
        return kDvSystem525;
    default:
        return kDvSystemUnknown;
    }
}

std::int32_t DvAudioSampleRate(const std::uint8_t* frame) {
    if (frame[kDvAudioSourcePackByte] != kDvPackAudioSource) return -1;
    return DvAudioRateOfCode((frame[kDvAudioSourcePackByte + 4] >> 3) & 0x07);
}

std::int32_t DvAudioQuantization(const std::uint8_t* frame) {
    if (frame[kDvAudioSourcePackByte] != kDvPackAudioSource) return -1;
    switch (frame[kDvAudioSourcePackByte + 4] & 0x07) {
    case 0:
        return 16;
    case 1:
        return 12;
    default:
        return 0;
    }
}

bool DvIsWideScreen(const std::uint8_t* frame) {
    for (int s = 0; s < kDvMinSequences; ++s) {
        const std::uint8_t* seq = Sequence(frame, s);
        if (seq[kDvVauxSlot10] != kDvPackSourceControl) continue;
        const int disp = seq[kDvVauxSlot10 + 2] & 0x07;
        const int ap3 = seq[kDvHeaderAp3Byte] & 0x07;
        return disp == 2 || (ap3 == 0 && disp == 7);
    }
    return false;
}

} // namespace talvence
