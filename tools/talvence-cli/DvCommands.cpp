#include "tools/talvence-cli/DvCommands.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <ostream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "filters/dvcodes/dvcodes.h"
#include "platform/shell/DateTime.h"
#include "postproc/RegularFile.h"

namespace talvence::cli {

namespace {

class RawDvSource : public DvFrameSource {
public:
    explicit RawDvSource(std::ifstream file) : file_(std::move(file)) {}

    bool next(std::vector<std::uint8_t>& frame) override {
        frame.resize(kDvFrameBytes525);
        std::size_t got = read(frame.data(), kDvFrameBytes525);
        if (got == kDvFrameBytes525 && (frame[kDvHeaderSystemByte] & 0x80)) {
            frame.resize(kDvFrameBytes625);
            got += read(frame.data() + kDvFrameBytes525, kDvFrameBytes625 - kDvFrameBytes525);
        }
        frame.resize(got);
        if (file_.bad()) error_ = "read error";
        return got > 0;
    }

private:
    std::size_t read(std::uint8_t* to, std::size_t bytes) {
        file_.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(bytes));
        return static_cast<std::size_t>(file_.gcount());
    }

    std::ifstream file_;
};

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The DV video stream of an AVI: type 1 ('iavs', split by libavformat) and
// type 2 ('dvsd') both deliver whole DV frames as video packets.
class AviDvSource : public DvFrameSource {
public:
    ~AviDvSource() override {
        av_packet_free(&packet_);
        avformat_close_input(&format_);
    }

    bool open(const std::string& path, std::string& error) {
        int rc = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
        if (rc < 0) {
            error = "cannot open as AVI: " + AvError(rc);
            return false;
        }
        if ((rc = avformat_find_stream_info(format_, nullptr)) < 0) {
            error = "cannot read the stream headers: " + AvError(rc);
            return false;
        }
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            if (format_->streams[i]->codecpar->codec_id == AV_CODEC_ID_DVVIDEO) {
                stream_ = static_cast<int>(i);
                break;
            }
        }
        if (stream_ < 0) {
            error = "no DV video stream in the file";
            return false;
        }
        packet_ = av_packet_alloc();
        if (packet_ == nullptr) {
            error = "out of memory";
            return false;
        }
        return true;
    }

    bool next(std::vector<std::uint8_t>& frame) override {
        for (;;) {
            const int rc = av_read_frame(format_, packet_);
            if (rc < 0) {
                if (rc != AVERROR_EOF) error_ = "read error: " + AvError(rc);
                return false;
            }
            const bool ours = packet_->stream_index == stream_;
            if (ours) frame.assign(packet_->data, packet_->data + packet_->size);
            av_packet_unref(packet_);
            if (ours) return true;
        }
    }

private:
    AVFormatContext* format_ = nullptr;
    AVPacket* packet_ = nullptr;
    int stream_ = -1;
};

struct SceneReport {
    DvFrameInfo sceneStart;
    DvFrameInfo current;
    SceneCut reason;
};

} // namespace

std::unique_ptr<DvFrameSource> OpenDvFrameSource(const std::string& path, std::string& error) {
    if (const std::string why = NotARegularFile(path); !why.empty()) {
        error = "cannot open the file: " + why;
        return nullptr;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open the file";
        return nullptr;
    }
    char magic[4] = {};
    file.read(magic, 4);
    const bool riff = file.gcount() == 4 && std::string(magic, 4) == "RIFF";
    if (riff) {
        auto avi = std::make_unique<AviDvSource>();
        if (!avi->open(path, error)) return nullptr;
        return avi;
    }
    file.clear();
    file.seekg(0);
    return std::make_unique<RawDvSource>(std::move(file));
}

std::string DvInfoFrameLine(std::uint64_t index, const DvFrameInfo& info) {
    char tc[32] = "-";
    if (info.hasTimecode)
        std::snprintf(tc, sizeof tc, "%u:%02u:%02u:%02u", info.timecode.hours,
                      info.timecode.minutes, info.timecode.seconds, info.timecode.frames);
    char rec[40] = "-";
    DateTimeFields f;
    if (info.hasRecDate && DecodeDateTime(info.recDateTime, f))
        std::snprintf(rec, sizeof rec, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day,
                      f.hour, f.minute, f.second);
    const char* sys = info.videoSystem == kDvSystem625   ? "625/50"
                      : info.videoSystem == kDvSystem525 ? "525/60"
                                                         : "?";
    std::string audio = "-";
    if (info.audioSampleRate != -1)
        audio = std::to_string(info.audioSampleRate) + "/" + std::to_string(info.audioBits);
    return "frame " + std::to_string(index) + " tc=" + tc + " rec=" + rec + " sys=" + sys +
           " aspect=" + (info.wideScreen ? "16:9" : "4:3") + " audio=" + audio;
}

std::string DvInfoShortFrameLine(std::uint64_t index, std::size_t bytes) {
    return "frame " + std::to_string(index) + " skipped bytes=" + std::to_string(bytes);
}

std::string DvInfoSceneLine(int k, std::uint64_t start, std::uint64_t end, SceneCut reason) {
    return "scene " + std::to_string(k) + " start=" + std::to_string(start) +
           " frames=" + std::to_string(end - start) + " reason=" + SceneCutWord(reason);
}

std::pair<std::uint64_t, std::uint64_t>
DvInfoScenePositions(int k, const DvFrameInfo& sceneStart, const DvFrameInfo& current,
                     const std::vector<std::uint64_t>& decodedAt) {
    // Decoded frame n lies at decodedAt[n]; "n" past the last one is the
    // position after it.
    const auto positionOf = [&decodedAt](std::uint32_t n) -> std::uint64_t {
        if (decodedAt.empty()) return 0;
        return n < decodedAt.size() ? decodedAt[n] : decodedAt.back() + 1;
    };
    // The first scene's start record already counts its first frame.
    const std::uint64_t start = k == 1 ? 0 : positionOf(sceneStart.frameCount);
    return {start, std::max(start, positionOf(current.frameCount))};
}

int RunDvInfo(Args args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: talvence-cli dvinfo FILE\n";
        return kExitUsage;
    }
    std::string error;
    std::unique_ptr<DvFrameSource> source = OpenDvFrameSource(args[0], error);
    if (!source) {
        err << args[0] << ": " << error << "\n";
        return kExitFailed;
    }

    // The detector object holds a 500 KB ring; keep it off the stack.
    auto core = std::make_unique<SceneDetectCore>();
    std::vector<SceneReport> scenes;
    core->SetSceneCallback(
        [&scenes](const DvFrameInfo& sceneStart, const DvFrameInfo& current, SceneCut reason) {
            scenes.push_back({sceneStart, current, reason});
        });

    // Sample times run on frame by frame, so the gap rule sees no gap.
    std::int64_t time = 0;
    std::vector<std::uint8_t> frame;
    std::vector<std::uint64_t> decodedAt;
    for (std::uint64_t index = 0; source->next(frame); ++index) {
        const std::int64_t duration = SceneFrameDuration(frame.size());
        const SceneFrameResult result =
            core->ProcessFrame(frame.data(), frame.size(), time, time + duration, true);
        time += duration;
        if (result.decoded) {
            decodedAt.push_back(index);
            out << DvInfoFrameLine(index, core->Current()) << "\n";
        } else {
            out << DvInfoShortFrameLine(index, frame.size()) << "\n";
        }
    }
    core->Stop();
    for (std::size_t k = 0; k < scenes.size(); ++k) {
        const int number = static_cast<int>(k) + 1;
        const auto [start, end] =
            DvInfoScenePositions(number, scenes[k].sceneStart, scenes[k].current, decodedAt);
        out << DvInfoSceneLine(number, start, end, scenes[k].reason) << "\n";
    }
    if (!source->error().empty()) {
        err << args[0] << ": " << source->error() << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

void AddDvCommands(CommandTable& table) {
    table.add({"dvinfo", "FILE",
               "list the timecode, recording date and format of each DV frame, and the scenes",
               RunDvInfo});
}

} // namespace talvence::cli
