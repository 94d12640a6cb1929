// CPU time of writing DV frames with sound as DV type 2 and DV type 1 with
// the AVI writer, next to `ffmpeg -i clip.dv -c copy -f avi` on the same
// frames in the same run. The clip is made with ffmpeg first and removed at
// the end (about 144 kB a frame; 10000 frames take 1.4 GB of the folder).
//
//   bench_avi_writer [--frames N] [--dir FOLDER] [--repeat R]
//
// CPU time is user + system: ours from CLOCK_PROCESS_CPUTIME_ID around the
// writing (reading the input included, as ffmpeg reads it too), ffmpeg's
// from the child's rusage. The best of R runs is kept.

#include "platform/media/filters/avi/AviFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace talvence;

constexpr std::size_t kDvFrameBytes = 144000;
constexpr std::size_t kPcmFrameBytes = 1920 * 4;

struct Timing {
    double cpu = 0;  // seconds, user + system
    double wall = 0; // seconds
};

double Seconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double Seconds(const timeval& tv) {
    return double(tv.tv_sec) + double(tv.tv_usec) * 1e-6;
}

// Runs a command through /bin/sh; its CPU time from the child's rusage.
bool RunTimed(const std::string& command, Timing& timing) {
    const double wall0 = Seconds(CLOCK_MONOTONIC);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    timing.wall = Seconds(CLOCK_MONOTONIC) - wall0;
    timing.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ReadFull(int fd, std::uint8_t* to, std::size_t n) {
    while (n > 0) {
        const ssize_t r = read(fd, to, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        to += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

// Writes `frames` DV frames (and their sound for type 2) read from the clip.
bool WriteWithWriter(bool typeOne, const std::filesystem::path& dv,
                     const std::filesystem::path& pcm, const std::filesystem::path& out,
                     std::size_t frames, Timing& timing) {
    const double cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    const double wall0 = Seconds(CLOCK_MONOTONIC);
    const int dvFd = open(dv.c_str(), O_RDONLY | O_CLOEXEC);
    const int pcmFd = typeOne ? -1 : open(pcm.c_str(), O_RDONLY | O_CLOEXEC);
    if (dvFd < 0 || (!typeOne && pcmFd < 0)) return false;
    std::vector<std::uint8_t> frame(kDvFrameBytes), sound(kPcmFrameBytes);

    std::vector<AviStreamFormat> streams;
    if (typeOne) {
        streams.push_back(AviDvInterleavedStream(DVINFO{}, 400000, 720, 576));
    } else {
        streams.push_back(AviDvVideoStream(DVINFO{}, 400000, 720, 576));
        streams.push_back(
            AviAudioStream(WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0}));
    }
    AviFileWriter writer;
    AviWriterStatus status = writer.open(out, streams);
    for (std::size_t i = 0; i < frames && status.ok(); ++i) {
        if (!ReadFull(dvFd, frame.data(), frame.size())) break;
        status = writer.writeSample(0, frame);
        if (!typeOne && status.ok() && ReadFull(pcmFd, sound.data(), sound.size()))
            status = writer.writeSample(1, sound);
    }
    const AviWriterStatus closed = writer.close();
    close(dvFd);
    if (pcmFd >= 0) close(pcmFd);
    timing.cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    timing.wall = Seconds(CLOCK_MONOTONIC) - wall0;
    if (!status.ok() || !closed.ok()) {
        std::fprintf(stderr, "writer: %s\n", (status.ok() ? closed : status).message.c_str());
        return false;
    }
    return true;
}

std::string Quote(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

} // namespace

int main(int argc, char** argv) {
    std::size_t frames = 10000;
    std::filesystem::path dir = "/tmp";
    int repeat = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--frames")
            frames = std::strtoul(argv[i + 1], nullptr, 10);
        else if (flag == "--dir")
            dir = argv[i + 1];
        else if (flag == "--repeat")
            repeat = std::max(1, std::atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "usage: %s [--frames N] [--dir FOLDER] [--repeat R]\n", argv[0]);
            return 2;
        }
    }
    const std::filesystem::path work = dir / ("talvence-avi-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(work);
    const auto dv = work / "clip.dv", pcm = work / "clip.pcm", out = work / "out.avi";

    std::printf("making %zu DV frames with ffmpeg in %s ...\n", frames, work.c_str());
    Timing make;
    const std::string seconds = std::to_string(double(frames) / 25.0);
    if (!RunTimed("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi "
                  "-i sine=sample_rate=48000 -ac 2 -t " +
                      seconds + " -pix_fmt yuv420p -c:v dvvideo -c:a pcm_s16le -f dv " + Quote(dv),
                  make) ||
        // The sound as the DV splitter hands it on: 16-bit stereo, one chunk a frame.
        !RunTimed("ffmpeg -nostdin -v error -y -i " + Quote(dv) + " -vn -f s16le " + Quote(pcm),
                  make)) {
        std::fprintf(stderr, "ffmpeg could not make the clip\n");
        std::filesystem::remove_all(work);
        return 1;
    }

    Timing best[3];
    for (auto& t : best)
        t.cpu = t.wall = 1e30;
    bool ok = true;
    for (int r = 0; r < repeat && ok; ++r) {
        Timing t;
        ok = RunTimed(
            "ffmpeg -nostdin -v error -y -i " + Quote(dv) + " -c copy -f avi " + Quote(out), t);
        best[0].cpu = std::min(best[0].cpu, t.cpu);
        best[0].wall = std::min(best[0].wall, t.wall);
        std::filesystem::remove(out);
        for (int k = 1; k <= 2 && ok; ++k) {
            ok = WriteWithWriter(k == 2, dv, pcm, out, frames, t);
            best[k].cpu = std::min(best[k].cpu, t.cpu);
            best[k].wall = std::min(best[k].wall, t.wall);
            std::filesystem::remove(out);
        }
    }
    std::filesystem::remove_all(work);
    if (!ok) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }

    const char* names[3] = {"ffmpeg -c copy -f avi", "AviFileWriter DV type 2",
                            "AviFileWriter DV type 1"};
    std::printf("%zu frames (%.0f MB), best of %d\n", frames, frames * 144000.0 / 1e6, repeat);
    std::printf("%-26s %10s %10s %14s\n", "", "CPU s", "wall s", "CPU vs ffmpeg");
    for (int k = 0; k < 3; ++k)
        std::printf("%-26s %10.3f %10.3f %13.2fx\n", names[k], best[k].cpu, best[k].wall,
                    best[k].cpu / best[0].cpu);
    return 0;
}
