#pragma once
// Windows Media profiles and our profile manager: what the Windows Media runtime's profile
// manager gives a capture program, made of our own figures and of FFmpeg's encoders of each
// Windows Media generation (version 4: the MPEG-4 v3 style 'MP43' codec and WMA v1; version 7:
// WMV1 and WMA v2; version 8: WMV2 and WMA v2). A profile is a name and its streams, each a
// video stream (size, frame rate, bit rate, key-frame interval) or an audio stream (rate,
// channels, bit rate), numbered from 1 as the runtime numbers them.
//
// Threads: a profile is a plain value. The manager keeps the chosen version; one thread at a
// time (the application thread).

#include "platform/media/Guid.h"
#include "platform/media/HResult.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvence {

enum class WmCodec : std::uint8_t {
    Msmpeg4v3, // video, version 4
    Wmv1,      // video, version 7
    Wmv2,      // video, version 8 and the default profiles
    Wmav1,     // audio, version 4
    Wmav2,     // audio, versions 7 and 8 and the default profiles
};
// FFmpeg's encoder of the codec ("msmpeg4", "wmv1", "wmv2", "wmav1", "wmav2").
const char* WmCodecEncoderName(WmCodec codec);

struct TWmStreamConfig {
    GUID streamType;                // MEDIATYPE_Video or MEDIATYPE_Audio
    std::uint16_t streamNumber = 0; // 1..63, unique in its profile
    WmCodec codec = WmCodec::Wmv2;
    int bitRate = 0; // bits per second
    // Video.
    int width = 0;
    int height = 0;
    int frameRateNum = 0; // frames per second as a fraction
    int frameRateDen = 1;
    int keyFrameMs = 0; // at most this long between key frames
    // Audio.
    int sampleRate = 0;
    int channels = 0;

    bool IsVideo() const;
    bool IsAudio() const;
};

class TWmProfile {
public:
    TWmProfile() = default;
    TWmProfile(std::string name, std::vector<TWmStreamConfig> streams)
        : name_(std::move(name)), streams_(std::move(streams)) {}

    const std::string& GetName() const { return name_; }
    int GetStreamCount() const { return static_cast<int>(streams_.size()); }
    // Null past the end.
    const TWmStreamConfig* GetStream(int index) const;
    const TWmStreamConfig* GetStreamByNumber(std::uint16_t number) const;
    // NS_E_NO_STREAM when no stream has that number.
    HRESULT RemoveStreamByNumber(std::uint16_t number);
    // The first stream of that type; null when none.
    const TWmStreamConfig* FirstOfType(const GUID& type) const;
    // The sum of the streams' bit rates.
    int TotalBitRate() const;
    const std::vector<TWmStreamConfig>& Streams() const { return streams_; }

private:
    std::string name_;
    std::vector<TWmStreamConfig> streams_;
};

// What the profile produces, for people: "wmv2 640x480 25 fps 1500 Kbps, a key frame every 3 s;
// wmav2 44100 Hz stereo 128 Kbps" (video first; "no video" or "no sound" for a missing one).
std::string WmProfileSummary(const TWmProfile& profile);

// The runtime's answer for a stream number a profile lacks.
inline constexpr HRESULT NS_E_NO_STREAM = static_cast<HRESULT>(0xC00D002FL);

// The four default profiles, by their identifiers.
inline constexpr GUID kWmProfileHigh = MakeGuid("0B89164A-5490-4686-9E37-5A80884E5146");
inline constexpr GUID kWmProfileMedium = MakeGuid("EC298949-639B-45E2-96FD-4AB32D5919C2");
inline constexpr GUID kWmProfileLow = MakeGuid("29B00C2B-09A9-48BD-AD09-CDAE117D1DA7");
inline constexpr GUID kWmProfileInternet = MakeGuid("A2E300B4-C2D4-4FC0-B5DD-ECBD948DC0DF");

// Version codes of the system profile lists.
enum WmVersion : std::uint32_t {
    WMT_VER_4_0 = 0x40000,
    WMT_VER_7_0 = 0x70000,
    WMT_VER_8_0 = 0x80000,
};

class TWmProfileManager {
public:
    // The manager when FFmpeg has the ASF muxer and every encoder the profiles use; null
    // otherwise (Windows Media captures are then not offered).
    static std::unique_ptr<TWmProfileManager> Create();

    // E_INVALIDARG for a version without a list; the version stays as it was.
    HRESULT SetSystemProfileVersion(std::uint32_t version);
    std::uint32_t GetSystemProfileVersion() const { return version_; }
    int GetSystemProfileCount() const;
    // Nothing past the end of the version's list.
    std::optional<TWmProfile> LoadSystemProfile(int index) const;
    // Nothing for an identifier that is no default profile.
    std::optional<TWmProfile> LoadProfileByID(const GUID& id) const { return DefaultProfile(id); }
    // The same, for those that need no manager (the ASF writer's profile before it is configured).
    static std::optional<TWmProfile> DefaultProfile(const GUID& id);

private:
    TWmProfileManager() = default;
    std::uint32_t version_ = WMT_VER_8_0;
};

} // namespace talvence
