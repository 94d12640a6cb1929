// Makes the seed corpora under tests/fuzz/corpus/ with the project's own writers: DV frames with
// the packs and audio the virtual camcorder writes, AVI files from the AVI writer (with small
// frames, so that the files stay small), a store saved by the registry, a scene file in the
// writer's layout. Run by hand when a format changes:
//
//   fuzz_make_seeds tests/fuzz/corpus
//
// Thread: one.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/media/filters/avi/AviFileWriter.h"
#include "platform/media/filters/dv/DvAudio.h"
#include "platform/registry/Registry.h"
#include "postproc/ecrire_scnUnit.h"
#include "tests/fuzz/DvFuzzInput.h"
#include "tests/support/AviTestFiles.h"
#include "tests/support/DvTestFrames.h"

using namespace talvence;
using namespace talvence::dvcodec;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

namespace {

void Save(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A frame of the recipe with a tone in its audio (16-bit at the recipe's rate, or 12-bit).
Bytes Frame(testing::DvFrameRecipe recipe, int frameIndex) {
    Bytes frame = testing::MakeDvFrame(recipe);
    if (!recipe.audioPack) return frame;
    const DvSystem system = recipe.pal ? DvSystem::Pal625 : DvSystem::Ntsc525;
    const int samples = AudioSamplesForFrame(system, recipe.rate, std::uint64_t(frameIndex));
    std::vector<std::int16_t> pcm(2 * std::size_t(samples));
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = std::int16_t(8000 * std::sin(double(i) * 0.05));
    const DvAudioStatus status = recipe.bits == 12
                                     ? WriteAudio12(frame, system, pcm, samples)
                                     : WriteAudio(frame, system, recipe.rate, pcm, samples);
    if (status != DvAudioStatus::Ok) {
        std::fprintf(stderr, "cannot write the audio of a seed frame\n");
        std::exit(1);
    }
    return frame;
}

void DvSeeds(const fs::path& dir) {
    testing::DvFrameRecipe pal;
    Bytes first = Frame(pal, 0);
    pal.tc.frames = 5;
    Save(dir / "pal-48k-16bit", fuzz::DvFuzzInputFromFrames({first, Frame(pal, 1)}));

    testing::DvFrameRecipe ntsc;
    ntsc.pal = false;
    ntsc.rate = 32000;
    ntsc.bits = 12;
    ntsc.wide = true;
    Save(dir / "ntsc-32k-12bit-wide",
         fuzz::DvFuzzInputFromFrames({Frame(ntsc, 0), Frame(ntsc, 1)}));

    // Three scenes: a recording date that jumps, then a frame with no date and no audio.
    testing::DvFrameRecipe cut;
    cut.pal = false;
    cut.rate = 44100;
    Bytes a = Frame(cut, 0);
    cut.rec.minute = 30;
    Bytes b = Frame(cut, 1);
    cut.rec.year = -1;
    cut.audioPack = false;
    Save(dir / "ntsc-scene-cuts", fuzz::DvFuzzInputFromFrames({a, b, Frame(cut, 2)}));

    // A frame cut short, as the last one of an interrupted capture.
    Bytes cutShort = fuzz::DvFuzzInputFromFrames({a});
    cutShort.resize(3000);
    Save(dir / "ntsc-cut-short", cutShort);
}

// DV AVI files of three frames whose video chunks are the first 480 bytes of a DV frame.
Bytes DvAvi(const fs::path& scratch, bool typeOne, bool oldIndex) {
    const fs::path path = scratch / "seed.avi";
    DVINFO info{};
    info.dwDVAAuxSrc = AudioSourcePackData(DvSystem::Pal625, 48000, 1920);
    info.dwDVAAuxCtl = AudioControlPackData(DvSystem::Pal625);
    std::vector<AviStreamFormat> streams;
    if (typeOne) {
        streams.push_back(AviDvInterleavedStream(info, 400000, 720, 576));
    } else {
        streams.push_back(AviDvVideoStream(info, 400000, 720, 576));
        streams.push_back(AviAudioStream(PcmWaveFormat(48000, 2)));
    }
    AviWriterOptions options;
    options.oldIndex = oldIndex;
    options.superIndexEntries = 4;
    AviFileWriter writer;
    if (!writer.open(path, streams, options).ok()) std::exit(1);
    const Bytes frame = testing::MakeDvFrame({});
    for (int i = 0; i < 3; ++i) {
        if (!writer.writeSample(0, Bytes(frame.begin(), frame.begin() + 480)).ok()) std::exit(1);
        if (!typeOne && !writer.writeSample(1, Bytes(64, std::uint8_t(i))).ok()) std::exit(1);
    }
    if (!writer.close().ok()) std::exit(1);
    return ReadAll(path);
}

void AviSeeds(const fs::path& dir, const fs::path& scratch) {
    Save(dir / "dv-type1", DvAvi(scratch, true, false));
    Save(dir / "dv-type2-idx1", DvAvi(scratch, false, true));

    // What the writer does not make: streams of every kind in one header, an OpenDML header,
    // a second RIFF segment.
    using namespace talvence::testing;
    Bytes bitmap(40, 0);
    std::copy_n("dvsd", 4, bitmap.begin() + 16);
    bitmap.resize(72, 0); // the bitmap header, then a DV information block
    Save(dir / "hand-built-odml",
         Cat({List("RIFF", "AVI ",
                   {List("LIST", "hdrl",
                         {Leaf("avih", Bytes(56, 0)),
                          List("LIST", "strl",
                               {Strh("iavs", "dvsd"), Leaf("strf", Bytes(32, 0)),
                                Leaf("indx", Bytes(56, 0))}),
                          List("LIST", "strl",
                               {Strh("vids", "dvsd"), Leaf("strf", bitmap),
                                Leaf("ix01", Bytes(24, 0))}),
                          List("LIST", "strl", {Strh("auds", "    "), Leaf("strf", Bytes(18, 0))}),
                          List("LIST", "strl", {Strh("txts", "none")}),
                          List("LIST", "odml", {Leaf("dmlh", Bytes(248, 0))})}),
                    Leaf("JUNK", Bytes(20, 0)),
                    List("LIST", "movi", {Leaf("00dc", Bytes(100, 0x55))}),
                    Leaf("idx1", Bytes(16, 0))}),
              List("RIFF", "AVIX", {List("LIST", "movi", {Leaf("00dc", Bytes(100, 0x66))})})}));
}

void RegSeeds(const fs::path& dir, const fs::path& scratch) {
    ::setenv("TALVENCE_REGISTRY_DIR", scratch.c_str(), 1);
    {
        registry::TRegistry store;
        store.OpenKey("\\Software\\Brannock\\Talvence", true);
        store.WriteString("Signature", "Talvence 4.1.3 En by Brannock");
        store.WriteInteger("Top", 1234);
        store.WriteInteger("Left", -20);
        store.WriteBinaryData("Zoom", {0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
        store.WriteExpandString("Folder", "%HOME%/Vidéos \"DV\"");
        store.WriteString("", "default value");
        store.CloseKey();
        store.OpenKey("\\Software\\Brannock\\Talvence\\Capture", true);
        store.WriteString("Format", "DV type 2 (with inlay)");
        store.WriteBinaryData("Long", Bytes(40, 0xA5));
        store.CloseKey();
    }
    const Bytes saved = ReadAll(registry::HiveFile(registry::Hive::CurrentUser));
    Save(dir / "saved-store.reg", saved);

    // As regedit exports it: UTF-16LE with a byte-order mark and CRLF line ends.
    Bytes utf16 = {0xFF, 0xFE};
    for (std::uint8_t c : saved) {
        if (c == '\n') utf16.insert(utf16.end(), {'\r', 0});
        if (c >= 0x80) c = '?'; // the seed needs no characters beyond ASCII here
        utf16.insert(utf16.end(), {c, 0});
    }
    Save(dir / "regedit-utf16.reg", utf16);

    const std::string edited = "Windows Registry Editor Version 5.00\r\n\r\n"
                               "; edited by hand\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\r\n"
                               "\"Top\"=-\r\n"
                               "\"Name\"=hex(1):41,00,\\\r\n  42,00,00,00\r\n"
                               "[-HKEY_CURRENT_USER\\Software\\Brannock\\Talvence\\Capture]\r\n";
    Save(dir / "edited-by-hand.reg", Bytes(edited.begin(), edited.end()));
}

void ScnSeeds(const fs::path& dir) {
    const std::string path = "/home/user/Videos/capture 2026-12-09 10.00.00.scn";
    Bytes one = ScnHeaderBytes(path, 1);
    const Bytes first = ScnFirstSceneBytes(path, 251);
    one.insert(one.end(), first.begin(), first.end());
    Save(dir / "one-scene.scn", one);

    Bytes three = ScnHeaderBytes(path, 3);
    three.insert(three.end(), first.begin(), first.end());
    for (auto [s, n] : {std::pair{251u, 40u}, std::pair{291u, 1200u}}) {
        const Bytes later = ScnLaterSceneBytes(s, n);
        three.insert(three.end(), later.begin(), later.end());
    }
    Save(dir / "three-scenes.scn", three);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds CORPUS_DIR\n");
        return 2;
    }
    const fs::path corpus = argv[1];
    const fs::path scratch =
        fs::temp_directory_path() / ("fuzz_make_seeds." + std::to_string(::getpid()));
    fs::create_directories(scratch);
    DvSeeds(corpus / "dvframes");
    AviSeeds(corpus / "aviwalker", scratch);
    RegSeeds(corpus / "regfile", scratch);
    ScnSeeds(corpus / "scnfile");
    fs::remove_all(scratch);
    return 0;
}
