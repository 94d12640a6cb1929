#include "tests/platform/media/filters/dv/DvTestMedia.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

namespace talvence::dvcodec::testing {

const std::filesystem::path& ClipDir() {
    static const TempDir dir;
    return dir.path();
}

const std::filesystem::path& Clip(const ClipRecipe& recipe) {
    static std::map<std::tuple<bool, int, int, bool>, std::filesystem::path> made;
    const auto key = std::make_tuple(recipe.pal, recipe.sampleRate, recipe.frames, recipe.wide);
    if (auto it = made.find(key); it != made.end()) return it->second;

    const std::filesystem::path file =
        ClipDir() / ((recipe.pal ? "pal-" : "ntsc-") + std::to_string(recipe.sampleRate) + "-" +
                     std::to_string(recipe.frames) + (recipe.wide ? "-wide" : "") + ".dv");
    const std::string video =
        recipe.pal ? "testsrc=size=720x576:rate=25" : "testsrc=size=720x480:rate=30000/1001";
    // A duration rather than a frame count: the DV muxer needs each frame's audio in full.
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.6f",
                  recipe.pal ? recipe.frames / 25.0 : recipe.frames * 1001.0 / 30000.0);
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i " + video +
        " -f lavfi -i sine=sample_rate=" + std::to_string(recipe.sampleRate) +
        ":frequency=997 -t " + duration + " -pix_fmt " + (recipe.pal ? "yuv420p" : "yuv411p") +
        (recipe.wide ? " -aspect 16:9" : "") + " -c:v dvvideo -c:a pcm_s16le -ac 2 -f dv " +
        Quote(file);
    static const std::filesystem::path none;
    if (RunTool(command).status != 0) return none;
    return made.emplace(key, file).first->second;
}

std::vector<Bytes> SplitFrames(const Bytes& file, std::size_t frameBytes) {
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at + frameBytes <= file.size(); at += frameBytes)
        frames.emplace_back(file.begin() + std::ptrdiff_t(at),
                            file.begin() + std::ptrdiff_t(at + frameBytes));
    return frames;
}

std::vector<Bytes> ClipFrames(const ClipRecipe& recipe) {
    const std::filesystem::path& file = Clip(recipe);
    if (file.empty()) return {};
    return SplitFrames(ReadBytes(file), recipe.pal ? 144000 : 120000);
}

Bytes FfmpegOutput(const std::filesystem::path& dvFile, const std::string& outputArgs) {
    static int serial = 0;
    const std::filesystem::path out = ClipDir() / ("out-" + std::to_string(++serial) + ".raw");
    const std::string command = "ffmpeg -nostdin -v error -y -f dv -i " + Quote(dvFile) + " " +
                                outputArgs + " " + Quote(out);
    if (RunTool(command).status != 0) return {};
    Bytes bytes = ReadBytes(out);
    std::filesystem::remove(out);
    return bytes;
}

double Psnr(const Bytes& a, const Bytes& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace talvence::dvcodec::testing
