#pragma once
// A font as the application stores and hands it around: face, size in points,
// colour as 0x00BBGGRR, and the four style flags.

#include <cstdint>
#include <string>

namespace talvence {

struct TFontSpec {
    std::string name = "Arial";
    std::int32_t size = 10;  // points
    std::uint32_t color = 0; // 0x00BBGGRR
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;

    bool operator==(const TFontSpec&) const = default;
};

} // namespace talvence
