// The DV reader of talvence-cli: dvinfo over the input written as a file. An input that starts
// with "RIFF" is the file itself (an AVI, read through libavformat); any other is a raw DV
// file of the input's frames (DvFuzzInput.h), which the reader frames by their headers again.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "tests/fuzz/DvFuzzInput.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tools/talvence-cli/DvCommands.h"

using namespace talvence;

namespace {

// One file in a folder of its own, removed at exit.
class InputFile {
public:
    InputFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "dvinfo_fuzz.XXXXXX");
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        folder_ = pattern;
        path_ = folder_ / "input.dv";
    }
    ~InputFile() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::filesystem::path& write(const std::uint8_t* data, std::size_t size) {
        std::ofstream file(path_, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        FUZZ_CHECK(file.good());
        return path_;
    }

private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static InputFile input;
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;

    std::vector<std::uint8_t> raw;
    const bool riff = size >= 4 && std::string(reinterpret_cast<const char*>(data), 4) == "RIFF";
    if (!riff) {
        for (const fuzz::DvFuzzFrame& frame : fuzz::DvFramesFromFuzzInput(data, size))
            raw.insert(raw.end(), frame.bytes.begin(), frame.bytes.end());
    }
    const std::filesystem::path& path =
        riff ? input.write(data, size) : input.write(raw.data(), raw.size());

    const std::string args[] = {path.string()};
    std::ostringstream out, err;
    const int rc = cli::RunDvInfo(args, out, err);
    FUZZ_CHECK(rc == cli::kExitOk || rc == cli::kExitFailed);
    return 0;
}
