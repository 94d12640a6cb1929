#include "platform/registry/RegFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

namespace talvence::registry {
namespace {

using namespace std::string_literals;

constexpr const char* kUser = "HKEY_CURRENT_USER";

RegValue Typed(ValueType type, std::vector<std::uint8_t> data) {
    return {static_cast<std::uint32_t>(type), std::move(data)};
}
RegValue Str(const std::string& text) {
    return Typed(ValueType::String, StringData(text));
}
RegValue DWord(std::uint32_t v) {
    return Typed(ValueType::DWord,
                 {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                  static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Utf16LeWithBom(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (char16_t u : Utf8ToUtf16(utf8)) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

TEST(RegFileTest, EveryTypeAndHardStringRoundTripsThroughTheText) {
    // Setup
    RegKey root;
    root.SetValue("AtRoot", Str("root value"));
    RegKey& key = root.GetOrAdd({"Software", "Brannock", "Talvence"});
    key.SetValue("Plain", Str("Talvence 4.1.3 En by Brannock"));
    key.SetValue("Quotes \"and\" \\slashes", Str(R"(say "hi" C:\dir\ \\server\)"));
    key.SetValue("Accents", Str("Vidéos ▶ 日本 😀"));
    key.SetValue("Lines", Str("one\ntwo\r\n\tthree"));
    key.SetValue("Empty", Str(""));
    key.SetValue("NoData", Typed(ValueType::String, {}));
    key.SetValue("NoTerminator", Typed(ValueType::String, {'A', 0}));
    key.SetValue("OddLength", Typed(ValueType::String, {'A', 0, 0}));
    key.SetValue("InnerZero", Typed(ValueType::String, {'A', 0, 0, 0, 'B', 0, 0, 0}));
    key.SetValue("LoneSurrogate", Typed(ValueType::String, {0x00, 0xD8, 0, 0}));
    key.SetValue("NotUtf8", Str("/home/\xE9t\xE9/\xFF"));
    key.SetValue("Expand", Typed(ValueType::ExpandString, StringData("%HOME%\\Videos")));
    key.SetValue("Tab", DWord(2));
    key.SetValue("Minus", DWord(0xFFFFFFFF));
    key.SetValue("ShortDword", Typed(ValueType::DWord, {1, 2}));
    key.SetValue("Zoom", Typed(ValueType::Binary, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    std::vector<std::uint8_t> longData(300);
    for (std::size_t i = 0; i < longData.size(); ++i)
        longData[i] = static_cast<std::uint8_t>(i);
    key.SetValue("Long", Typed(ValueType::Binary, longData));
    key.SetValue("NoBytes", Typed(ValueType::Binary, {}));
    key.SetValue("Multi", RegValue{7, {'a', 0, 0, 0, 0, 0}});
    key.SetValue("OddType", RegValue{0x12345, {1}});
    key.SetValue("LastType", RegValue{0xFFFFFFFF, {2}});
    key.SetValue("None", RegValue{0, {}});
    key.SetValue("", Str("default"));
    key.GetOrAdd({"IncrustFont"});
    root.GetOrAdd({"Software", "Brannock", "Empty"});

    // Exercise
    std::string text = FormatRegFile(root, kUser);
    RegParseResult parsed = ParseRegFile(text, kUser);

    // Verification
    EXPECT_FALSE(parsed.Damaged());
    EXPECT_TRUE(parsed.root == root);
    std::vector<std::string> lines = Lines(text);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Windows Registry Editor Version 5.00");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "[HKEY_CURRENT_USER]");
    auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]"));
    EXPECT_TRUE(has("[HKEY_CURRENT_USER\\Software\\Brannock\\Empty]"));
    EXPECT_TRUE(has(R"("Plain"="Talvence 4.1.3 En by Brannock")"));
    EXPECT_TRUE(has(R"("Quotes \"and\" \\slashes"="say \"hi\" C:\\dir\\ \\\\server\\")"));
    EXPECT_TRUE(has("\"Accents\"=\"Vidéos ▶ 日本 😀\""));
    EXPECT_TRUE(has("\"Tab\"=dword:00000002"));
    EXPECT_TRUE(has("\"Minus\"=dword:ffffffff"));
    EXPECT_TRUE(has("\"ShortDword\"=hex(4):01,02"));
    EXPECT_TRUE(has("\"Zoom\"=hex:00,00,00,00,00,00,f0,3f"));
    EXPECT_TRUE(has("\"Empty\"=\"\""));
    EXPECT_TRUE(has("\"NoData\"=hex(1):"));
    EXPECT_TRUE(has("\"NoBytes\"=hex:"));
    EXPECT_TRUE(has("\"OddType\"=hex(12345):01"));
    EXPECT_TRUE(has("@=\"default\""));
    EXPECT_NE(text.find("\"Lines\"=hex(1):6f,00,6e,00,65,00,0a,00"), std::string::npos);
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,00,48,00"), std::string::npos);
    for (const std::string& line : lines)
        EXPECT_LE(line.size(), 80u) << line;
}

TEST(RegFileTest, ReadsRegeditExportsInEveryEncoding) {
    // Setup: as regedit writes it (CRLF), with the things only hand edits or
    // imports contain: comments, odd spacing, deletions, other letter case.
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "; exported by hand\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\r\n"
                             "\"Signature\"=\"Talvence 4.1.3 En by Brannock\"\r\n"
                             "\"Tab\" = dword:0000000a\r\n"
                             "\"Gone\"=\"x\"\r\n"
                             "\"Zoom\"=hex:00,00,00,00,\\\r\n"
                             "  00,00,f0,3f\r\n"
                             "\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00\r\n"
                             "@=\"default\"\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Brannock\\Old]\r\n"
                             "\"x\"=dword:1\r\n\r\n"
                             "[hkey_current_user\\SOFTWARE\\brannock\\TALVENCE]\r\n"
                             "\"Gone\"=-\r\n"
                             "\"tab\"=dword:0000000b\r\n\r\n"
                             "[-HKEY_CURRENT_USER\\Software\\Brannock\\Old]\r\n";

    for (const std::string& bytes : {text, "\xEF\xBB\xBF" + text, Utf16LeWithBom(text)}) {
        // Exercise
        RegParseResult parsed = ParseRegFile(bytes, kUser);

        // Verification
        EXPECT_FALSE(parsed.Damaged());
        const RegKey* brannock = parsed.root.Find({"Software", "Brannock"});
        ASSERT_NE(brannock, nullptr);
        ASSERT_EQ(brannock->SubKeyCount(), 1u);
        const RegKey& key = brannock->SubKeyAt(0);
        EXPECT_EQ(key.Name(), "Talvence");
        ASSERT_EQ(key.ValueCount(), 5u);
        EXPECT_EQ(key.ValueAt(0).first, "Signature");
        EXPECT_EQ(StringFromData(key.ValueAt(0).second.data), "Talvence 4.1.3 En by Brannock");
        EXPECT_EQ(key.ValueAt(1).first, "Tab");
        EXPECT_TRUE(key.ValueAt(1).second == DWord(11));
        EXPECT_TRUE(*key.FindValue("Zoom") ==
                    Typed(ValueType::Binary, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
        EXPECT_EQ(key.FindValue("Path")->type, 2u);
        EXPECT_EQ(StringFromData(key.FindValue("Path")->data), "%HOME%");
        EXPECT_EQ(StringFromData(key.FindValue("")->data), "default");
        EXPECT_EQ(key.FindValue("Gone"), nullptr);
    }
}

TEST(RegFileTest, DamagedTextIsReadAsFarAsItMakesSense) {
    // Setup
    const std::string text = "Windows Registry Editor Version 5.00\n"
                             "\"Orphan\"=\"before any key\"\n"
                             "[HKEY_CURRENT_USER\\Software\\Good]\n"
                             "\"A\"=\"kept\"\n"
                             "\"BadHex\"=hex:00,zz,01\n"
                             "\"Unterminated\"=\"abc\n"
                             "\"TooLong\"=dword:123456789\n"
                             "garbage here\n"
                             "\"Cut\"=hex:01,02,\\\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n"
                             "\"Lost\"=\"under a foreign root\"\n"
                             "[HKEY_CURRENT_USER\\Software\\Good\n"
                             "\"B\"=dword:00000001\n"
                             "[HKEY_CURRENT_USER\\Software\\Good]\n"
                             "\"C\"=hex:0a,0b,\n";

    // Exercise
    RegParseResult parsed = ParseRegFile(text, kUser);

    // Verification
    EXPECT_EQ(parsed.badLines, (std::vector<std::size_t>{2, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    const RegKey* good = parsed.root.Find({"Software", "Good"});
    ASSERT_NE(good, nullptr);
    ASSERT_EQ(good->ValueCount(), 2u);
    EXPECT_EQ(StringFromData(good->FindValue("A")->data), "kept");
    EXPECT_TRUE(*good->FindValue("C") == Typed(ValueType::Binary, {0x0A, 0x0B}));
    EXPECT_EQ(parsed.root.SubKeyCount(), 1u);
    EXPECT_TRUE(ParseRegFile("[HKEY_CURRENT_USER\\X]\n", kUser).Damaged()); // no header
    EXPECT_FALSE(ParseRegFile("", kUser).Damaged());
}

TEST(RegFileTest, AValueTheFileEndsInWithoutALineBreakIsCutShortUnlessItShowsItsEnd) {
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n";
    for (const char* cut : {"\"Top\"=dword:0000", "\"Zoom\"=hex:00,00,0", "\"Zoom\"=hex:00,",
                            "\"Zoom\"=hex:00,00", "\"Dir\"=\"/home/e", "\"Dir\"=\"a\\\""}) {
        RegParseResult parsed = ParseRegFile(head + cut, kUser);
        EXPECT_TRUE(parsed.Damaged()) << cut;
        EXPECT_EQ(parsed.root.Find({"X"})->ValueCount(), 0u) << cut;
    }
    for (const char* whole : {"\"Top\"=dword:000004d2", "\"Dir\"=\"/home/eva\"", "\"Gone\"=-",
                              "\"Top\"=dword:0000\n", "\"Zoom\"=hex:00,01\r"})
        EXPECT_FALSE(ParseRegFile(head + whole, kUser).Damaged()) << whole;
}

// Whatever the bytes, parsing ends, and what it keeps is written back in a
// form that reads again identically and without complaint.
TEST(RegFileTest, RandomMutationsNeverBreakTheReader) {
    // Setup
    RegKey root;
    RegKey& key = root.GetOrAdd({"Software", "Brannock", "Talvence"});
    key.SetValue("Name", Str("Vidéo \"one\" \\two"));
    key.SetValue("Lines", Str("a\nb"));
    key.SetValue("Tab", DWord(7));
    key.SetValue("Blob", Typed(ValueType::Binary, std::vector<std::uint8_t>(60, 0xAB)));
    key.SetValue("Expand", Typed(ValueType::ExpandString, StringData("%TEMP%")));
    key.GetOrAdd({"IncrustFont"}).SetValue("Size", DWord(12));
    const std::string valid = FormatRegFile(root, kUser);
    const std::string alphabet = "[]\\\"@=-:,;\n\r\0hexdword(2)0aF\xFF\xFE\xC3"s;
    std::mt19937 rng(20240611);

    for (int round = 0; round < 3000; ++round) {
        std::string bytes = round % 3 == 0 ? Utf16LeWithBom(valid) : valid;
        int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            std::size_t at = rng() % bytes.size();
            switch (rng() % 5) {
            case 0:
                bytes[at] = static_cast<char>(rng());
                break;
            case 1:
                bytes.insert(at, 1, alphabet[rng() % alphabet.size()]);
                break;
            case 2:
                bytes.erase(at, 1 + rng() % 40);
                break;
            case 3:
                bytes.insert(at, bytes.substr(rng() % bytes.size(), rng() % 60));
                break;
            case 4:
                bytes.resize(at);
                break;
            }
        }

        // Exercise
        RegParseResult first = ParseRegFile(bytes, kUser);
        std::string rewritten = FormatRegFile(first.root, kUser);
        RegParseResult second = ParseRegFile(rewritten, kUser);

        // Verification
        ASSERT_FALSE(second.Damaged()) << "round " << round;
        ASSERT_TRUE(second.root == first.root) << "round " << round;
    }
}

} // namespace
} // namespace talvence::registry
