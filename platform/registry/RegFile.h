#pragma once
// The ".reg" text form of one hive, as regedit exports and imports it:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Brannock\Talvence]
//   "Signature"="Talvence 4.1.3 En by Brannock"
//   "Tab"=dword:00000002
//   "Zoom"=hex:00,00,00,00,00,00,f0,3f
//   @="default value"
//
// Parsing takes any bytes and never fails: what does not make sense is
// skipped and reported, so the caller can keep the damaged original aside.
// A value line the file ends in without a line break counts as cut short
// unless its form shows its end (a closing quote, a DWORD's eighth digit).

#include "platform/registry/RegTree.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talvence::registry {

inline constexpr const char* kRegFileHeader = "Windows Registry Editor Version 5.00";

struct RegParseResult {
    RegKey root;
    // 1-based numbers of the lines that were skipped as meaningless (0 stands
    // for a missing header or an undecodable text encoding).
    std::vector<std::size_t> badLines;
    bool Damaged() const { return !badLines.empty(); }
};

// `hiveName` is the root every key line must start with ("HKEY_CURRENT_USER").
// Accepts UTF-8 with or without BOM and UTF-16LE (as regedit writes), LF or
// CRLF line ends, ";" comments, "[-KEY]" and "name"=- deletions.
RegParseResult ParseRegFile(std::string_view bytes, std::string_view hiveName);

// UTF-8 text, LF line ends, every key listed (empty ones too) in stored order.
// String values that the quoted form cannot carry exactly are written as
// hex(1); long hex data is wrapped at about 80 columns.
std::string FormatRegFile(const RegKey& root, std::string_view hiveName);

} // namespace talvence::registry
