#pragma once
// Hand-built RIFF trees for the AVI tests, and where a file keeps its rate fields; the file and
// tool helpers come with them.

#include "tests/support/TestFiles.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvence::testing {

// RIFF pieces. `declared` replaces the size field (the data stays as given).
Bytes Le32(std::uint32_t v);
Bytes Fcc(std::string_view fourcc);
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes Leaf(std::string_view id, const Bytes& data, std::optional<std::uint32_t> declared = {});
Bytes List(std::string_view id, std::string_view type, std::initializer_list<Bytes> children,
           std::optional<std::uint32_t> declared = {});
// A 56-byte "strh" chunk of the given fccType; fccHandler is `marker`, so a
// test can find the header with ScaleFieldOf.
Bytes Strh(std::string_view type, std::string_view marker, std::uint32_t scale = 1,
           std::uint32_t rate = 25);
// Offset of dwScale in the stream header whose fccHandler is marker.
std::uint64_t ScaleFieldOf(const Bytes& file, std::string_view marker);
// dwScale and dwRate as stored at offset.
std::pair<std::uint32_t, std::uint32_t> RateFieldsAt(const Bytes& file, std::uint64_t offset);

} // namespace talvence::testing
