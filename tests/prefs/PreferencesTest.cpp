// The catalogue, saving, the store file, and deleting the store.

#include "prefs/Preferences.h"
#include "platform/shell/FakeDialogs.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

#include <regex>

namespace talvence {
namespace {

using registry::Hive;
using registry::TRegistry;
using testing::TempStore;

PreferenceEnvironment TestEnvironment() {
    PreferenceEnvironment env;
    env.screenWidth = 1920;
    env.screenHeight = 1080;
    env.windowOuterWidth = 1001;
    env.windowOuterHeight = 701;
    env.videoFolder = [] { return std::string("/home/u/Videos"); };
    env.picturesFolder = [] { return std::string("/home/u/Pictures/"); };
    env.clipBrowserPath = [] { return std::string("/opt/browser/run"); };
    return env;
}

struct Declared {
    TparameterList list{PreferencesKeyPath(), PreferencesSignature()};
    TPreferences prefs;
    explicit Declared(double day = 45358.6278356481) { // 2024-03-07 15:04:05
        list.clock = [day] { return day; };
        list.locale = EnglishLocaleFormats();
        list.exeName = "/usr/bin/talvence";
        DeclarePreferences(list, prefs, TestEnvironment());
    }
};

// The value names of one key section of a .reg text, in file order.
std::vector<std::string> ValueNamesOfSection(const std::string& text, const std::string& section) {
    std::vector<std::string> names;
    std::istringstream in(text);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inside = line == "[" + section + "]";
            continue;
        }
        if (inside && !line.empty() && line[0] == '"') {
            auto end = line.find("\"=");
            names.push_back(line.substr(1, end - 1));
        }
    }
    return names;
}

TEST(Preferences, FirstRunGivesEveryDefaultAndWritesNothing) {
    TempStore store;

    Declared d;

    ASSERT_EQ(d.list.Items().size(), 62u);
    EXPECT_EQ(d.prefs.top->value, (1080 - 701) / 2);
    EXPECT_EQ(d.prefs.left->value, (1920 - 1001) / 2);
    EXPECT_EQ(d.prefs.camformLeft->value, (1920 - 1001) / 2);
    EXPECT_EQ(d.prefs.camformTop->value, (1080 - 701) / 2 + 701);
    EXPECT_EQ(d.prefs.volume->value, 10000);
    EXPECT_EQ(d.prefs.frequenceDv->value, 3);
    EXPECT_DOUBLE_EQ(d.prefs.framerate->value, 18.0);
    EXPECT_EQ(d.prefs.videoDirectory->value, "/home/u/Videos/");
    EXPECT_EQ(d.prefs.imageDirectory->value, "/home/u/Pictures/");
    EXPECT_EQ(d.prefs.ternadex->value, "/opt/browser/run");
    EXPECT_EQ(d.prefs.audioType->value, "");
    EXPECT_EQ(d.prefs.formatDatecode1->value, "ddddd");
    EXPECT_EQ(d.prefs.formatDatecode2->value, "tt");
    EXPECT_TRUE(d.prefs.utiliserCirrus->value);
    EXPECT_FALSE(d.prefs.scn->value);
    EXPECT_EQ(d.prefs.incrustFont->value, DefaultIncrustFont());
    EXPECT_EQ(d.prefs.incrustFont->value.name, "Arial");
    EXPECT_EQ(d.prefs.incrustFont->value.size, 21);
    EXPECT_EQ(d.prefs.incrustFont->value.color, 0xFFFFFFu);
    EXPECT_TRUE(d.prefs.incrustFont->value.bold);
    EXPECT_FALSE(std::filesystem::exists(store.UserHive()));
}

TEST(Preferences, SavedStoreIsARegFileInCatalogueOrder) {
    TempStore store;
    Declared d;

    d.list.SaveAll();

    const std::string text = TempStore::Read(store.UserHive());
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00", 0), 0u);
    std::vector<std::string> expected = {"Signature", "Derniere Sauvegarde", "ExeName"};
    for (const auto& p : d.list.Items())
        if (p->Name() != "IncrustFont") expected.push_back(p->Name());
    EXPECT_EQ(ValueNamesOfSection(text, "HKEY_CURRENT_USER\\Software\\Brannock\\Talvence"),
              expected);
    EXPECT_EQ(
        ValueNamesOfSection(text, "HKEY_CURRENT_USER\\Software\\Brannock\\Talvence\\IncrustFont"),
        (std::vector<std::string>{"Size", "Color", "Name", "Bold", "Italic", "Underline",
                                  "StrikeOut"}));
    EXPECT_NE(text.find("\"Signature\"=\"Talvence 4.1.3 En by Brannock\""), std::string::npos);
    EXPECT_NE(text.find("\"Derniere Sauvegarde\"=\"2024/03/07 03:04:05 pm\""), std::string::npos);
    EXPECT_NE(text.find("\"ExeName\"=\"/usr/bin/talvence\""), std::string::npos);
    EXPECT_NE(text.find("\"Volume\"=dword:00002710"), std::string::npos);
    // 18.0 as a little-endian double.
    EXPECT_NE(text.find("\"Framerate\"=hex:00,00,00,00,00,00,32,40"), std::string::npos);
}

TEST(Preferences, ChangedValuesOfEveryClassSurviveARestart) {
    TempStore store;
    {
        Declared d;
        d.prefs.volume->value = -3;
        d.prefs.framerate->value = 0.1;
        d.prefs.videoRacine->value = "Clip \"été\" \\ 2\nline";
        d.prefs.scn->value = true;
        d.prefs.confirmerVideo->value = false;
        d.prefs.panneauActif->value = 7;
        d.prefs.frequenceDv->value = 1;
        d.prefs.incrustFont->value = TFontSpec{"DejaVu Sans", 9, 0x0000FF, false, true, true, true};
        d.list.SaveAll();
    }

    Declared again;

    EXPECT_EQ(again.prefs.volume->value, -3);
    EXPECT_DOUBLE_EQ(again.prefs.framerate->value, 0.1);
    EXPECT_EQ(again.prefs.videoRacine->value, "Clip \"été\" \\ 2\nline");
    EXPECT_TRUE(again.prefs.scn->value);
    EXPECT_FALSE(again.prefs.confirmerVideo->value);
    EXPECT_EQ(again.prefs.panneauActif->value, 7);
    EXPECT_EQ(again.prefs.frequenceDv->value, 1);
    EXPECT_EQ(again.prefs.incrustFont->value,
              (TFontSpec{"DejaVu Sans", 9, 0x0000FF, false, true, true, true}));
}

TEST(Preferences, TwoSavesDifferOnlyInTheStamp) {
    TempStore store;
    Declared first(45358.25);
    first.list.SaveAll();
    const std::string a = TempStore::Read(store.UserHive());

    Declared second(45359.75);
    second.list.SaveAll();
    const std::string b = TempStore::Read(store.UserHive());

    std::istringstream ia(a), ib(b);
    std::string la, lb;
    std::vector<std::string> differing;
    while (std::getline(ia, la) && std::getline(ib, lb))
        if (la != lb) differing.push_back(la.substr(0, la.find('=')));
    EXPECT_EQ(differing, std::vector<std::string>{"\"Derniere Sauvegarde\""});
    EXPECT_NE(b.find("\"Derniere Sauvegarde\"=\"2024/03/08 06:00:00 pm\""), std::string::npos);
}

TEST(Preferences, AHandEditOfOneValueIsReadBackAtTheNextStart) {
    TempStore store;
    {
        Declared d;
        d.list.SaveAll();
    }
    std::string text = TempStore::Read(store.UserHive());
    // The volume becomes 3000; "Video Racine" is turned into an expandable string.
    text = std::regex_replace(text, std::regex("\"Volume\"=dword:00002710"),
                              "\"Volume\"=dword:00000bb8");
    text = std::regex_replace(text, std::regex("\"Video Racine\"=\"Video\""),
                              "\"Video Racine\"=hex(2):43,00,6c,00,69,00,70,00,00,00");
    TempStore::Write(store.UserHive(), text);

    Declared d;

    EXPECT_EQ(d.prefs.volume->value, 3000);
    EXPECT_EQ(d.prefs.videoRacine->value, "Clip");
}

// A preference whose save always fails, to see where a save stops.
class FailingParameter : public TParameter {
public:
    using TParameter::TParameter;
    void Load() override {}
    void Save() override { throw registry::RegistryError("disk on fire"); }
    std::string ValueText() const override { return "?"; }
};

TEST(Preferences, ASaveThatFailsPartWayKeepsWhatWasWrittenBefore) {
    TempStore store;
    TparameterList list(PreferencesKeyPath(), PreferencesSignature());
    list.locale = EnglishLocaleFormats();
    auto& before = list.Declare<TIntegerParameter>("Before", 1);
    list.Declare<FailingParameter>("Broken");
    auto& after = list.Declare<TIntegerParameter>("After", 2);
    before.value = 11;
    after.value = 22;

    EXPECT_THROW(list.SaveAll(), registry::RegistryError);
    SavePreferences(list); // swallowed

    TRegistry reg(Hive::CurrentUser);
    ASSERT_TRUE(reg.OpenKey(PreferencesKeyPath(), false));
    EXPECT_EQ(reg.ReadInteger("Before"), 11);
    EXPECT_FALSE(reg.ValueExists("After"));
    EXPECT_TRUE(reg.ValueExists("Signature"));
}

TEST(Preferences, ASaveToAnUnwritableStoreIsSwallowedBySavePreferences) {
    TempStore store;
    Declared d;
    // A store directory that cannot be created, whoever runs the test.
    TempStore::Write(store.Dir() / "plain-file", "x");
    setenv("TALVENCE_REGISTRY_DIR", (store.Dir() / "plain-file" / "store").c_str(), 1);

    EXPECT_THROW(d.list.SaveAll(), registry::RegistryError);
    EXPECT_NO_THROW(SavePreferences(d.list));
}

class DeletePreferencesTest : public ::testing::Test {
protected:
    TempStore store;
    FakeDialogs dialogs;

    void SaveOurs() {
        Declared d;
        d.list.SaveAll();
    }
    static bool KeyExists(const std::string& path) {
        TRegistry reg(Hive::CurrentUser);
        return reg.KeyExists(path);
    }
};

TEST_F(DeletePreferencesTest, YesRemovesTheProductAndTheEmptiedVendorKey) {
    SaveOurs();
    dialogs.answers = {MsgAnswer::Yes};

    DeletePreferences(dialogs);

    EXPECT_FALSE(KeyExists("\\Software\\Brannock\\Talvence"));
    EXPECT_FALSE(KeyExists("\\Software\\Brannock"));
    EXPECT_TRUE(KeyExists("\\Software"));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].type, MsgType::Warning);
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(dialogs.messages[0].text,
              "Do you really want to delete the preferences of Talvence\nfrom your registry?");
    EXPECT_EQ(dialogs.messages[1].type, MsgType::Information);
    EXPECT_EQ(dialogs.messages[1].text, "Talvence has been completely deleted from your registry.");
}

TEST_F(DeletePreferencesTest, OtherProductsOfTheVendorKeepTheVendorKey) {
    SaveOurs();
    {
        TRegistry reg(Hive::CurrentUser);
        reg.OpenKey("\\Software\\Brannock\\Ternadex", true);
        reg.WriteString("Exename", "/opt/browser/run");
        reg.CloseKey();
    }
    dialogs.answers = {MsgAnswer::Yes};

    DeletePreferences(dialogs);

    EXPECT_FALSE(KeyExists("\\Software\\Brannock\\Talvence"));
    EXPECT_TRUE(KeyExists("\\Software\\Brannock\\Ternadex"));
}

TEST_F(DeletePreferencesTest, AnythingButYesDeletesNothing) {
    SaveOurs();
    dialogs.answers = {MsgAnswer::No};

    DeletePreferences(dialogs);

    EXPECT_TRUE(KeyExists("\\Software\\Brannock\\Talvence"));
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(DeletePreferencesTest, AMissingStoreIsReportedNotFound) {
    // The vendor key exists (another product) but holds nothing of ours.
    {
        TRegistry reg(Hive::CurrentUser);
        reg.OpenKey("\\Software\\Brannock\\Ternadex", true);
        reg.WriteString("Exename", "x");
        reg.CloseKey();
    }
    dialogs.answers = {MsgAnswer::Yes, MsgAnswer::Yes};

    DeletePreferences(dialogs);
    std::filesystem::remove(store.UserHive());
    DeletePreferences(dialogs);

    ASSERT_EQ(dialogs.messages.size(), 4u);
    for (int i : {1, 3}) {
        EXPECT_EQ(dialogs.messages[i].type, MsgType::Warning);
        EXPECT_EQ(dialogs.messages[i].buttons, MsgButtons::Ok);
        EXPECT_EQ(dialogs.messages[i].text,
                  "The preferences of Talvence were not found in the registry.");
    }
}

TEST(Preferences, DvAudioRateIndexMapsTheRateTexts) {
    EXPECT_EQ(DvAudioRateIndex("native"), 0);
    EXPECT_EQ(DvAudioRateIndex("32000 Hz"), 1);
    EXPECT_EQ(DvAudioRateIndex("44100 Hz"), 2);
    EXPECT_EQ(DvAudioRateIndex("48000 Hz"), 3);
    EXPECT_EQ(DvAudioRateIndex("48000"), 0);
    EXPECT_EQ(DvAudioRateIndex(""), 0);
}

} // namespace
} // namespace talvence
