#include "tests/support/AviTestFiles.h"

#include <algorithm>
#include <stdexcept>

namespace talvence::testing {

Bytes Le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

Bytes Fcc(std::string_view fourcc) {
    if (fourcc.size() != 4) throw std::invalid_argument("fourcc of 4 characters expected");
    return Bytes(fourcc.begin(), fourcc.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Leaf(std::string_view id, const Bytes& data, std::optional<std::uint32_t> declared) {
    Bytes out = Cat({Fcc(id), Le32(declared.value_or(std::uint32_t(data.size()))), data});
    if (data.size() % 2) out.push_back(0);
    return out;
}

Bytes List(std::string_view id, std::string_view type, std::initializer_list<Bytes> children,
           std::optional<std::uint32_t> declared) {
    Bytes data = Fcc(type);
    for (const Bytes& c : children)
        data.insert(data.end(), c.begin(), c.end());
    return Leaf(id, data, declared);
}

Bytes Strh(std::string_view type, std::string_view marker, std::uint32_t scale,
           std::uint32_t rate) {
    Bytes data = Cat({Fcc(type), Fcc(marker), Bytes(12, 0), Le32(scale), Le32(rate)});
    data.resize(56, 0);
    return Leaf("strh", data);
}

std::uint64_t ScaleFieldOf(const Bytes& file, std::string_view marker) {
    const auto it = std::search(file.begin(), file.end(), marker.begin(), marker.end());
    if (it == file.end()) throw std::invalid_argument("marker not in file");
    return std::uint64_t(it - file.begin()) - 4 + 20;
}

std::pair<std::uint32_t, std::uint32_t> RateFieldsAt(const Bytes& file, std::uint64_t offset) {
    auto le32 = [&](std::uint64_t at) {
        return std::uint32_t(file.at(at)) | std::uint32_t(file.at(at + 1)) << 8 |
               std::uint32_t(file.at(at + 2)) << 16 | std::uint32_t(file.at(at + 3)) << 24;
    };
    return {le32(offset), le32(offset + 4)};
}

} // namespace talvence::testing
