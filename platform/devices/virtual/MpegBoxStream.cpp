#include "platform/devices/virtual/MpegBoxStream.h"

#include "platform/log/Log.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <cmath>
#include <cstring>

namespace talvence {

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr int kRate = 48000;
constexpr int kSamplesPerPicture = kRate / 25;

// Seven-segment digits: bit 0 top, 1 top right, 2 bottom right, 3 bottom, 4 bottom left, 5 top
// left, 6 middle.
constexpr std::uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void FillRect(AVFrame* f, int x, int y, int w, int h, std::uint8_t luma) {
    for (int row = y; row < y + h && row < kHeight; ++row)
        std::memset(f->data[0] + row * f->linesize[0] + x, luma, std::size_t(std::min(w, kWidth - x)));
}

void DrawDigit(AVFrame* f, int x, int y, int digit) {
    constexpr int w = 36, h = 72, t = 8;
    const std::uint8_t s = kSegments[digit];
    if (s & 0x01) FillRect(f, x, y, w, t, 235);
    if (s & 0x02) FillRect(f, x + w - t, y, t, h / 2, 235);
    if (s & 0x04) FillRect(f, x + w - t, y + h / 2, t, h / 2, 235);
    if (s & 0x08) FillRect(f, x, y + h - t, w, t, 235);
    if (s & 0x10) FillRect(f, x, y + h / 2, t, h / 2, 235);
    if (s & 0x20) FillRect(f, x, y, t, h / 2, 235);
    if (s & 0x40) FillRect(f, x, y + h / 2 - t / 2, w, t, 235);
}

void DrawPicture(AVFrame* f, std::uint64_t n) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            f->data[0][y * f->linesize[0] + x] = std::uint8_t(40 + (x + y) * 100 / (kWidth + kHeight));
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < kHeight / 2; ++y)
            std::memset(f->data[plane] + y * f->linesize[plane], plane == 1 ? 150 : 110, kWidth / 2);
    FillRect(f, int(n * 8 % (kWidth - 32)), 0, 32, kHeight, 200);
    // The recording clock: hours, minutes, seconds and frames since the start.
    const std::uint64_t seconds = n / 25;
    const int fields[4] = {int(seconds / 3600 % 100), int(seconds / 60 % 60), int(seconds % 60),
                           int(n % 25)};
    int x = 120;
    for (int i = 0; i < 4; ++i) {
        DrawDigit(f, x, 440, fields[i] / 10);
        DrawDigit(f, x + 46, 440, fields[i] % 10);
        x += 92;
        if (i < 3) {
            FillRect(f, x, 455, 8, 8, 235);
            FillRect(f, x, 490, 8, 8, 235);
            x += 22;
        }
    }
}

// Gives the video and audio packets the ids 0xE1 and 0xC1, in their PES headers and in the
// system header's stream list. The chunk holds whole packs, as the muxer writes them.
void AlternateIds(std::vector<std::uint8_t>& s) {
    auto swap = [](std::uint8_t& id) {
        if (id == 0xE0) id = 0xE1;
        else if (id == 0xC0) id = 0xC1;
    };
    std::size_t i = 0;
    while (i + 6 <= s.size()) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) {
            ++i;
            continue;
        }
        const std::uint8_t code = s[i + 3];
        if (code == 0xBA) {
            if (i + 14 > s.size()) return;
            i += 14 + (s[i + 13] & 7);
            continue;
        }
        if (code < 0xBB) {
            i += 4;
            continue;
        }
        const std::size_t length = 6 + (std::size_t(s[i + 4]) << 8 | s[i + 5]);
        if (code == 0xBB) {
            for (std::size_t e = i + 12; e + 3 <= std::min(s.size(), i + length); e += 3)
                swap(s[e]);
        } else {
            swap(s[i + 3]);
        }
        i += length;
    }
}

int WritePacket(void* opaque, std::uint8_t* buf, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(opaque);
    out->insert(out->end(), buf, buf + size);
    return size;
}

} // namespace

struct TMpegBoxStream::State {
    bool alternateIds = false;
    bool ok = false;
    bool finished = false;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVFormatContext* mux = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    std::vector<std::uint8_t> written;
    std::vector<std::int16_t> pcm; // samples made but not yet encoded (interleaved)
    std::uint64_t pictures = 0;
    std::int64_t samplesMade = 0;
    std::int64_t samplesEncoded = 0;

    ~State() {
        if (mux) {
            if (mux->pb) {
                av_freep(&mux->pb->buffer);
                avio_context_free(&mux->pb);
            }
            avformat_free_context(mux);
        }
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        av_frame_free(&picture);
        av_frame_free(&sound);
        av_packet_free(&packet);
    }

    bool Open() {
        const AVCodec* vc = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
        const AVCodec* ac = avcodec_find_encoder(AV_CODEC_ID_MP2);
        if (!vc || !ac) return false;
        video = avcodec_alloc_context3(vc);
        audio = avcodec_alloc_context3(ac);
        if (!video || !audio) return false;
        video->width = kWidth;
        video->height = kHeight;
        video->time_base = {1, 25};
        video->framerate = {25, 1};
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->bit_rate = 6000000;
        video->rc_max_rate = 9000000;
        video->rc_buffer_size = 1835008;
        video->gop_size = 12;
        video->max_b_frames = 2;
        video->thread_count = 1;
        video->sample_aspect_ratio = {16, 15};
        video->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
        audio->sample_fmt = AV_SAMPLE_FMT_S16;
        audio->sample_rate = kRate;
        audio->bit_rate = 256000;
        audio->time_base = {1, kRate};
        av_channel_layout_default(&audio->ch_layout, 2);
        if (avcodec_open2(video, vc, nullptr) < 0 || avcodec_open2(audio, ac, nullptr) < 0)
            return false;

        if (avformat_alloc_output_context2(&mux, nullptr, "vob", nullptr) < 0 || !mux)
            return false;
        constexpr int kIoBytes = 32768;
        auto* io = static_cast<unsigned char*>(av_malloc(kIoBytes));
        if (!io) return false;
        mux->pb = avio_alloc_context(io, kIoBytes, 1, &written, nullptr, WritePacket, nullptr);
        if (!mux->pb) {
            av_free(io);
            return false;
        }
        mux->flags |= AVFMT_FLAG_CUSTOM_IO;
        for (AVCodecContext* c : {video, audio}) {
            AVStream* st = avformat_new_stream(mux, nullptr);
            if (!st || avcodec_parameters_from_context(st->codecpar, c) < 0) return false;
            st->time_base = c->time_base;
            // The encoder's buffer size tells the muxer how far ahead it may interleave.
            for (int i = 0; i < c->nb_coded_side_data; ++i) {
                const AVPacketSideData& side = c->coded_side_data[i];
                if (std::uint8_t* copy = av_stream_new_side_data(st, side.type, side.size))
                    std::memcpy(copy, side.data, side.size);
            }
        }
        if (avformat_write_header(mux, nullptr) < 0) return false;

        picture = av_frame_alloc();
        sound = av_frame_alloc();
        packet = av_packet_alloc();
        if (!picture || !sound || !packet) return false;
        picture->format = AV_PIX_FMT_YUV420P;
        picture->width = kWidth;
        picture->height = kHeight;
        if (av_frame_get_buffer(picture, 0) < 0) return false;
        sound->format = AV_SAMPLE_FMT_S16;
        sound->sample_rate = kRate;
        sound->nb_samples = audio->frame_size;
        av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
        if (av_frame_get_buffer(sound, 0) < 0) return false;
        return true;
    }

    bool Drain(AVCodecContext* c, int stream) {
        for (;;) {
            const int r = avcodec_receive_packet(c, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            packet->stream_index = stream;
            av_packet_rescale_ts(packet, c->time_base, mux->streams[stream]->time_base);
            if (av_interleaved_write_frame(mux, packet) < 0) return false;
        }
    }

    bool EncodePicture() {
        if (av_frame_make_writable(picture) < 0) return false;
        DrawPicture(picture, pictures);
        picture->pts = std::int64_t(pictures);
        picture->interlaced_frame = 1;
        picture->top_field_first = 1;
        if (avcodec_send_frame(video, picture) < 0 || !Drain(video, 0)) return false;
        ++pictures;
        // The picture's share of a 1 kHz tone.
        for (int i = 0; i < kSamplesPerPicture; ++i, ++samplesMade) {
            const auto v = std::int16_t(8000 * std::sin(2 * M_PI * 1000.0 * double(samplesMade) / kRate));
            pcm.push_back(v);
            pcm.push_back(v);
        }
        const std::size_t frame = std::size_t(audio->frame_size);
        while (pcm.size() >= 2 * frame) {
            if (av_frame_make_writable(sound) < 0) return false;
            std::memcpy(sound->data[0], pcm.data(), 4 * frame);
            pcm.erase(pcm.begin(), pcm.begin() + std::ptrdiff_t(2 * frame));
            sound->pts = samplesEncoded;
            samplesEncoded += std::int64_t(frame);
            if (avcodec_send_frame(audio, sound) < 0 || !Drain(audio, 1)) return false;
        }
        return true;
    }

    std::vector<std::uint8_t> Take() {
        avio_flush(mux->pb);
        std::vector<std::uint8_t> out;
        out.swap(written);
        if (alternateIds) AlternateIds(out);
        return out;
    }
};

TMpegBoxStream::TMpegBoxStream(bool alternateIds) : s_(std::make_unique<State>()) {
    s_->alternateIds = alternateIds;
    s_->ok = s_->Open();
    if (!s_->ok) TLOG(Device) << "virtual MPEG-2 box: the encoders cannot be opened";
}

TMpegBoxStream::~TMpegBoxStream() = default;

std::uint64_t TMpegBoxStream::Pictures() const {
    return s_->pictures;
}

std::vector<std::uint8_t> TMpegBoxStream::NextChunk() {
    if (!s_->ok || s_->finished) return {};
    if (!s_->EncodePicture()) {
        TLOG(Device) << "virtual MPEG-2 box: a picture cannot be encoded";
        s_->ok = false;
        return {};
    }
    return s_->Take();
}

std::vector<std::uint8_t> TMpegBoxStream::Finish() {
    if (!s_->ok || s_->finished) return {};
    s_->finished = true;
    avcodec_send_frame(s_->video, nullptr);
    s_->Drain(s_->video, 0);
    avcodec_send_frame(s_->audio, nullptr);
    s_->Drain(s_->audio, 1);
    av_write_trailer(s_->mux);
    return s_->Take();
}

std::vector<std::uint8_t> MakeMpegBoxProgram(int pictures, bool alternateIds) {
    TMpegBoxStream stream(alternateIds);
    std::vector<std::uint8_t> out;
    for (int i = 0; i < pictures; ++i) {
        const std::vector<std::uint8_t> chunk = stream.NextChunk();
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    const std::vector<std::uint8_t> tail = stream.Finish();
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

} // namespace talvence
