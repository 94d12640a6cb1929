#pragma once
// Writers of the DV auxiliary packs that the readers of dvcodes.h decode, for
// the frames the virtual camcorder makes. A pack is 5 bytes: header, PC1..PC4.
// The frame-level writers put each pack where consumer camcorders put it, so
// that the readers (and other DV software) find it. The audio source and control
// packs go with the sound, which the DV codec's audio writers lay out.

#include <cstdint>

#include "filters/dvcodes/DvFrameInfo.h"
#include "filters/dvcodes/dvcodes.h"

namespace talvence {

inline constexpr std::size_t kDvPackBytes = 5;

void DvMakeNoInfoPack(std::uint8_t* pack);
// dropFrame sets the drop-frame flag that 525/60 timecode carries.
void DvMakeTimecodePack(std::uint8_t* pack, const DvTimecode& tc, bool dropFrame);
// header is 0x62 (VAUX) or 0x52 (AAUX); the week day is filled in from the date.
void DvMakeRecDatePack(std::uint8_t* pack, const DvRecDateTime& rec,
                       std::uint8_t header = kDvPackRecDate);
// header is 0x63 (VAUX) or 0x53 (AAUX).
void DvMakeRecTimePack(std::uint8_t* pack, const DvRecDateTime& rec,
                       std::uint8_t header = kDvPackRecTime);
// Display select 2 (16:9 full) or 0 (4:3); original recording, no copy guard.
void DvMakeSourceControlPack(std::uint8_t* pack, bool wideScreen);
// Timecode into sync blocks 0 and 3 of both subcode blocks of sequence s.
void DvWriteTimecode(std::uint8_t* frame, int s, const DvTimecode& tc, bool dropFrame);
// Recording date and time into slots 2/3 and 11/12 of the three VAUX blocks
// of sequence s, and into sync blocks 1/2 and 4/5 of both subcode blocks.
// A record with year < 0 writes "no information" packs there instead.
void DvWriteRecDateTime(std::uint8_t* frame, int s, const DvRecDateTime& rec);
// Source control pack into slots 1 and 10 of the three VAUX blocks of sequence s.
void DvWriteSourceControl(std::uint8_t* frame, int s, bool wideScreen);

} // namespace talvence
