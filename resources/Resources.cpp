#include "resources/Resources.h"

namespace talvence::resources {

std::span<const std::uint8_t> FindResource(std::string_view name) {
    for (const EmbeddedBlob* b = kEmbeddedBlobs; b->name != nullptr; ++b) {
        if (name == b->name) return {b->data, b->size};
    }
    return {};
}

} // namespace talvence::resources
