// How each class of preference reads what it finds in the store.

#include "prefs/Parameters.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using registry::Hive;
using registry::RegValue;
using registry::TRegistry;
using testing::TempStore;

const char* kKey = "\\Software\\Test\\Prefs";

class ReadRules : public ::testing::Test {
protected:
    TempStore store;
    TparameterList list{kKey, "sig"};

    // Writes values straight into the store, as another program or a hand edit would.
    template <class F> void Stored(F&& write, const std::string& key = kKey) {
        TRegistry reg(Hive::CurrentUser);
        ASSERT_TRUE(reg.OpenKey(key, true));
        write(reg);
        reg.CloseKey();
    }
};

TEST_F(ReadRules, IntegersNeedADWord) {
    auto& ok = list.Declare<TIntegerParameter>("ok", 5);
    auto& text = list.Declare<TIntegerParameter>("text", 5);
    auto& binary = list.Declare<TIntegerParameter>("binary", 5);
    auto& missing = list.Declare<TIntegerParameter>("missing", 5);
    Stored([](TRegistry& r) {
        r.WriteInteger("ok", -70);
        r.WriteString("text", "12");
        r.WriteBinaryData("binary", {1, 0, 0, 0});
    });

    list.LoadAll();

    EXPECT_EQ(ok.value, -70);
    EXPECT_EQ(text.value, 5);
    EXPECT_EQ(binary.value, 5);
    EXPECT_EQ(missing.value, 5);
}

TEST_F(ReadRules, RealsNeedEightBytesOfBinary) {
    auto& ok = list.Declare<TRealParameter>("ok", 18.0);
    auto& dword = list.Declare<TRealParameter>("dword", 18.0);
    auto& shortBin = list.Declare<TRealParameter>("short", 18.0);
    auto& longBin = list.Declare<TRealParameter>("long", 18.0);
    auto& text = list.Declare<TRealParameter>("text", 18.0);
    Stored([](TRegistry& r) {
        r.WriteBinaryData("ok", {0, 0, 0, 0, 0, 0, 0xE0, 0x3F}); // 0.5
        r.WriteInteger("dword", 25);
        r.WriteBinaryData("short", {0, 0, 0xE0, 0x3F});
        r.WriteBinaryData("long", {0, 0, 0, 0, 0, 0, 0xE0, 0x3F, 0});
        r.WriteString("text", "25.0");
    });

    list.LoadAll();

    EXPECT_DOUBLE_EQ(ok.value, 0.5);
    EXPECT_DOUBLE_EQ(dword.value, 18.0);
    EXPECT_DOUBLE_EQ(shortBin.value, 18.0);
    EXPECT_DOUBLE_EQ(longBin.value, 18.0);
    EXPECT_DOUBLE_EQ(text.value, 18.0);
}

TEST_F(ReadRules, StringsFallBackWhenEmptyOrNotText) {
    auto& ok = list.Declare<TStringParameter>("ok", "def");
    auto& expand = list.Declare<TStringParameter>("expand", "def");
    auto& empty = list.Declare<TStringParameter>("empty", "def");
    auto& dword = list.Declare<TStringParameter>("dword", "def");
    auto& missing = list.Declare<TStringParameter>("missing", "def");
    Stored([](TRegistry& r) {
        r.WriteString("ok", "/video/");
        r.WriteExpandString("expand", "$HOME/x");
        r.WriteString("empty", "");
        r.WriteInteger("dword", 1);
    });

    list.LoadAll();

    EXPECT_EQ(ok.value, "/video/");
    EXPECT_EQ(expand.value, "$HOME/x"); // read as stored, not expanded
    EXPECT_EQ(empty.value, "def");
    EXPECT_EQ(dword.value, "def");
    EXPECT_EQ(missing.value, "def");
}

TEST_F(ReadRules, BooleansAndBytesReadDWords) {
    auto& zero = list.Declare<TBooleanParameter>("zero", true);
    auto& seven = list.Declare<TBooleanParameter>("seven", false);
    auto& text = list.Declare<TBooleanParameter>("text", true);
    auto& wide = list.Declare<TFrequenceDVParameter>("wide", std::uint8_t{3});
    auto& negative = list.Declare<TframeNumberParameter>("negative", std::uint8_t{0});
    auto& wrong = list.Declare<TTVstandardParameter>("wrong", std::uint8_t{1});
    Stored([](TRegistry& r) {
        r.WriteInteger("zero", 0);
        r.WriteInteger("seven", 7);
        r.WriteString("text", "0");
        r.WriteInteger("wide", 0x1FE);
        r.WriteInteger("negative", -1);
        r.WriteBinaryData("wrong", {0});
    });

    list.LoadAll();

    EXPECT_FALSE(zero.value);
    EXPECT_TRUE(seven.value);
    EXPECT_TRUE(text.value);
    EXPECT_EQ(wide.value, 0xFE);
    EXPECT_EQ(negative.value, 0xFF);
    EXPECT_EQ(wrong.value, 1);
}

TEST_F(ReadRules, AMissingKeyLeavesEveryDefault) {
    auto& n = list.Declare<TIntegerParameter>("n", 9);
    Stored([](TRegistry& r) { r.WriteInteger("n", 1); }, "\\Software\\Test\\Other");

    list.LoadAll();

    EXPECT_EQ(n.value, 9);
}

TFontSpec BoldArial() {
    return TFontSpec{"Arial", 21, 0xFFFFFF, true, false, false, false};
}

TEST_F(ReadRules, FontsFallBackAttributeByAttribute) {
    auto& font = list.Declare<TFontParameter>("IncrustFont", BoldArial());
    auto& next = list.Declare<TIntegerParameter>("Next", 0);
    Stored([](TRegistry& r) { r.WriteInteger("Next", 42); });
    Stored(
        [](TRegistry& r) {
            r.WriteInteger("Bold", 0); // stored false beats the bold default
            r.WriteInteger("Italic", 1);
            r.WriteString("Size", "12"); // wrong type: default size
            r.WriteString("Name", "");   // empty: default name
            r.WriteInteger("Color", 0x0000FF);
            // no "Underline", no "StrikeOut": from the default
        },
        std::string(kKey) + "\\IncrustFont");

    list.LoadAll();

    EXPECT_FALSE(font.value.bold);
    EXPECT_TRUE(font.value.italic);
    EXPECT_EQ(font.value.size, 21);
    EXPECT_EQ(font.value.name, "Arial");
    EXPECT_EQ(font.value.color, 0x0000FFu);
    EXPECT_FALSE(font.value.underline);
    // The preference after the font is read from the main key again.
    EXPECT_EQ(next.value, 42);
}

TEST_F(ReadRules, AFontWithoutBoldTakesItFromTheDefault) {
    auto& font = list.Declare<TFontParameter>("IncrustFont", BoldArial());
    Stored([](TRegistry& r) { r.WriteString("Name", "Liberation Serif"); },
           std::string(kKey) + "\\IncrustFont");

    list.LoadAll();

    EXPECT_TRUE(font.value.bold);
    EXPECT_EQ(font.value.name, "Liberation Serif");
}

TEST_F(ReadRules, AFontWithoutItsSubKeyIsTheDefault) {
    auto& font = list.Declare<TFontParameter>("IncrustFont", BoldArial());
    Stored([](TRegistry& r) { r.WriteInteger("Other", 1); });

    list.LoadAll();

    EXPECT_EQ(font.value, BoldArial());
}

} // namespace
} // namespace talvence
