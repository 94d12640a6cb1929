#pragma once
// Binary resources compiled into the program (wave sounds, pictures), found by name.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace talvence::resources {

struct EmbeddedBlob {
    const char* name;
    const unsigned char* data;
    std::size_t size;
};

// Terminated by an entry whose name is null. Generated at build time.
extern const EmbeddedBlob kEmbeddedBlobs[];

// The bytes of the resource `name`, or an empty span when there is none.
std::span<const std::uint8_t> FindResource(std::string_view name);

} // namespace talvence::resources
