#include "platform/devices/virtual/DvCamcorderDevice.h"

#include "filters/dvcodes/dvcodes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvence {

DvCamcorderDevice::DvCamcorderDevice(DvCamcorderConfig config) : config_(std::move(config)) {}

DvCamcorderDevice::~DvCamcorderDevice() {
    if (fd_ >= 0) ::close(fd_);
}

std::shared_ptr<DvCamcorderDevice> DvCamcorderDevice::Open(DvCamcorderConfig config,
                                                           std::string& error) {
    std::shared_ptr<DvCamcorderDevice> device(new DvCamcorderDevice(std::move(config)));
    if (!device->config_.file.empty()) {
        if (!device->OpenFile(error)) return nullptr;
    } else {
        device->synth_ = std::make_unique<DvTapeSynthesiser>(device->config_.tape);
        device->length_ = device->synth_->frameCount();
        if (device->length_ == 0) {
            error = "the tape script holds no frame";
            return nullptr;
        }
        // Encoding every picture now keeps a real-time stream from stalling at a recording.
        if (!device->synth_->prepare()) {
            error = device->synth_->error();
            return nullptr;
        }
    }
    device->transport_ = DvTransport(device->length_);
    return device;
}

bool DvCamcorderDevice::OpenFile(std::string& error) {
    fd_ = ::open(config_.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot open " + config_.file + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    std::uint8_t header[kDvDifBlockBytes] = {};
    if (::fstat(fd_, &st) != 0 ||
        ::pread(fd_, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        (header[0] >> 5) != 0) {
        error = config_.file + " does not start with a DV frame";
        return false;
    }
    // The first frame's header tells the system; a tape dump keeps it throughout.
    fileFrameBytes_ = (header[kDvHeaderSystemByte] & 0x80) ? kDvFrameBytes625 : kDvFrameBytes525;
    length_ = static_cast<std::uint64_t>(st.st_size) / fileFrameBytes_;
    if (length_ == 0) {
        error = config_.file + " holds no whole DV frame";
        return false;
    }
    return true;
}

bool DvCamcorderDevice::ReadFileFrame(std::uint64_t index, std::vector<std::uint8_t>& out,
                                      std::string& error) {
    out.resize(fileFrameBytes_);
    std::size_t done = 0;
    const off_t offset = static_cast<off_t>(index * fileFrameBytes_);
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot read frame " + std::to_string(index) + " of " + config_.file;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

DvRecDateTime DvCamcorderDevice::ClockNow() const {
    const TDateTime now = config_.clock ? config_.clock() : NowLocal();
    DvRecDateTime rec;
    DateTimeFields f;
    if (!DecodeDateTime(now, f)) return rec;
    rec.year = f.year;
    rec.month = static_cast<std::uint8_t>(f.month);
    rec.day = static_cast<std::uint8_t>(f.day);
    rec.hour = static_cast<std::uint8_t>(f.hour);
    rec.minute = static_cast<std::uint8_t>(f.minute);
    rec.second = static_cast<std::uint8_t>(f.second);
    return rec;
}

void DvCamcorderDevice::StreamStarting() {
    std::lock_guard lock(mutex_);
    if (!IsVcr() && !synth_) cameraFrames_ = 0;
}

DvCamcorderDevice::Step DvCamcorderDevice::Advance() {
    Step step = AdvanceTape();
    if (step.kind != DvTransport::Step::Frame) return step;
    bool pull = false;
    {
        std::lock_guard lock(mutex_);
        ++framesSent_;
        pull = config_.unplugAfterFrames != 0 && framesSent_ > config_.unplugAfterFrames;
    }
    if (pull) {
        Unplug();
        return Step{.unplugged = true};
    }
    return step;
}

void DvCamcorderDevice::Unplug() {
    if (!plugged_.exchange(false)) return;
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        handler = onUnplugged_;
    }
    commanded_.notify_all();
    if (handler) handler();
}

void DvCamcorderDevice::SetUnpluggedHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    onUnplugged_ = std::move(handler);
}

DvCamcorderDevice::Step DvCamcorderDevice::AdvanceTape() {
    if (!plugged_) return Step{.unplugged = true};
    std::lock_guard lock(mutex_);
    Step step;
    if (IsVcr()) {
        const DvTransport::Step moved = transport_.Advance();
        step.kind = moved.kind;
        step.tapeFrame = moved.frame;
        return step;
    }
    if (synth_) {
        step.kind = DvTransport::Step::Frame;
        step.tapeFrame = cameraFrames_ % length_;
    } else if (cameraFrames_ < length_) {
        step.kind = DvTransport::Step::Frame;
        step.tapeFrame = cameraFrames_;
    } else {
        step.kind = DvTransport::Step::EndOfTape;
        return step;
    }
    step.cameraFrame = cameraFrames_++;
    return step;
}

bool DvCamcorderDevice::Produce(const Step& step, std::vector<std::uint8_t>& out,
                                std::string& error) {
    std::lock_guard lock(mutex_);
    if (!synth_) return ReadFileFrame(step.tapeFrame, out, error);
    bool made = false;
    if (IsVcr()) {
        made = synth_->frame(step.tapeFrame, out);
    } else {
        const DvTapeSystem system = SystemOf(step.tapeFrame);
        made = synth_->frame(step.tapeFrame, out,
                             DvTapeSynthesiser::TapeTimecode(step.cameraFrame, system), ClockNow());
    }
    if (!made) error = synth_->error();
    return made;
}

bool DvCamcorderDevice::PeekFrame(std::vector<std::uint8_t>& out, std::string& error) {
    Step step;
    {
        std::lock_guard lock(mutex_);
        step.kind = DvTransport::Step::Frame;
        step.tapeFrame = IsVcr()  ? transport_.Position()
                         : synth_ ? cameraFrames_ % length_
                                  : std::min(cameraFrames_, length_ - 1);
        step.cameraFrame = cameraFrames_;
    }
    return Produce(step, out, error);
}

HRESULT DvCamcorderDevice::SetTransportMode(long mode) {
    if (!IsVcr()) return E_FAIL; // a camera has no tape to move
    {
        std::lock_guard lock(mutex_);
        if (!transport_.SetMode(mode)) return E_INVALIDARG;
    }
    commanded_.notify_all();
    return S_OK;
}

long DvCamcorderDevice::TransportMode() const {
    std::lock_guard lock(mutex_);
    return IsVcr() ? transport_.Mode() : ED_MODE_STOP;
}

std::optional<DvTimecode> DvCamcorderDevice::TimecodeOf(std::uint64_t tapeFrame) {
    if (synth_) {
        const auto at = synth_->locate(tapeFrame);
        if (!at) return std::nullopt;
        const DvRecording& r = config_.tape.recordings[at->recording];
        if (!r.timecode) return std::nullopt;
        return DvTapeSynthesiser::TapeTimecode(tapeFrame, r.system);
    }
    std::vector<std::uint8_t> frame;
    std::string error;
    if (!ReadFileFrame(tapeFrame, frame, error)) return std::nullopt;
    const DvTimecode tc = DvReadTimecode(frame.data(), 0);
    if (tc.hours & 0x80) return std::nullopt;
    return tc;
}

std::uint64_t DvCamcorderDevice::CurrentFrame() const {
    if (IsVcr()) return transport_.Position();
    const std::uint64_t last = cameraFrames_ == 0 ? 0 : cameraFrames_ - 1;
    return synth_ ? last % length_ : std::min(last, length_ - 1);
}

DvTapeSystem DvCamcorderDevice::SystemOf(std::uint64_t tapeFrame) const {
    if (!synth_)
        return fileFrameBytes_ == kDvFrameBytes625 ? DvTapeSystem::Pal625 : DvTapeSystem::Ntsc525;
    const auto at = synth_->locate(tapeFrame);
    return at ? config_.tape.recordings[at->recording].system : DvTapeSystem::Pal625;
}

std::optional<DvTimecode> DvCamcorderDevice::CurrentTimecode() {
    std::lock_guard lock(mutex_);
    if (IsVcr() || !synth_) return TimecodeOf(CurrentFrame());
    // Camera mode counts its own frames over the looping tape.
    const std::uint64_t tapeFrame = CurrentFrame();
    const DvRecording& r = config_.tape.recordings[synth_->locate(tapeFrame)->recording];
    if (!r.timecode) return std::nullopt;
    return DvTapeSynthesiser::TapeTimecode(cameraFrames_ == 0 ? 0 : cameraFrames_ - 1, r.system);
}

DvTapeSystem DvCamcorderDevice::CurrentSystem() const {
    std::lock_guard lock(mutex_);
    return SystemOf(CurrentFrame());
}

void DvCamcorderDevice::WaitWhileStopped(const std::atomic<bool>& cancel) {
    std::unique_lock lock(mutex_);
    commanded_.wait(lock, [&] { return cancel || !plugged_ || !IsVcr() || transport_.Mode() != ED_MODE_STOP;
    });
}

void DvCamcorderDevice::Wake() {
    std::lock_guard lock(mutex_);
    commanded_.notify_all();
}

} // namespace talvence
