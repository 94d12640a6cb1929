#include "platform/media/filters/asf/AsfFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace talvence {

namespace {
constexpr int kIoBufferBytes = 64 * 1024;

std::string AvText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}
} // namespace

// The file under libavformat: writes at the end append, writes below it (the final header)
// overwrite in place. The first failure sticks.
struct AsfFile::Io {
    std::unique_ptr<AviOutputFile> file;
    AVIOContext* avio = nullptr;
    std::uint64_t pos = 0;
    std::uint64_t size = 0;
    int error = 0;

    static int Write(void* opaque, std::uint8_t* buf, int n) {
        Io& io = *static_cast<Io*>(opaque);
        if (io.error) return AVERROR(io.error);
        std::size_t done = 0;
        const auto count = static_cast<std::size_t>(n);
        if (io.pos < io.size) {
            const auto inside =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, io.size - io.pos));
            const AviIoResult r = io.file->writeAt(io.pos, AviBytes(buf, inside));
            if (!r.ok()) return io.Fail(r.error);
            done = inside;
        }
        if (done < count) {
            const AviBytes piece(buf + done, count - done);
            const AviIoResult r = io.file->append(std::span<const AviBytes>(&piece, 1));
            io.size += r.bytes;
            if (!r.ok()) return io.Fail(r.error);
        }
        io.pos += count;
        io.size = std::max(io.size, io.pos);
        return n;
    }

    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
        Io& io = *static_cast<Io*>(opaque);
        if (whence & AVSEEK_SIZE) return static_cast<std::int64_t>(io.size);
        std::int64_t to = offset;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            to += static_cast<std::int64_t>(io.pos);
            break;
        case SEEK_END:
            to += static_cast<std::int64_t>(io.size);
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (to < 0 || static_cast<std::uint64_t>(to) > io.size) return AVERROR(EINVAL);
        io.pos = static_cast<std::uint64_t>(to);
        return to;
    }

    int Fail(int systemError) {
        error = systemError != 0 ? systemError : EIO;
        return AVERROR(error);
    }
};

struct AsfFile::Stream {
    AsfStreamSpec spec;
    AVCodecContext* codec = nullptr;
    AVStream* st = nullptr;
    AVPacket* packet = nullptr;
    // Sound.
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    std::int64_t nextPts = 0;
    bool started = false;
    int inputBytesPerFrame = 0;

    ~Stream() {
        avcodec_free_context(&codec);
        av_packet_free(&packet);
        swr_free(&swr);
        if (fifo) av_audio_fifo_free(fifo);
    }
};

AsfFile::AsfFile(AviOutputFiles& files) : files_(files) {}

AsfFile::~AsfFile() {
    if (open_) fail(AviWriterError::WriteFailed, 0, "Abandoning");
    release();
}

void AsfFile::release() {
    streams_.clear();
    if (format_) {
        format_->pb = nullptr;
        avformat_free_context(format_);
        format_ = nullptr;
    }
    if (io_ && io_->avio) {
        av_freep(&io_->avio->buffer);
        avio_context_free(&io_->avio);
    }
    io_.reset();
}

AviWriterStatus AsfFile::open(const std::filesystem::path& path,
                              std::vector<AsfStreamSpec> streams) {
    if (open_) return {AviWriterError::WrongState, 0, "A file is already open"};
    failure_ = {};
    path_ = path;
    if (streams.empty())
        return failure_ = {AviWriterError::InvalidArgument, 0,
                           "Nothing to write to \"" + path.string() + "\": no stream"};
    int error = 0;
    auto io = std::make_unique<Io>();
    io->file = files_.create(path, error);
    if (!io->file)
        return failure_ = {AviWriterError::CannotCreate, error,
                           "Cannot create the file \"" + path.string() +
                               "\": " + std::strerror(error)};
    io_ = std::move(io);
    auto refuse = [&](const std::string& why) {
        failure_ = {AviWriterError::InvalidArgument, 0,
                    "Cannot write \"" + path.string() + "\": " + why};
        io_->file->close();
        release();
        files_.remove(path);
        return failure_;
    };

    avformat_alloc_output_context2(&format_, nullptr, "asf", nullptr);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    io_->avio =
        avio_alloc_context(buffer, kIoBufferBytes, 1, io_.get(), nullptr, &Io::Write, &Io::Seek);
    if (!format_ || !io_->avio) return refuse("no ASF muxer");
    format_->pb = io_->avio;

    for (AsfStreamSpec& spec : streams) {
        auto s = std::make_unique<Stream>();
        s->spec = spec;
        const TWmStreamConfig& c = spec.config;
        const AVCodec* encoder = avcodec_find_encoder_by_name(WmCodecEncoderName(c.codec));
        if (!encoder) return refuse(std::string("no encoder ") + WmCodecEncoderName(c.codec));
        s->codec = avcodec_alloc_context3(encoder);
        s->packet = av_packet_alloc();
        AVCodecContext* ctx = s->codec;
        ctx->bit_rate = c.bitRate;
        ctx->thread_count = 1;
        if (c.IsVideo()) {
            ctx->width = c.width;
            ctx->height = c.height;
            ctx->pix_fmt = AV_PIX_FMT_YUV420P;
            ctx->time_base = AVRational{c.frameRateDen, c.frameRateNum};
            ctx->framerate = AVRational{c.frameRateNum, c.frameRateDen};
            ctx->gop_size =
                std::max(1, static_cast<int>(std::int64_t(c.keyFrameMs) * c.frameRateNum /
                                             (std::int64_t(c.frameRateDen) * 1000)));
            ctx->sample_aspect_ratio = AVRational{1, 1};
            // A one-second buffer, as the profiles' streams have: the encoders' default of four
            // megabits lets a small profile overshoot its rate by half on a short clip.
            ctx->bit_rate_tolerance = c.bitRate;
        } else {
            const WAVEFORMATEX& in = spec.input;
            if (in.nChannels == 0 || in.nSamplesPerSec == 0 ||
                (in.wBitsPerSample != 16 && in.wBitsPerSample != 8))
                return refuse("the sound is not 8- or 16-bit PCM");
            ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
            ctx->sample_rate = c.sampleRate;
            av_channel_layout_default(&ctx->ch_layout, c.channels);
            ctx->time_base = AVRational{1, c.sampleRate};
            AVChannelLayout inLayout;
            av_channel_layout_default(&inLayout, in.nChannels);
            swr_alloc_set_opts2(&s->swr, &ctx->ch_layout, AV_SAMPLE_FMT_FLTP, c.sampleRate,
                                &inLayout,
                                in.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16,
                                static_cast<int>(in.nSamplesPerSec), 0, nullptr);
            if (!s->swr || swr_init(s->swr) < 0) return refuse("the sound cannot be converted");
            s->inputBytesPerFrame = in.nChannels * in.wBitsPerSample / 8;
        }
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int opened = avcodec_open2(ctx, encoder, nullptr);
        if (opened < 0)
            return refuse(std::string(WmCodecEncoderName(c.codec)) + ": " + AvText(opened));
        if (!c.IsVideo())
            s->fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, c.channels,
                                          std::max(ctx->frame_size, 1) * 4);
        s->st = avformat_new_stream(format_, nullptr);
        if (!s->st) return refuse("no stream");
        s->st->time_base = ctx->time_base;
        avcodec_parameters_from_context(s->st->codecpar, ctx);
        streams_.push_back(std::move(s));
    }

    const int header = avformat_write_header(format_, nullptr);
    avio_flush(format_->pb);
    if (header < 0 || io_->error) {
        const int systemError = io_->error;
        const std::string why = systemError ? std::strerror(systemError) : AvText(header);
        refuse(why);
        failure_.error = systemError ? AviWriterError::CannotCreate : failure_.error;
        failure_.systemError = systemError;
        return failure_;
    }
    dataStart_ = io_->pos;
    std::int64_t packetSize = 0;
    av_opt_get_int(format_->priv_data, "packet_size", 0, &packetSize);
    packetSize_ = static_cast<std::uint32_t>(std::max<std::int64_t>(packetSize, 1));
    open_ = true;
    return {};
}

AviWriterStatus AsfFile::fail(AviWriterError error, int systemError, const std::string& what) {
    if (failure_.ok()) {
        failure_.error = error;
        failure_.systemError = systemError;
        failure_.message = AviWriteStoppedText(what, path_, error, systemError);
    }
    if (open_ && io_ && io_->file) {
        // Readers take the data to the end of the file: keep only whole packets.
        if (io_->size >= dataStart_) {
            const std::uint64_t whole =
                dataStart_ + (io_->size - dataStart_) / packetSize_ * packetSize_;
            io_->file->truncate(whole);
        }
        io_->file->close();
    }
    open_ = false;
    release();
    return failure_;
}

AviWriterStatus AsfFile::ioFailure(const std::string& what) {
    const int e = io_ ? io_->error : EIO;
    return fail(e == ENOSPC || e == EDQUOT || e == EFBIG ? AviWriterError::DiskFull
                                                         : AviWriterError::WriteFailed,
                e, what);
}

AviWriterStatus AsfFile::encode(Stream& s, AVFrame* frame) {
    int r = avcodec_send_frame(s.codec, frame);
    if (r < 0 && r != AVERROR_EOF) return fail(AviWriterError::InvalidArgument, 0, "Encoding");
    while ((r = avcodec_receive_packet(s.codec, s.packet)) == 0) {
        av_packet_rescale_ts(s.packet, s.codec->time_base, s.st->time_base);
        s.packet->stream_index = s.st->index;
        r = av_interleaved_write_frame(format_, s.packet);
        if (io_->error) return ioFailure("Writing");
        if (r < 0) return fail(AviWriterError::WriteFailed, 0, "Writing");
    }
    return {};
}

AviWriterStatus AsfFile::writePicture(std::size_t stream, AVFrame* picture) {
    if (!open_)
        return failure_.ok() ? AviWriterStatus{AviWriterError::WrongState, 0, "not open"}
                             : failure_;
    if (stream >= streams_.size() || !streams_[stream]->spec.config.IsVideo())
        return {AviWriterError::InvalidArgument, 0, "no such picture stream"};
    return encode(*streams_[stream], picture);
}

AviWriterStatus AsfFile::encodeSoundFrames(Stream& s, bool flush) {
    const int frameSize = s.codec->frame_size > 0 ? s.codec->frame_size : 1024;
    while (av_audio_fifo_size(s.fifo) >= frameSize || (flush && av_audio_fifo_size(s.fifo) > 0)) {
        AVFrame* frame = av_frame_alloc();
        frame->nb_samples = frameSize;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = s.codec->sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &s.codec->ch_layout);
        av_frame_get_buffer(frame, 0);
        // The encoders take whole frames only: the last one is padded with silence.
        av_samples_set_silence(frame->data, 0, frameSize, s.codec->ch_layout.nb_channels,
                               AV_SAMPLE_FMT_FLTP);
        av_audio_fifo_read(s.fifo, reinterpret_cast<void**>(frame->data), frameSize);
        // The encoder stamps its packets initial_padding earlier than the sound they carry: the
        // sound keeps its place beside the pictures, and no packet has a negative time.
        frame->pts = s.nextPts + s.codec->initial_padding;
        s.nextPts += frameSize;
        const AviWriterStatus st = encode(s, frame);
        av_frame_free(&frame);
        if (!st.ok()) return st;
    }
    return flush ? encode(s, nullptr) : AviWriterStatus{};
}

AviWriterStatus AsfFile::writeSound(std::size_t stream, const std::uint8_t* pcm, std::size_t bytes,
                                    std::int64_t startTime) {
    if (!open_)
        return failure_.ok() ? AviWriterStatus{AviWriterError::WrongState, 0, "not open"}
                             : failure_;
    if (stream >= streams_.size() || streams_[stream]->spec.config.IsVideo())
        return {AviWriterError::InvalidArgument, 0, "no such sound stream"};
    Stream& s = *streams_[stream];
    if (!s.started) {
        s.started = true;
        if (startTime > 0) s.nextPts = std::llround(double(startTime) * s.codec->sample_rate / 1e7);
    }
    const int inSamples = static_cast<int>(bytes / std::size_t(s.inputBytesPerFrame));
    if (inSamples <= 0) return {};
    const int outSamples = swr_get_out_samples(s.swr, inSamples);
    std::uint8_t** out = nullptr;
    av_samples_alloc_array_and_samples(&out, nullptr, s.codec->ch_layout.nb_channels, outSamples,
                                       AV_SAMPLE_FMT_FLTP, 0);
    const std::uint8_t* in[] = {pcm};
    const int converted = swr_convert(s.swr, out, outSamples, in, inSamples);
    if (converted > 0) av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(out), converted);
    av_freep(&out[0]);
    av_freep(&out);
    return encodeSoundFrames(s, false);
}

AviWriterStatus AsfFile::finish() {
    if (!open_) return failure_;
    for (auto& s : streams_) {
        AviWriterStatus st;
        if (s->spec.config.IsVideo()) {
            st = encode(*s, nullptr);
        } else {
            // What the converter still holds.
            const int left = swr_get_out_samples(s->swr, 0);
            if (left > 0) {
                std::uint8_t** out = nullptr;
                av_samples_alloc_array_and_samples(&out, nullptr, s->codec->ch_layout.nb_channels,
                                                   left, AV_SAMPLE_FMT_FLTP, 0);
                const int n = swr_convert(s->swr, out, left, nullptr, 0);
                if (n > 0) av_audio_fifo_write(s->fifo, reinterpret_cast<void**>(out), n);
                av_freep(&out[0]);
                av_freep(&out);
            }
            st = encodeSoundFrames(*s, true);
        }
        if (!st.ok()) return st;
    }
    const int trailer = av_write_trailer(format_);
    avio_flush(format_->pb);
    if (io_->error) return ioFailure("Finishing");
    if (trailer < 0) return fail(AviWriterError::WriteFailed, 0, "Finishing");
    const AviIoResult closed = io_->file->close();
    io_->file.reset();
    open_ = false;
    release();
    if (!closed.ok()) {
        failure_ = {AviWriterError::WriteFailed, closed.error,
                    "Finishing \"" + path_.string() + "\" stopped: " + std::strerror(closed.error)};
        return failure_;
    }
    return {};
}

} // namespace talvence
