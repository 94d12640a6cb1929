// The suite's stand-in for libFuzzer: runs a fuzz target's LLVMFuzzerTestOneInput over every
// file it is given (folders are read whole, in name order), then over mutations of them from a
// fixed seed, for a bounded number of runs or seconds. The target's own checks and the
// sanitizers are the assertions: a crash ends the program, and the input that caused it is kept
// as a file so that `fuzz_<name> FILE` (or libFuzzer) replays it.
//
//   fuzz_<name> [--runs N] [--seconds S] [--seed N] [--keep DIR] PATH...
//
// Thread: one; the signal handler only reads what the main thread published before the run.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

// What the crash handler writes out: the input of the run in progress.
const std::uint8_t* gInput = nullptr;
std::size_t gInputSize = 0;
char gCrashPath[4096] = "crash-input";

void WriteAll(int fd, const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(fd, text, left);
        if (n <= 0) return;
        text += n;
        left -= std::size_t(n);
    }
}

// Async-signal-safe: open, write, close.
void KeepInput() {
    const int fd = ::open(gCrashPath, O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) return;
    std::size_t done = 0;
    while (done < gInputSize) {
        const ssize_t n = ::write(fd, gInput + done, gInputSize - done);
        if (n <= 0) break;
        done += std::size_t(n);
    }
    ::close(fd);
    WriteAll(2, "fuzz: the input that crashed is kept in ");
    WriteAll(2, gCrashPath);
    WriteAll(2, "\n");
}

void OnCrash(int signal) {
    if (gInput != nullptr) KeepInput();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A sanitizer that finds a fault ends the program itself, after calling back.
void OnSanitizerDeath() {
    if (gInput != nullptr) KeepInput();
}

} // namespace

extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

// Signals a sanitizer already handles are left to it: it reports, then calls back.
void CatchCrashes() {
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(OnSanitizerDeath);
    for (int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            !(current.sa_flags & SA_SIGINFO))
            std::signal(signal, OnCrash);
    }
}

// Runs one input from a buffer of exactly its size, so that reading past its end is caught.
void RunOne(const Bytes& input) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[std::max<std::size_t>(input.size(), 1)]);
    std::copy(input.begin(), input.end(), exact.get());
    gInput = exact.get();
    gInputSize = input.size();
    LLVMFuzzerTestOneInput(exact.get(), input.size());
    gInput = nullptr;
    gInputSize = 0;
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Byte-level mutations of the kind that damaged files show: flipped bits, bytes set to edge
// values, 32-bit fields (sizes, counts) set to edge values, truncation, inserted, removed and
// repeated stretches.
class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : random_(seed) {}

    std::size_t pick(std::size_t low, std::size_t high) {
        return std::uniform_int_distribution<std::size_t>(low, high)(random_);
    }

    void mutate(Bytes& bytes) {
        for (std::size_t steps = pick(1, 4); steps > 0; --steps)
            step(bytes);
    }

private:
    void step(Bytes& bytes) {
        static constexpr std::uint8_t kEdgeBytes[] = {0x00, 0x01, 0x7F, 0x80, 0xFF, '\n', '"', '['};
        static constexpr std::uint32_t kEdgeWords[] = {
            0, 1, 7, 8, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF8};
        if (bytes.empty()) {
            bytes.resize(pick(1, 16), std::uint8_t(pick(0, 255)));
            return;
        }
        const std::size_t at = pick(0, bytes.size() - 1);
        switch (pick(0, 7)) {
        case 0:
            bytes[at] ^= std::uint8_t(1u << pick(0, 7));
            break;
        case 1:
            bytes[at] = std::uint8_t(pick(0, 255));
            break;
        case 2:
            bytes[at] = kEdgeBytes[pick(0, std::size(kEdgeBytes) - 1)];
            break;
        case 3:
            if (at + 4 <= bytes.size()) {
                const std::uint32_t v = kEdgeWords[pick(0, std::size(kEdgeWords) - 1)];
                for (int i = 0; i < 4; ++i)
                    bytes[at + i] = std::uint8_t(v >> (8 * i));
            }
            break;
        case 4:
            bytes.resize(at);
            break;
        case 5: {
            Bytes inserted(pick(1, 16));
            for (auto& b : inserted)
                b = std::uint8_t(pick(0, 255));
            bytes.insert(bytes.begin() + std::ptrdiff_t(at), inserted.begin(), inserted.end());
            break;
        }
        case 6:
            bytes.erase(bytes.begin() + std::ptrdiff_t(at),
                        bytes.begin() + std::ptrdiff_t(std::min(bytes.size(), at + pick(1, 64))));
            break;
        default: {
            const std::size_t length = std::min(bytes.size() - at, pick(1, 64));
            const Bytes copy(bytes.begin() + std::ptrdiff_t(at),
                             bytes.begin() + std::ptrdiff_t(at + length));
            const std::size_t to = pick(0, bytes.size());
            bytes.insert(bytes.begin() + std::ptrdiff_t(to), copy.begin(), copy.end());
            break;
        }
        }
    }

    std::mt19937 random_;
};

int Usage() {
    std::fprintf(stderr, "usage: fuzz_TARGET [--runs N] [--seconds S] [--seed N] [--keep DIR] "
                         "PATH...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    long runs = 0;
    double seconds = 0;
    std::uint32_t seed = 1;
    std::filesystem::path keep = ".";
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--runs" && hasValue)
            runs = std::atol(argv[++i]);
        else if (arg == "--seconds" && hasValue)
            seconds = std::atof(argv[++i]);
        else if (arg == "--seed" && hasValue)
            seed = std::uint32_t(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--keep" && hasValue)
            keep = argv[++i];
        else if (arg.starts_with("--"))
            return Usage();
        else
            paths.emplace_back(arg);
    }

    std::vector<std::filesystem::path> files;
    for (const auto& path : paths) {
        if (std::filesystem::is_directory(path)) {
            std::vector<std::filesystem::path> inside;
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file()) inside.push_back(entry.path());
            std::sort(inside.begin(), inside.end());
            files.insert(files.end(), inside.begin(), inside.end());
        } else if (std::filesystem::is_regular_file(path)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "fuzz: %s is neither a file nor a folder\n", path.c_str());
            return 2;
        }
    }

    // Named after the target, so that targets run side by side keep their own.
    const std::string crashPath =
        (keep / ("crash-" + std::filesystem::path(argv[0]).filename().string())).string();
    if (crashPath.size() >= sizeof gCrashPath) return Usage();
    std::memcpy(gCrashPath, crashPath.c_str(), crashPath.size() + 1);
    CatchCrashes();

    std::vector<Bytes> seeds;
    for (const auto& file : files) {
        seeds.push_back(ReadFile(file));
        RunOne(seeds.back());
    }
    if (seeds.empty()) seeds.emplace_back();

    // Half the time a mutant is mutated further, so damage accumulates over a few steps.
    Mutator mutator(seed);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    Bytes input;
    long done = 0;
    for (; done < runs; ++done) {
        if (seconds > 0 && std::chrono::steady_clock::now() >= deadline) break;
        if (input.empty() || mutator.pick(0, 1) == 0)
            input = seeds[mutator.pick(0, seeds.size() - 1)];
        mutator.mutate(input);
        RunOne(input);
    }
    std::printf("fuzz: %zu files and %ld mutations (seed %u) ran without a fault\n", files.size(),
                done, seed);
    return 0;
}
