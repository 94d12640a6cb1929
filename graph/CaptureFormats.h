#pragma once
// The capture formats, one row each: the text of the format list and the index stored as
// "Capture Format", the file it writes, what picking it does to the audio choice, and the graph
// recipe that builds it for each source kind. The format list, the file names, capture control
// and the graph module all read these rows; adding a format is a row here and the builders of
// its recipes in the graph module, adding a source kind a column of recipes and their builders.

#include "graph/videosources.h"
#include "platform/media/MediaGuids.h"
#include "resources/Strings.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace talvence {

enum CaptureFormat : int {
    cfNative = 0,
    cfDvType1 = 1,
    cfDvType2 = 2,
    cfDvType2Inlay = 3,
    cfWmvInlay = 4,
    cfImageByImage = 5,
};

// The capture graphs, each named after the branch it adds to a preview: A raw DV, D DV type 2
// re-encoded from the inlaid picture, W Windows Media, I image by image, N the source's own
// stream. The graph module holds one builder per recipe it has built.
enum class CaptureRecipe : std::uint8_t {
    None,
    A1,    // DV type 1: the interleaved stream as received
    A2,    // DV type 2 split from the received stream
    Ddv,   // DV camcorder, picture re-encoded with the inlay
    Dmbx,  // MovieBox, decoded and encoded to DV
    Dpin,  // capture pin, encoded to DV
    Dmpg,  // MPEG-2 stream, decoded and encoded to DV
    W,     // Windows Media from the inlaid picture
    Idv,   // image by image from the received DV
    Ienc,  // image by image encoded to DV (MovieBox, MPEG-2 stream)
    Iraw,  // image by image of the capture pin's own video
    Navi,  // the capture pin's video in AVI
    Ndump, // the program stream written as received
};

// The recipe encodes a picture that was not DV to DV at the chosen TV standard ("Standard DV").
constexpr bool EncodesPictureToDv(CaptureRecipe recipe) {
    return recipe == CaptureRecipe::Dmbx || recipe == CaptureRecipe::Dpin ||
           recipe == CaptureRecipe::Dmpg || recipe == CaptureRecipe::Ienc;
}
// The recipe records its sound through the ACM wrapper into the DV muxer, at the DV recording
// rate the user chose ("FrequenceDV").
constexpr bool ResamplesToDvRate(CaptureRecipe recipe) {
    return recipe == CaptureRecipe::Dmbx || recipe == CaptureRecipe::Dpin ||
           recipe == CaptureRecipe::Dmpg;
}

// What picking the format does to the audio choice.
enum class FormatAudio : std::uint8_t {
    None,   // no sound at all: "No Audio", both audio toggles off, the audio group disabled
    Stream, // the source's own sound only: its stream-audio entry, listening on, group disabled
    Chosen, // the user's choice
};

inline constexpr std::size_t kSourceKinds = 4; // skDv .. skMpeg2Stream; skNone has no recipes

struct CaptureFormatRow {
    CaptureFormat index;
    const char* text;
    const char* extension;       // of the file written
    const char* streamExtension; // for sources that deliver a program stream
    const GUID* writerSubtype;   // the writer the recipes make (SetOutputFileName)
    FormatAudio audio;
    bool windowsMedia; // needs the Windows Media runtime; the writer is configured with a profile
    bool imageByImage; // one frame per grab; the file's frame rate is rewritten at the end
    std::array<CaptureRecipe, kSourceKinds> recipes; // by SourceKind

    CaptureRecipe RecipeFor(SourceKind kind) const {
        const auto k = static_cast<std::size_t>(kind);
        return k < recipes.size() ? recipes[k] : CaptureRecipe::None;
    }
    // Whether the format list offers the format for the kind (Windows Media also needs the
    // runtime).
    bool OfferedFor(SourceKind kind) const { return RecipeFor(kind) != CaptureRecipe::None; }
};

namespace capture_format_rows {
using R = CaptureRecipe;
// Recipes by kind:                    skDv     skMovieBox skCapturePin skMpeg2Stream
inline constexpr std::array<CaptureFormatRow, 6> kRows{{
    {cfNative, strings::kFormatNative, ".avi", ".mpg", &MEDIASUBTYPE_Avi, FormatAudio::Stream,
     false, false, {R::None, R::Ndump, R::Navi, R::Ndump}},
    {cfDvType1, strings::kFormatDvType1, ".avi", ".avi", &MEDIASUBTYPE_Avi, FormatAudio::Stream,
     false, false, {R::A1, R::None, R::None, R::None}},
    {cfDvType2, strings::kFormatDvType2, ".avi", ".avi", &MEDIASUBTYPE_Avi, FormatAudio::Stream,
     false, false, {R::A2, R::None, R::None, R::None}},
    {cfImageByImage, strings::kFormatImageByImage, ".avi", ".avi", &MEDIASUBTYPE_Avi,
     FormatAudio::None, false, true, {R::Idv, R::Ienc, R::Iraw, R::Ienc}},
    {cfDvType2Inlay, strings::kFormatDvType2Inlay, ".avi", ".avi", &MEDIASUBTYPE_Avi,
     FormatAudio::Chosen, false, false, {R::Ddv, R::Dmbx, R::Dpin, R::Dmpg}},
    {cfWmvInlay, strings::kFormatWmvInlay, ".wmv", ".wmv", &MEDIASUBTYPE_Asf, FormatAudio::Chosen,
     true, false, {R::W, R::W, R::W, R::W}},
}};
} // namespace capture_format_rows

// Every format, in the order the format list offers them.
inline constexpr const std::array<CaptureFormatRow, 6>& kCaptureFormats = capture_format_rows::kRows;

// The row of a "Capture Format" index; null for an index that is no format.
constexpr const CaptureFormatRow* CaptureFormatRowOf(int index) {
    for (const CaptureFormatRow& row : kCaptureFormats)
        if (row.index == index) return &row;
    return nullptr;
}

constexpr CaptureRecipe CaptureRecipeFor(SourceKind kind, int format) {
    const CaptureFormatRow* row = CaptureFormatRowOf(format);
    return row ? row->RecipeFor(kind) : CaptureRecipe::None;
}

// Sources that deliver an MPEG-2 program stream.
constexpr bool IsProgramStreamKind(SourceKind kind) {
    return kind == SourceKind::skMovieBox || kind == SourceKind::skMpeg2Stream;
}

} // namespace talvence
