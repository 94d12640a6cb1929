#include "platform/devices/virtual/VirtualDeviceConfig.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

namespace talvence {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = s.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, at - start));
        start = at + 1;
    }
}

bool ParseNumber(std::string_view s, long long& value) {
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size();
}

bool Digits(std::string_view s, std::size_t at, std::size_t count, int& value) {
    if (at + count > s.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// YYYYMMDDTHHMMSS or YYYY-MM-DDTHH:MM:SS.
bool ParseStart(std::string_view s, TDateTime& out) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    bool ok = false;
    if (s.size() == 15 && (s[8] == 'T' || s[8] == 't'))
        ok = Digits(s, 0, 4, y) && Digits(s, 4, 2, mo) && Digits(s, 6, 2, d) &&
             Digits(s, 9, 2, h) && Digits(s, 11, 2, mi) && Digits(s, 13, 2, se);
    else if (s.size() == 19 && s[4] == '-' && s[7] == '-' && (s[10] == 'T' || s[10] == 't') &&
             s[13] == ':' && s[16] == ':')
        ok = Digits(s, 0, 4, y) && Digits(s, 5, 2, mo) && Digits(s, 8, 2, d) &&
             Digits(s, 11, 2, h) && Digits(s, 14, 2, mi) && Digits(s, 17, 2, se);
    return ok && TryEncodeDateTime(y, mo, d, h, mi, se, 0, out);
}

std::optional<DvRecording> ParseRecording(std::string_view item, std::string& error) {
    const auto fields = Split(item, '/');
    DvRecording r;
    const std::string start = Lower(Trim(fields[0]));
    if (start == "nodate") {
        r.recDate = false;
    } else if (!ParseStart(Trim(fields[0]), r.start)) {
        error = "bad recording start \"" + std::string(Trim(fields[0])) + "\"";
        return std::nullopt;
    }
    long long frames = 0;
    if (fields.size() < 2 || !ParseNumber(Trim(fields[1]), frames) || frames <= 0 ||
        frames > 0x7FFFFFFF) {
        error = "a recording needs a positive frame count: \"" + std::string(item) + "\"";
        return std::nullopt;
    }
    r.frames = static_cast<std::uint32_t>(frames);
    for (std::size_t i = 2; i < fields.size(); ++i) {
        const std::string f = Lower(Trim(fields[i]));
        if (i == 2 && (f == "pal" || f == "ntsc")) {
            r.system = f == "pal" ? DvTapeSystem::Pal625 : DvTapeSystem::Ntsc525;
        } else if (i == 3 && (f == "4x3" || f == "16x9")) {
            r.wideScreen = f == "16x9";
        } else if (i == 4 && (f == "48k" || f == "32k" || f == "none")) {
            r.audio = f == "48k"   ? DvTapeAudio::Pcm48k16
                      : f == "32k" ? DvTapeAudio::Pcm32k12
                                   : DvTapeAudio::None;
        } else if (i == 5 && f == "notc") {
            r.timecode = false;
        } else {
            error = "bad recording field \"" + f + "\" in \"" + std::string(item) + "\"";
            return std::nullopt;
        }
    }
    return r;
}

// A positive frame count, or 0 for anything else.
std::uint64_t FrameCount(const std::string& value) {
    if (value.empty() || value.size() >= 12 ||
        value.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoull(value);
}

} // namespace

const std::string* VirtualDeviceSpec::Option(std::string_view key) const {
    for (auto it = options.rbegin(); it != options.rend(); ++it)
        if (it->first == key) return &it->second;
    return nullptr;
}

VirtualDeviceList ParseVirtualDeviceList(std::string_view text) {
    VirtualDeviceList list;
    for (std::string_view item : Split(text, ',')) {
        item = Trim(item);
        if (item.empty()) continue;
        const auto parts = Split(item, ':');
        VirtualDeviceSpec spec;
        spec.kind = Lower(Trim(parts[0]));
        if (spec.kind.empty()) {
            list.errors.push_back("device without a kind: \"" + std::string(item) + "\"");
            continue;
        }
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::string_view option = Trim(parts[i]);
            if (option.empty()) continue;
            const std::size_t eq = option.find('=');
            spec.options.emplace_back(Lower(Trim(option.substr(0, eq))),
                                      eq == std::string_view::npos
                                          ? std::string()
                                          : std::string(Trim(option.substr(eq + 1))));
        }
        list.devices.push_back(std::move(spec));
    }
    return list;
}

DvTapeScript DefaultDvTape() {
    DvTapeScript tape;
    DvRecording first;
    first.start = EncodeDateTime(2024, 5, 2, 10, 0, 0, 0);
    first.frames = 750;
    tape.recordings.push_back(first);
    DvRecording second;
    second.start = EncodeDateTime(2024, 5, 2, 14, 30, 0, 0);
    second.frames = 500;
    second.wideScreen = true;
    second.audio = DvTapeAudio::Pcm32k12;
    tape.recordings.push_back(second);
    return tape;
}

std::optional<DvTapeScript> ParseDvTapeScript(std::string_view text, std::string& error) {
    DvTapeScript script;
    std::string normalised(text);
    std::replace(normalised.begin(), normalised.end(), '\n', ';');
    for (std::string_view item : Split(normalised, ';')) {
        item = Trim(item);
        if (item.empty() || item.front() == '#') continue;
        auto recording = ParseRecording(item, error);
        if (!recording) return std::nullopt;
        script.recordings.push_back(*recording);
    }
    if (script.recordings.empty()) {
        error = "the tape script holds no recording";
        return std::nullopt;
    }
    return script;
}

std::optional<DvCamcorderConfig> ParseDvCamcorderOptions(const VirtualDeviceSpec& spec,
                                                         std::string& error) {
    DvCamcorderConfig config;
    config.tape = DefaultDvTape();
    for (const auto& [key, value] : spec.options) {
        const std::string v = Lower(value);
        if (key == "mode" && (v == "camera" || v == "vcr")) {
            config.mode = v == "vcr" ? DvCamcorderMode::Vcr : DvCamcorderMode::Camera;
        } else if (key == "pace" && (v == "real" || v == "fast")) {
            config.pacing = v == "fast" ? DvPacing::AsFastAsPossible : DvPacing::RealTime;
        } else if (key == "file" && !value.empty()) {
            config.file = value;
        } else if (key == "name" && !value.empty()) {
            config.friendlyName = value;
        } else if (key == "unplug" && FrameCount(value)) {
            config.unplugAfterFrames = FrameCount(value);
        } else if (key == "tape" && !value.empty()) {
            std::string script = value;
            if (value.front() == '@') {
                std::ifstream in(value.substr(1));
                if (!in) {
                    error = "cannot read the tape script " + value.substr(1);
                    return std::nullopt;
                }
                std::ostringstream text;
                text << in.rdbuf();
                script = text.str();
            }
            auto tape = ParseDvTapeScript(script, error);
            if (!tape) return std::nullopt;
            config.tape = std::move(*tape);
        } else {
            error = "unknown or bad option \"" + key + (value.empty() ? "" : "=" + value) +
                    "\" of the dv device";
            return std::nullopt;
        }
    }
    if (!config.file.empty() && spec.Option("tape")) {
        error = "the dv device takes either a file or a tape script, not both";
        return std::nullopt;
    }
    return config;
}

std::optional<VirtualV4l2Config> ParseVirtualV4l2Options(const VirtualDeviceSpec& spec,
                                                         std::string& error) {
    VirtualV4l2Config config;
    config.kind = spec.kind == "analog"     ? VirtualV4l2Kind::Analog
                  : spec.kind == "mpeg2"    ? VirtualV4l2Kind::Mpeg2Box
                  : spec.kind == "moviebox" ? VirtualV4l2Kind::MovieBox
                                            : VirtualV4l2Kind::Webcam;
    const bool webcam = config.kind == VirtualV4l2Kind::Webcam;
    const bool stream =
        config.kind == VirtualV4l2Kind::Mpeg2Box || config.kind == VirtualV4l2Kind::MovieBox;
    for (const auto& [key, value] : spec.options) {
        const std::string v = Lower(value);
        if (key == "format" && webcam && (v == "mjpeg" || v == "yuyv" || v == "both")) {
            config.mjpeg = v != "yuyv";
            config.yuyv = v != "mjpeg";
        } else if (key == "ids" && stream && (v == "e0" || v == "e1")) {
            config.alternateIds = v == "e1";
        } else if (key == "io" && stream && (v == "mmap" || v == "read")) {
            config.readIo = v == "read";
        } else if (key == "demux" && config.kind == VirtualV4l2Kind::MovieBox &&
                   (v == "both" || v == "cirrus" || v == "mbx" || v == "none")) {
            config.cirrusSplitter = v == "both" || v == "cirrus";
            config.movieBoxDemux = v == "both" || v == "mbx";
        } else if (key == "pace" && (v == "real" || v == "fast")) {
            config.pacing = v == "fast" ? DvPacing::AsFastAsPossible : DvPacing::RealTime;
        } else if (key == "name" && !value.empty()) {
            config.friendlyName = value;
        } else if (key == "unplug" && FrameCount(value)) {
            config.unplugAfterFrames = FrameCount(value);
        } else if (key == "mic" && webcam && value.empty()) {
            config.microphone = true;
        } else {
            error = "unknown or bad option \"" + key + (value.empty() ? "" : "=" + value) +
                    "\" of the " + spec.kind + " device";
            return std::nullopt;
        }
    }
    return config;
}

} // namespace talvence
