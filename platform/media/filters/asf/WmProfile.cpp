#include "platform/media/filters/asf/WmProfile.h"

#include "platform/media/MediaGuids.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstdio>
#include <span>

namespace talvence {

const char* WmCodecEncoderName(WmCodec codec) {
    switch (codec) {
    case WmCodec::Msmpeg4v3:
        return "msmpeg4";
    case WmCodec::Wmv1:
        return "wmv1";
    case WmCodec::Wmv2:
        return "wmv2";
    case WmCodec::Wmav1:
        return "wmav1";
    case WmCodec::Wmav2:
        return "wmav2";
    }
    return "";
}

bool TWmStreamConfig::IsVideo() const {
    return streamType == MEDIATYPE_Video;
}
bool TWmStreamConfig::IsAudio() const {
    return streamType == MEDIATYPE_Audio;
}

const TWmStreamConfig* TWmProfile::GetStream(int index) const {
    if (index < 0 || index >= GetStreamCount()) return nullptr;
    return &streams_[static_cast<std::size_t>(index)];
}

const TWmStreamConfig* TWmProfile::GetStreamByNumber(std::uint16_t number) const {
    for (const TWmStreamConfig& s : streams_)
        if (s.streamNumber == number) return &s;
    return nullptr;
}

HRESULT TWmProfile::RemoveStreamByNumber(std::uint16_t number) {
    const auto it = std::find_if(streams_.begin(), streams_.end(), [&](const TWmStreamConfig& s) {
        return s.streamNumber == number;
    });
    if (it == streams_.end()) return NS_E_NO_STREAM;
    streams_.erase(it);
    return S_OK;
}

const TWmStreamConfig* TWmProfile::FirstOfType(const GUID& type) const {
    for (const TWmStreamConfig& s : streams_)
        if (s.streamType == type) return &s;
    return nullptr;
}

std::string WmProfileSummary(const TWmProfile& profile) {
    std::string text;
    char piece[160];
    if (!profile.FirstOfType(MEDIATYPE_Video)) text = "no video";
    for (const bool video : {true, false}) {
        for (const TWmStreamConfig& s : profile.Streams()) {
            if (s.IsVideo() != video) continue;
            if (video)
                std::snprintf(piece, sizeof piece,
                              "%s %dx%d %g fps %d Kbps, a key frame every %g s",
                              WmCodecEncoderName(s.codec), s.width, s.height,
                              double(s.frameRateNum) / s.frameRateDen, s.bitRate / 1000,
                              s.keyFrameMs / 1000.0);
            else
                std::snprintf(piece, sizeof piece, "%s %d Hz %s %d Kbps",
                              WmCodecEncoderName(s.codec), s.sampleRate,
                              s.channels == 1 ? "mono" : "stereo", s.bitRate / 1000);
            text += (text.empty() ? "" : "; ") + std::string(piece);
        }
    }
    if (!profile.FirstOfType(MEDIATYPE_Audio)) text += "; no sound";
    return text;
}

int TWmProfile::TotalBitRate() const {
    int total = 0;
    for (const TWmStreamConfig& s : streams_)
        total += s.bitRate;
    return total;
}

namespace {

TWmStreamConfig Video(WmCodec codec, int width, int height, int fpsNum, int fpsDen, int bitRate,
                      int keyFrameMs) {
    TWmStreamConfig s;
    s.streamType = MEDIATYPE_Video;
    s.streamNumber = 2;
    s.codec = codec;
    s.bitRate = bitRate;
    s.width = width;
    s.height = height;
    s.frameRateNum = fpsNum;
    s.frameRateDen = fpsDen;
    s.keyFrameMs = keyFrameMs;
    return s;
}

TWmStreamConfig Audio(WmCodec codec, int sampleRate, int channels, int bitRate) {
    TWmStreamConfig s;
    s.streamType = MEDIATYPE_Audio;
    s.streamNumber = 1;
    s.codec = codec;
    s.bitRate = bitRate;
    s.sampleRate = sampleRate;
    s.channels = channels;
    return s;
}

struct ProfileRow {
    const char* name;
    bool video;
    int width, height, fpsNum, fpsDen, videoBitRate, keyFrameMs;
    bool audio;
    int sampleRate, channels, audioBitRate;
};

TWmProfile Make(const ProfileRow& row, WmCodec videoCodec, WmCodec audioCodec) {
    std::vector<TWmStreamConfig> streams;
    // Audio is stream 1 and video stream 2, as the runtime's own profiles number them.
    if (row.audio)
        streams.push_back(Audio(audioCodec, row.sampleRate, row.channels, row.audioBitRate));
    if (row.video)
        streams.push_back(Video(videoCodec, row.width, row.height, row.fpsNum, row.fpsDen,
                                row.videoBitRate, row.keyFrameMs));
    return TWmProfile(row.name, std::move(streams));
}

// The default profiles, WMV2 and WMA v2, in the order of their identifiers below.
constexpr ProfileRow kDefaultRows[] = {
    {"High", true, 640, 480, 25, 1, 1500000, 3000, true, 44100, 2, 128000},
    {"Medium", true, 480, 360, 25, 1, 700000, 4000, true, 44100, 2, 64000},
    {"Low", true, 320, 240, 25, 2, 250000, 5000, true, 22050, 1, 32000},
    {"Internet", true, 176, 144, 10, 1, 80000, 8000, true, 22050, 1, 24000},
};
constexpr GUID kDefaultIds[] = {kWmProfileHigh, kWmProfileMedium, kWmProfileLow,
                                kWmProfileInternet};

constexpr ProfileRow kVersion4Rows[] = {
    {"MP43 modem 64 Kbps", true, 176, 144, 10, 1, 40000, 8000, true, 22050, 1, 24000},
    {"MP43 broadband 300 Kbps", true, 320, 240, 25, 1, 250000, 5000, true, 44100, 2, 48000},
    {"MP43 LAN 1 Mbps", true, 640, 480, 25, 1, 900000, 5000, true, 44100, 2, 96000},
};
constexpr ProfileRow kVersion7Rows[] = {
    {"WMV7 modem 64 Kbps", true, 176, 144, 15, 1, 40000, 8000, true, 22050, 1, 24000},
    {"WMV7 broadband 350 Kbps", true, 320, 240, 25, 1, 300000, 5000, true, 44100, 2, 48000},
    {"WMV7 LAN 1.2 Mbps", true, 640, 480, 25, 1, 1100000, 5000, true, 44100, 2, 128000},
};
constexpr ProfileRow kVersion8Rows[] = {
    {"WMV8 modem 64 Kbps", true, 176, 144, 15, 1, 40000, 8000, true, 22050, 1, 24000},
    {"WMV8 broadband 400 Kbps", true, 320, 240, 25, 1, 340000, 5000, true, 44100, 2, 64000},
    {"WMV8 sound only 64 Kbps", false, 0, 0, 0, 1, 0, 0, true, 44100, 2, 64000},
    {"WMV8 DVD quality 2 Mbps", true, 720, 576, 25, 1, 1850000, 4000, true, 44100, 2, 160000},
};

struct VersionList {
    std::uint32_t version;
    std::span<const ProfileRow> rows;
    WmCodec video;
    WmCodec audio;
};
constexpr VersionList kVersions[] = {
    {WMT_VER_4_0, kVersion4Rows, WmCodec::Msmpeg4v3, WmCodec::Wmav1},
    {WMT_VER_7_0, kVersion7Rows, WmCodec::Wmv1, WmCodec::Wmav2},
    {WMT_VER_8_0, kVersion8Rows, WmCodec::Wmv2, WmCodec::Wmav2},
};

const VersionList* ListOf(std::uint32_t version) {
    for (const VersionList& list : kVersions)
        if (list.version == version) return &list;
    return nullptr;
}

} // namespace

std::unique_ptr<TWmProfileManager> TWmProfileManager::Create() {
    if (!av_guess_format("asf", nullptr, nullptr)) return nullptr;
    for (WmCodec codec :
         {WmCodec::Msmpeg4v3, WmCodec::Wmv1, WmCodec::Wmv2, WmCodec::Wmav1, WmCodec::Wmav2})
        if (!avcodec_find_encoder_by_name(WmCodecEncoderName(codec))) return nullptr;
    return std::unique_ptr<TWmProfileManager>(new TWmProfileManager);
}

HRESULT TWmProfileManager::SetSystemProfileVersion(std::uint32_t version) {
    if (!ListOf(version)) return E_INVALIDARG;
    version_ = version;
    return S_OK;
}

int TWmProfileManager::GetSystemProfileCount() const {
    return static_cast<int>(ListOf(version_)->rows.size());
}

std::optional<TWmProfile> TWmProfileManager::LoadSystemProfile(int index) const {
    const VersionList* list = ListOf(version_);
    if (index < 0 || index >= static_cast<int>(list->rows.size())) return std::nullopt;
    return Make(list->rows[static_cast<std::size_t>(index)], list->video, list->audio);
}

std::optional<TWmProfile> TWmProfileManager::DefaultProfile(const GUID& id) {
    for (std::size_t i = 0; i < std::size(kDefaultIds); ++i)
        if (kDefaultIds[i] == id) return Make(kDefaultRows[i], WmCodec::Wmv2, WmCodec::Wmav2);
    return std::nullopt;
}

} // namespace talvence
