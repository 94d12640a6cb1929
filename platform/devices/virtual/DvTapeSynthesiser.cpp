#include "platform/devices/virtual/DvTapeSynthesiser.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <span>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "filters/dvcodes/DvPackWriter.h"
#include "platform/media/filters/dv/DvAudio.h"

namespace talvence {

namespace {

constexpr int kPictureVariants = 8;

bool IsPal(DvTapeSystem system) {
    return system == DvTapeSystem::Pal625;
}

int SequencesOf(DvTapeSystem system) {
    return IsPal(system) ? 12 : 10;
}

std::size_t FrameBytesOf(DvTapeSystem system) {
    return IsPal(system) ? kDvFrameBytes625 : kDvFrameBytes525;
}

dvcodec::DvSystem CodecSystem(DvTapeSystem system) {
    return IsPal(system) ? dvcodec::DvSystem::Pal625 : dvcodec::DvSystem::Ntsc525;
}

int SampleRateOf(DvTapeAudio audio) {
    return audio == DvTapeAudio::Pcm32k12 ? 32000 : 48000;
}

// Tone of the first stereo pair: 1 kHz on the left, 400 Hz on the right.
std::int16_t ToneSample(std::uint64_t n, int rate, int channel) {
    const double hz = channel == 0 ? 1000.0 : 400.0;
    const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(n % rate) / rate;
    return static_cast<std::int16_t>(std::lround(12000.0 * std::sin(phase)));
}

// Y, Cb, Cr of the 75% colour bars.
constexpr std::uint8_t kBars[8][3] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44},
                                      {112, 72, 58},   {84, 184, 198}, {65, 100, 212},
                                      {35, 212, 114},  {16, 128, 128}};

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct CodecContextFree {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFree {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// Colour bars rotated by `variant`, with a dark box whose place also depends
// on it, so that recordings look apart.
void FillPicture(AVFrame* picture, bool pal, int variant) {
    const int chromaShiftX = pal ? 1 : 2; // 4:2:0 or 4:1:1
    const int chromaShiftY = pal ? 1 : 0;
    const int boxX = 64 + 72 * variant, boxY = 96 + 32 * variant;
    auto fill = [&](int plane, int shiftX, int shiftY) {
        const int w = picture->width >> shiftX, h = picture->height >> shiftY;
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = picture->data[plane] + y * picture->linesize[plane];
            for (int x = 0; x < w; ++x) {
                const int fx = x << shiftX, fy = y << shiftY;
                const int bar = (fx * 8 / picture->width + variant) % 8;
                const bool inBox = fx >= boxX && fx < boxX + 96 && fy >= boxY && fy < boxY + 96;
                row[x] = inBox ? (plane == 0 ? 40 : 128) : kBars[bar][plane];
            }
        }
    };
    fill(0, 0, 0);
    fill(1, chromaShiftX, chromaShiftY);
    fill(2, chromaShiftX, chromaShiftY);
}

// One whole DV frame (header, subcode, VAUX, audio and video blocks) of the
// test picture, as libavcodec's DV encoder lays it out.
bool EncodePicture(DvTapeSystem system, bool wide, int variant, std::vector<std::uint8_t>& out,
                   std::string& error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (codec == nullptr) {
        error = "no DV video encoder in libavcodec";
        return false;
    }
    const bool pal = IsPal(system);
    std::unique_ptr<AVCodecContext, CodecContextFree> ctx(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameFree> picture(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!ctx || !picture || !packet) {
        error = "out of memory";
        return false;
    }
    ctx->width = 720;
    ctx->height = pal ? 576 : 480;
    ctx->pix_fmt = pal ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV411P;
    ctx->time_base = pal ? AVRational{1, 25} : AVRational{1001, 30000};
    ctx->sample_aspect_ratio = wide ? (pal ? AVRational{64, 45} : AVRational{32, 27})
                                    : (pal ? AVRational{16, 15} : AVRational{8, 9});
    int rc = avcodec_open2(ctx.get(), codec, nullptr);
    if (rc < 0) {
        error = "cannot open the DV video encoder: " + AvError(rc);
        return false;
    }
    picture->format = ctx->pix_fmt;
    picture->width = ctx->width;
    picture->height = ctx->height;
    if ((rc = av_frame_get_buffer(picture.get(), 0)) < 0) {
        error = "cannot allocate a picture: " + AvError(rc);
        return false;
    }
    FillPicture(picture.get(), pal, variant);
    if ((rc = avcodec_send_frame(ctx.get(), picture.get())) < 0 ||
        (rc = avcodec_send_frame(ctx.get(), nullptr)) < 0 ||
        (rc = avcodec_receive_packet(ctx.get(), packet.get())) < 0) {
        error = "DV encoding failed: " + AvError(rc);
        return false;
    }
    if (static_cast<std::size_t>(packet->size) != FrameBytesOf(system)) {
        error = "the DV encoder made a frame of " + std::to_string(packet->size) + " bytes";
        return false;
    }
    out.assign(packet->data, packet->data + packet->size);
    return true;
}

} // namespace

DvTapeSynthesiser::DvTapeSynthesiser(DvTapeScript script) : script_(std::move(script)) {
    for (const DvRecording& r : script_.recordings) {
        firstFrames_.push_back(totalFrames_);
        totalFrames_ += r.frames;
    }
}

std::optional<DvTapePosition> DvTapeSynthesiser::locate(std::uint64_t tapeFrame) const {
    if (tapeFrame >= totalFrames_) return std::nullopt;
    const auto after = std::upper_bound(firstFrames_.begin(), firstFrames_.end(), tapeFrame);
    // Recordings of no frames share a first frame with the next one; skip them.
    std::size_t index = static_cast<std::size_t>(after - firstFrames_.begin()) - 1;
    while (script_.recordings[index].frames == 0)
        ++index;
    return DvTapePosition{index, static_cast<std::uint32_t>(tapeFrame - firstFrames_[index])};
}

DvTimecode DvTapeSynthesiser::TapeTimecode(std::uint64_t tapeFrame, DvTapeSystem system) {
    std::uint64_t n = tapeFrame;
    int fps = 25;
    if (!IsPal(system)) {
        // Drop-frame: frame numbers 0 and 1 are skipped at each minute but
        // every tenth.
        fps = 30;
        const std::uint64_t tens = n / 17982, rest = n % 17982;
        n += 18 * tens + (rest < 2 ? 0 : 2 * ((rest - 2) / 1798));
    }
    DvTimecode tc;
    tc.frames = static_cast<std::uint8_t>(n % fps);
    tc.seconds = static_cast<std::uint8_t>(n / fps % 60);
    tc.minutes = static_cast<std::uint8_t>(n / fps / 60 % 60);
    tc.hours = static_cast<std::uint8_t>(n / fps / 3600 % 24);
    return tc;
}

DvRecDateTime DvTapeSynthesiser::recDateTime(std::uint64_t tapeFrame) const {
    DvRecDateTime rec;
    const auto at = locate(tapeFrame);
    if (!at) return rec;
    const DvRecording& recording = script_.recordings[at->recording];
    if (!recording.recDate) return rec;
    const std::uint64_t k = at->frameInRecording;
    const std::uint64_t seconds = IsPal(recording.system) ? k / 25 : k * 1001 / 30000;
    DateTimeFields f;
    if (!DecodeDateTime(recording.start + static_cast<double>(seconds) / 86400.0, f)) return rec;
    rec.year = f.year;
    rec.month = static_cast<std::uint8_t>(f.month);
    rec.day = static_cast<std::uint8_t>(f.day);
    rec.hour = static_cast<std::uint8_t>(f.hour);
    rec.minute = static_cast<std::uint8_t>(f.minute);
    rec.second = static_cast<std::uint8_t>(f.second);
    return rec;
}

void DvTapeSynthesiser::audioSamples(std::uint64_t tapeFrame,
                                     std::vector<std::int16_t>& interleaved) const {
    interleaved.clear();
    const auto at = locate(tapeFrame);
    if (!at) return;
    const DvRecording& recording = script_.recordings[at->recording];
    if (recording.audio == DvTapeAudio::None) return;
    // Each recording is one continuous stream, so the tone and the per-frame counts restart
    // with it.
    const int rate = SampleRateOf(recording.audio);
    const dvcodec::DvSystem system = CodecSystem(recording.system);
    const std::uint64_t first = dvcodec::AudioSamplesBefore(system, rate, at->frameInRecording);
    const int count = dvcodec::AudioSamplesForFrame(system, rate, at->frameInRecording);
    interleaved.resize(static_cast<std::size_t>(count) * 2);
    for (int n = 0; n < count; ++n) {
        interleaved[2 * n] = ToneSample(first + n, rate, 0);
        interleaved[2 * n + 1] = ToneSample(first + n, rate, 1);
    }
}

const std::vector<std::uint8_t>* DvTapeSynthesiser::picture(const DvRecording& recording,
                                                            std::size_t index) {
    const int variant = static_cast<int>(index % kPictureVariants);
    const std::uint32_t key = (IsPal(recording.system) ? 1u : 0u) |
                              (recording.wideScreen ? 2u : 0u) |
                              (static_cast<std::uint32_t>(variant) << 2);
    auto found = pictures_.find(key);
    if (found != pictures_.end()) return &found->second;
    std::vector<std::uint8_t> bytes;
    if (!EncodePicture(recording.system, recording.wideScreen, variant, bytes, error_))
        return nullptr;
    return &pictures_.emplace(key, std::move(bytes)).first->second;
}

bool DvTapeSynthesiser::prepare() {
    for (std::size_t i = 0; i < script_.recordings.size(); ++i)
        if (script_.recordings[i].frames > 0 && picture(script_.recordings[i], i) == nullptr)
            return false;
    return true;
}

bool DvTapeSynthesiser::frame(std::uint64_t tapeFrame, std::vector<std::uint8_t>& out) {
    const auto at = locate(tapeFrame);
    if (!at) {
        error_ = "past the end of the tape";
        return false;
    }
    const DvTapeSystem system = script_.recordings[at->recording].system;
    return compose(tapeFrame, out, TapeTimecode(tapeFrame, system), recDateTime(tapeFrame));
}

bool DvTapeSynthesiser::frame(std::uint64_t tapeFrame, std::vector<std::uint8_t>& out,
                              const DvTimecode& tc, const DvRecDateTime& rec) {
    const auto at = locate(tapeFrame);
    if (!at) {
        error_ = "past the end of the tape";
        return false;
    }
    DvRecDateTime stamped = rec;
    if (!script_.recordings[at->recording].recDate) stamped.year = -1;
    return compose(tapeFrame, out, tc, stamped);
}

bool DvTapeSynthesiser::compose(std::uint64_t tapeFrame, std::vector<std::uint8_t>& out,
                                const DvTimecode& tc, const DvRecDateTime& rec) {
    const auto at = locate(tapeFrame);
    const DvRecording& recording = script_.recordings[at->recording];
    const std::vector<std::uint8_t>* video = picture(recording, at->recording);
    if (video == nullptr) return false;
    out = *video;

    const bool pal = IsPal(recording.system);
    const int sequences = SequencesOf(recording.system);
    std::uint8_t* frame = out.data();
    for (int s = 0; s < sequences; ++s) {
        if (recording.timecode) DvWriteTimecode(frame, s, tc, !pal);
        DvWriteRecDateTime(frame, s, rec);
        DvWriteSourceControl(frame, s, recording.wideScreen);
    }

    // The sound, with its audio source and control packs, and after them the recording date
    // and time, as camcorders write them.
    const std::span<std::uint8_t> bytes(out);
    const dvcodec::DvSystem system = CodecSystem(recording.system);
    if (recording.audio == DvTapeAudio::None) {
        dvcodec::WriteNoAudio(bytes, system);
        return true;
    }
    std::vector<std::int16_t> samples;
    audioSamples(tapeFrame, samples);
    const int count = static_cast<int>(samples.size() / 2);
    const dvcodec::DvAudioStatus status =
        recording.audio == DvTapeAudio::Pcm32k12
            ? dvcodec::WriteAudio12(bytes, system, samples, count)
            : dvcodec::WriteAudio(bytes, system, SampleRateOf(recording.audio), samples, count);
    if (status != dvcodec::DvAudioStatus::Ok) {
        error_ = "cannot write the sound of the frame";
        return false;
    }
    if (rec.year >= 0)
        for (int s = 0; s < sequences; ++s) {
            const int date = dvcodec::AudioSourcePackBlock(s) + 2;
            DvMakeRecDatePack(frame + dvcodec::AudioPackByte(s, date), rec, kDvPackAudioRecDate);
            DvMakeRecTimePack(frame + dvcodec::AudioPackByte(s, date + 1), rec,
                              kDvPackAudioRecTime);
        }
    return true;
}

} // namespace talvence
