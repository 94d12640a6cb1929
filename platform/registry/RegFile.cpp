#include "platform/registry/RegFile.h"

#include <cstdio>

namespace talvence::registry {

namespace {

// Deeper key lines are skipped, so that recursive walks of the tree stay
// bounded whatever the file holds (the system registry stops at 512 too).
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kWrapColumn = 80;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && NamesEqual(s.substr(0, prefix.size()), prefix);
}

// 1 to 8 hex digits, nothing else.
bool ParseHex32(std::string_view s, std::uint32_t& value) {
    if (s.empty() || s.size() > 8) return false;
    value = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0) return false;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

// Text of the file as UTF-8: regedit writes UTF-16LE with a BOM, editors
// UTF-8 with or without one.
std::string DecodeText(std::string_view bytes, bool& ok) {
    ok = true;
    bool utf16 = false;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        bytes.remove_prefix(2);
        utf16 = true;
    } else if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') {
        utf16 = true; // UTF-16LE that lost its BOM
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    if (!utf16) return std::string(bytes);
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    if (bytes.size() % 2 != 0) ok = false;
    return Utf16ToUtf8(units);
}

// Reads a quoted string starting at s[pos] == '"' with the escapes \\ and \".
// A backslash before any other character stands for itself. Returns the
// position after the closing quote, npos when there is none.
std::size_t ParseQuoted(std::string_view s, std::size_t pos, std::string& out) {
    out.clear();
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[++i];
        } else if (c == '"') {
            return i + 1;
        } else {
            out += c;
        }
    }
    return std::string_view::npos;
}

// "00,01,ff" (blanks allowed around the bytes, a trailing comma tolerated).
bool ParseHexBytes(std::string_view body, std::vector<std::uint8_t>& data) {
    data.clear();
    body = Trim(body);
    if (body.empty()) return true;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = body.find(',', start);
        bool last = comma == std::string_view::npos;
        std::string_view token = Trim(body.substr(start, last ? body.npos : comma - start));
        if (token.empty()) return last && start > 0; // only a trailing comma may leave one
        if (token.size() > 2) return false;
        int hi = token.size() == 2 ? HexDigit(token[0]) : 0;
        int lo = HexDigit(token.back());
        if (hi < 0 || lo < 0) return false;
        data.push_back(static_cast<std::uint8_t>((hi << 4) | lo));
        if (last) return true;
        start = comma + 1;
    }
}

// Data part of a value line (after "="); hex continuation lines already
// joined. nullopt when it makes no sense; `remove` is set for "name"=-.
std::optional<RegValue> ParseData(std::string_view data, bool& remove) {
    RegValue value;
    remove = data == "-";
    if (remove) return value;
    if (!data.empty() && data.front() == '"') {
        std::string text;
        std::size_t end = ParseQuoted(data, 0, text);
        if (end != data.size()) return std::nullopt; // unterminated, or text after it
        value.type = static_cast<std::uint32_t>(ValueType::String);
        value.data = StringData(text);
        return value;
    }
    if (StartsWithNoCase(data, "dword:")) {
        std::uint32_t v = 0;
        if (!ParseHex32(Trim(data.substr(6)), v)) return std::nullopt;
        value.type = static_cast<std::uint32_t>(ValueType::DWord);
        value.data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                      static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        return value;
    }
    if (StartsWithNoCase(data, "hex:")) {
        value.type = static_cast<std::uint32_t>(ValueType::Binary);
        data.remove_prefix(4);
    } else if (StartsWithNoCase(data, "hex(")) {
        std::size_t close = data.find("):");
        if (close == std::string_view::npos || !ParseHex32(data.substr(4, close - 4), value.type))
            return std::nullopt;
        data.remove_prefix(close + 2);
    } else {
        return std::nullopt;
    }
    if (!ParseHexBytes(data, value.data)) return std::nullopt;
    return value;
}

// A value on the file's last line, when the file does not end with a line
// break, may have been cut anywhere: a quoted string shows its end by its
// quote and a DWORD by its eighth digit; hex data shows no end at all.
bool MayBeCutShort(std::string_view data) {
    if (StartsWithNoCase(data, "hex")) return true;
    return StartsWithNoCase(data, "dword:") && Trim(data.substr(6)).size() != 8;
}

bool IsContinuationLine(std::string_view line) {
    if (line.empty()) return false;
    for (char c : line) {
        if (HexDigit(c) < 0 && c != ',' && c != '\\' && !IsBlank(c)) return false;
    }
    return true;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Key path of a key line's inside ("HKEY_CURRENT_USER\Software\X"), relative
// to the hive root; nullopt when it is not a path of this hive.
std::optional<std::vector<std::string>> ParseKeyPath(std::string_view inner,
                                                     std::string_view hiveName) {
    std::vector<std::string> components;
    std::size_t start = 0;
    bool first = true;
    while (true) {
        std::size_t end = inner.find('\\', start);
        std::string_view name =
            inner.substr(start, end == std::string_view::npos ? inner.npos : end - start);
        if (first) {
            if (!NamesEqual(name, hiveName)) return std::nullopt;
            first = false;
        } else {
            if (name.empty() || components.size() >= kMaxKeyDepth) return std::nullopt;
            components.emplace_back(name);
        }
        if (end == std::string_view::npos) return components;
        start = end + 1;
    }
}

void AppendEscaped(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// True when a REG_SZ's data comes back byte for byte from the quoted form:
// well-formed UTF-16 with one terminating zero and no control characters.
bool QuotedFormFits(const std::vector<std::uint8_t>& data) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    std::u16string units = Utf16FromData(data);
    if (units.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < units.size(); ++i) {
        char16_t u = units[i];
        if (u < 0x20) return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 2 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

void AppendHex(std::string& out, std::size_t lineStart, const std::vector<std::uint8_t>& data) {
    static const char digits[] = "0123456789abcdef";
    std::size_t column = out.size() - lineStart;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::size_t width = i + 1 < data.size() ? 3 : 2;
        if (i > 0 && column + width + 1 > kWrapColumn) {
            out += "\\\n  ";
            column = 2;
        }
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0xF];
        if (i + 1 < data.size()) out += ',';
        column += width;
    }
}

void AppendValue(std::string& out, const std::string& name, const RegValue& value) {
    std::size_t lineStart = out.size();
    if (name.empty())
        out += '@';
    else
        AppendEscaped(out, name);
    out += '=';
    if (value.type == static_cast<std::uint32_t>(ValueType::String) && QuotedFormFits(value.data)) {
        AppendEscaped(out, StringFromData(value.data));
    } else if (value.type == static_cast<std::uint32_t>(ValueType::DWord) &&
               value.data.size() == 4) {
        char buf[16];
        std::uint32_t v = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                          (std::uint32_t(value.data[3]) << 24);
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v));
        out += buf;
    } else {
        if (value.type == static_cast<std::uint32_t>(ValueType::Binary)) {
            out += "hex:";
        } else {
            char buf[24];
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
            out += buf;
        }
        AppendHex(out, lineStart, value.data);
    }
    out += '\n';
}

void AppendKey(std::string& out, const RegKey& key, const std::string& path, bool isRoot) {
    if (!isRoot || key.ValueCount() > 0) {
        out += '[';
        out += path;
        out += "]\n";
        for (std::size_t i = 0; i < key.ValueCount(); ++i)
            AppendValue(out, key.ValueAt(i).first, key.ValueAt(i).second);
        out += '\n';
    }
    for (std::size_t i = 0; i < key.SubKeyCount(); ++i) {
        const RegKey& sub = key.SubKeyAt(i);
        AppendKey(out, sub, path + '\\' + sub.Name(), false);
    }
}

} // namespace

RegParseResult ParseRegFile(std::string_view bytes, std::string_view hiveName) {
    RegParseResult result;
    bool decoded = true;
    std::string text = DecodeText(bytes, decoded);
    if (!decoded) result.badLines.push_back(0);
    std::vector<std::string_view> lines = SplitLines(text);
    // A file that stops inside a line was cut there (a CR counts as the start
    // of a line break).
    const bool lastLineCut = !text.empty() && text.back() != '\n' && text.back() != '\r';

    RegKey* current = nullptr;
    bool headerSeen = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t lineNo = i + 1;
        std::string_view line = Trim(lines[i]);
        if (line.empty()) continue;
        if (!headerSeen) {
            headerSeen = true;
            if (line == kRegFileHeader) continue;
            result.badLines.push_back(0);
        }
        if (line.front() == ';') continue;

        if (line.front() == '[') {
            current = nullptr; // values after a rejected key line must not land elsewhere
            if (line.back() != ']' || line.size() < 2) {
                result.badLines.push_back(lineNo);
                continue;
            }
            std::string_view inner = line.substr(1, line.size() - 2);
            bool remove = !inner.empty() && inner.front() == '-';
            if (remove) inner.remove_prefix(1);
            auto path = ParseKeyPath(inner, hiveName);
            if (!path || (remove && path->empty())) {
                result.badLines.push_back(lineNo);
                continue;
            }
            if (remove)
                result.root.Remove(*path);
            else
                current = &result.root.GetOrAdd(*path);
            continue;
        }

        if (line.front() != '"' && line.front() != '@') {
            result.badLines.push_back(lineNo);
            continue;
        }
        std::string name;
        std::size_t pos = 1;
        if (line.front() == '"') {
            pos = ParseQuoted(line, 0, name);
            if (pos == std::string_view::npos) {
                result.badLines.push_back(lineNo);
                continue;
            }
        }
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        if (pos >= line.size() || line[pos] != '=') {
            result.badLines.push_back(lineNo);
            continue;
        }
        std::string data(Trim(line.substr(pos + 1)));
        // Hex data goes on over lines that end with a backslash.
        bool incomplete = false;
        if (StartsWithNoCase(data, "hex")) {
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                if (i + 1 >= lines.size() || !IsContinuationLine(Trim(lines[i + 1]))) {
                    incomplete = true;
                    break;
                }
                data += Trim(lines[++i]);
            }
        }
        if (lastLineCut && i + 1 == lines.size() && MayBeCutShort(data)) incomplete = true;
        bool remove = false;
        std::optional<RegValue> value = incomplete ? std::nullopt : ParseData(data, remove);
        if (!value || !current) {
            result.badLines.push_back(lineNo);
            continue;
        }
        if (remove)
            current->RemoveValue(name);
        else
            current->SetValue(name, std::move(*value));
    }
    return result;
}

std::string FormatRegFile(const RegKey& root, std::string_view hiveName) {
    std::string out = kRegFileHeader;
    out += "\n\n";
    AppendKey(out, root, std::string(hiveName), true);
    return out;
}

} // namespace talvence::registry
