// Makes the seed corpora under tests/fuzz/corpus/ with the project's own writers: DV frames with
// the packs and audio the virtual camcorder writes, AVI files from the AVI writer (with small
// frames, so that the files stay small), a store saved by the registry, a scene file in the
// writer's layout, MPEG-2 program streams of the virtual encoder box, whole and damaged. Run by
// hand when a format changes:
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

#include "platform/devices/virtual/MpegBoxStream.h"
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

// A program stream cut into its units: pack headers, system headers, PES packets and the end
// code, each with its bytes; what lies between them (nothing in a sound stream) is a unit too.
struct PsUnit {
    std::uint8_t code; // the start code's last byte; 0 for bytes that are no unit
    Bytes bytes;
};

std::vector<PsUnit> PsUnits(const Bytes& ps) {
    std::vector<PsUnit> units;
    std::size_t at = 0;
    while (at + 4 <= ps.size()) {
        if (ps[at] != 0 || ps[at + 1] != 0 || ps[at + 2] != 1) {
            std::fprintf(stderr, "the box's stream has no unit at %zu\n", at);
            std::exit(1);
        }
        const std::uint8_t code = ps[at + 3];
        std::size_t length = 4;
        if (code == 0xBA && at + 14 <= ps.size())
            length = 14 + (ps[at + 13] & 7); // MPEG-2 pack header and its stuffing
        else if (code != 0xB9 && at + 6 <= ps.size())
            length = 6 + (std::size_t(ps[at + 4]) << 8 | ps[at + 5]);
        length = std::min(length, ps.size() - at);
        units.push_back({code, Bytes(ps.begin() + std::ptrdiff_t(at),
                                     ps.begin() + std::ptrdiff_t(at + length))});
        at += length;
    }
    return units;
}

// The units from the start of the stream up to about `limit` bytes, whole packs only.
Bytes Head(const std::vector<PsUnit>& units, std::size_t limit) {
    Bytes out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i].code == 0xBA && out.size() >= limit) break;
        out.insert(out.end(), units[i].bytes.begin(), units[i].bytes.end());
    }
    return out;
}

// The fuzz target reads the chunk size from the first byte.
void SaveMpeg(const fs::path& path, std::uint8_t chunking, const Bytes& stream) {
    Bytes seed{chunking};
    seed.insert(seed.end(), stream.begin(), stream.end());
    Save(path, seed);
}

void MpegSeeds(const fs::path& dir) {
    const std::vector<PsUnit> units = PsUnits(MakeMpegBoxProgram(6));
    const Bytes valid = Head(units, 10000);
    SaveMpeg(dir / "valid-small", 3, valid);
    SaveMpeg(dir / "valid-alternate-ids", 0, Head(PsUnits(MakeMpegBoxProgram(6, true)), 6000));

    // Cut in the middle of the second pack's first packet.
    std::size_t second = 0;
    for (std::size_t i = 0, at = 0, packs = 0; i < units.size(); at += units[i++].bytes.size())
        if (units[i].code == 0xBA && ++packs == 2) {
            second = at + units[i].bytes.size() + 20;
            break;
        }
    SaveMpeg(dir / "cut-mid-pack", 9, Bytes(valid.begin(), valid.begin() + std::ptrdiff_t(second)));

    // The first packet of the second pack says it is longer than the pack, and the last packet
    // says it goes past the end of the stream.
    const std::vector<PsUnit> validUnits = PsUnits(valid);
    std::size_t firstOfSecond = 0, lastPacket = 0;
    for (std::size_t i = 0, packs = 0; i < validUnits.size(); ++i) {
        if (validUnits[i].code == 0xBA) ++packs;
        if (validUnits[i].code < 0xC0) continue;
        if (packs == 2 && !firstOfSecond) firstOfSecond = i;
        lastPacket = i;
    }
    Bytes overlong, garbage, noVideo;
    std::uint32_t noise = 0x9E3779B9;
    for (std::size_t i = 0; i < validUnits.size(); ++i) {
        const PsUnit& unit = validUnits[i];
        Bytes bytes = unit.bytes;
        if (i == firstOfSecond || i == lastPacket) {
            const std::size_t claimed = std::min<std::size_t>(bytes.size() + 3000, 0xFFFF);
            bytes[4] = std::uint8_t(claimed >> 8);
            bytes[5] = std::uint8_t(claimed);
        }
        overlong.insert(overlong.end(), bytes.begin(), bytes.end());
        if (unit.code == 0xBA) {
            // Bytes that are no start code, and one false start, before every pack.
            for (int i = 0; i < 37; ++i) {
                noise = noise * 1664525 + 1013904223;
                garbage.push_back(std::uint8_t(noise >> 24 | 0x01));
            }
            garbage.insert(garbage.end(), {0x00, 0x00, 0x01, 0x42, 0x00, 0x00});
        }
        garbage.insert(garbage.end(), unit.bytes.begin(), unit.bytes.end());
        if (unit.code < 0xE0 || unit.code > 0xEF)
            noVideo.insert(noVideo.end(), unit.bytes.begin(), unit.bytes.end());
    }
    SaveMpeg(dir / "pes-length-past-pack", 17, overlong);
    SaveMpeg(dir / "garbage-between-packs", 40, garbage);
    SaveMpeg(dir / "no-video", 5, Head(PsUnits(noVideo), 8000));
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
    MpegSeeds(corpus / "mpegps");
    fs::remove_all(scratch);
    return 0;
}
