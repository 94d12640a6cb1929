// The ".reg" store reader: any bytes parse, and what they parse to survives a save: the text
// written for the tree reads back as the same tree, with nothing skipped.

#include <string_view>

#include "platform/registry/RegFile.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace talvence::registry;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::string_view kHive = "HKEY_CURRENT_USER";
    const RegParseResult parsed =
        ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), kHive);
    const std::string saved = FormatRegFile(parsed.root, kHive);
    const RegParseResult reread = ParseRegFile(saved, kHive);
    FUZZ_CHECK(!reread.Damaged());
    FUZZ_CHECK(reread.root == parsed.root);
    return 0;
}
