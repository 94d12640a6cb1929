#pragma once

// 16-byte identifiers with the platform's textual form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
// Parsing is constexpr so interface and type identifiers are written as literals and checked by
// the compiler.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace talvence {

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return false;
        return true;
    }
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;

inline constexpr GUID GUID_NULL{};

namespace detail {
constexpr int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace detail

// Accepts "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" with or without braces; hex digits of either case.
constexpr std::optional<GUID> ParseGuid(std::string_view text) {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36) return std::nullopt;
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    std::uint8_t bytes[16] = {};
    std::size_t pos = 0;
    for (int i = 0; i < 16; ++i) {
        if (pos == 8 || pos == 13 || pos == 18 || pos == 23) ++pos;
        int hi = detail::hexDigit(text[pos]);
        int lo = detail::hexDigit(text[pos + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
        pos += 2;
    }
    GUID g;
    g.Data1 = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
              (std::uint32_t(bytes[2]) << 8) | bytes[3];
    g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = bytes[8 + i];
    return g;
}

// For literals: a malformed text is a compile error in constant evaluation.
consteval GUID MakeGuid(std::string_view text) {
    auto g = ParseGuid(text);
    if (!g) throw "malformed GUID literal";
    return *g;
}

// Upper-case, with braces: the registry and property-bag form.
std::string FormatGuid(const GUID& g);

} // namespace talvence

template <> struct std::hash<talvence::GUID> {
    std::size_t operator()(const talvence::GUID& g) const noexcept {
        std::uint64_t a = (std::uint64_t(g.Data1) << 32) | (std::uint64_t(g.Data2) << 16) | g.Data3;
        std::uint64_t b = 0;
        for (int i = 0; i < 8; ++i)
            b = (b << 8) | g.Data4[i];
        return std::hash<std::uint64_t>{}(a * 0x9E3779B97F4A7C15ull ^ b);
    }
};
