#include "platform/registry/Registry.h"

#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvence::registry {
namespace {

namespace fs = std::filesystem;
using talvence::testing::TempStore;

const std::string kKey = "\\Software\\Brannock\\Talvence";

class RegistryTest : public ::testing::Test {
protected:
    std::vector<std::string> DirEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(store.Dir()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempStore store;
};

TEST_F(RegistryTest, TypedValuesComeBackFromTheFileWithTheirTypes) {
    // Setup
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("Video Directory", "/home/éva/Vidéos \"2024\"\\");
        reg.WriteString("Note", "line one\nline two");
        reg.WriteExpandString("Expand", "%HOME%/clips");
        reg.WriteInteger("Tab", -2);
        reg.WriteBinaryData("Zoom", {0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
        reg.WriteRaw("Short", {static_cast<std::uint32_t>(ValueType::DWord), {1, 2}});
        reg.CloseKey();
    }

    // Exercise
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));

    // Verification
    EXPECT_EQ(reg.ReadString("Video Directory"), "/home/éva/Vidéos \"2024\"\\");
    EXPECT_EQ(reg.ReadString("Note"), "line one\nline two");
    EXPECT_EQ(reg.ReadString("Expand"), "%HOME%/clips");
    EXPECT_EQ(reg.ReadInteger("Tab"), -2);
    EXPECT_EQ(reg.ReadBinaryData("Zoom"),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    EXPECT_EQ(reg.GetDataType("Expand"), ValueType::ExpandString);
    EXPECT_EQ(reg.GetDataType("Zoom"), ValueType::Binary);
    EXPECT_EQ(reg.GetDataSize("Zoom"), 8u);
    EXPECT_EQ(reg.GetDataSize("Note"), 2u * 18);
    EXPECT_EQ(reg.ReadString("Missing"), std::nullopt);
    EXPECT_EQ(reg.ReadInteger("Missing"), std::nullopt);
    EXPECT_EQ(reg.GetDataType("Missing"), std::nullopt);
    EXPECT_THROW(reg.ReadInteger("Video Directory"), RegistryError);
    EXPECT_THROW(reg.ReadInteger("Short"), RegistryError);
    EXPECT_THROW(reg.ReadString("Tab"), RegistryError);
    EXPECT_THROW(reg.ReadString("Zoom"), RegistryError);
    EXPECT_THROW(reg.ReadBinaryData("Tab"), RegistryError);
    EXPECT_THROW(reg.ReadBinaryData("Note"), RegistryError);
}

TEST_F(RegistryTest, NamesIgnoreLetterCaseButKeepTheirOwn) {
    // Setup
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("Video Directory", "/a");
    reg.WriteInteger("Tab", 1);
    reg.CloseKey();

    // Exercise
    ASSERT_TRUE(reg.OpenKey("software\\BRANNOCK\\talvence\\", false));
    reg.WriteString("VIDEO DIRECTORY", "/b");
    reg.CloseKey();

    // Verification
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Brannock", false));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Talvence"});
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Brannock\\TALVENCE", false));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Brannock\\Talvence");
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Video Directory", "Tab"}));
    EXPECT_EQ(reg.ReadString("video directory"), "/b");
    EXPECT_TRUE(reg.ValueExists("TAB"));
    std::string text = TempStore::Read(store.UserHive());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                        "\"Video Directory\"=\"/b\"\n\"Tab\"=dword:00000001\n"),
              std::string::npos);
}

TEST_F(RegistryTest, OpeningWithoutCreationNeedsTheKey) {
    // Setup
    TRegistry reg;

    // Exercise / Verification
    EXPECT_FALSE(reg.OpenKey(kKey, false));
    EXPECT_FALSE(reg.HasCurrentKey());
    EXPECT_FALSE(reg.KeyExists(kKey));
    EXPECT_THROW(reg.WriteInteger("Tab", 1), RegistryError);
    EXPECT_FALSE(reg.DeleteValue("Tab"));
    EXPECT_FALSE(reg.OpenKey("\\Software\\Bad\nName", true));

    ASSERT_TRUE(reg.OpenKey(kKey + "\\IncrustFont", true));
    EXPECT_TRUE(reg.KeyExists("Software\\Brannock"));
    EXPECT_THROW(reg.WriteInteger("Two\nLines", 1), RegistryError);
    reg.WriteInteger("Size", 12);
    EXPECT_TRUE(reg.DeleteValue("size"));
    EXPECT_FALSE(reg.ValueExists("Size"));
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_TRUE(reg.HasSubKeys());
    reg.CloseKey();
    EXPECT_FALSE(reg.HasCurrentKey());
    EXPECT_TRUE(TRegistry().KeyExists(kKey + "\\IncrustFont"));
}

TEST_F(RegistryTest, DeletingAKeyRemovesItsWholeTree) {
    // Setup: the vendor key holding this product and another one.
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey + "\\IncrustFont", true));
        reg.WriteInteger("Size", 12);
        ASSERT_TRUE(reg.OpenKey("\\Software\\Brannock\\Ternadex", true));
        reg.WriteString("Exename", "/usr/bin/ternadex");
        reg.CloseKey();
    }

    // Exercise: the removal of the preferences, step by step.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brannock\\", false));
    EXPECT_TRUE(reg.DeleteKey("Talvence"));
    bool othersLeft = reg.HasSubKeys();
    EXPECT_TRUE(reg.DeleteKey("Ternadex"));
    bool anyLeft = reg.HasSubKeys();
    EXPECT_FALSE(reg.DeleteKey("Talvence"));
    reg.CloseKey();
    EXPECT_TRUE(reg.DeleteKey("\\Software\\Brannock\\"));
    reg.CloseKey();

    // Verification
    EXPECT_TRUE(othersLeft);
    EXPECT_FALSE(anyLeft);
    TRegistry check;
    EXPECT_FALSE(check.KeyExists("\\Software\\Brannock"));
    EXPECT_TRUE(check.KeyExists("\\Software"));
    EXPECT_EQ(TempStore::Read(store.UserHive()).find("Brannock"), std::string::npos);
}

TEST_F(RegistryTest, DeletingTheOpenKeyClosesIt) {
    // Setup
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));

    // Exercise
    EXPECT_TRUE(reg.DeleteKey("\\Software\\BRANNOCK"));

    // Verification
    EXPECT_FALSE(reg.HasCurrentKey());
    EXPECT_THROW(reg.WriteInteger("Tab", 1), RegistryError);
    EXPECT_FALSE(reg.DeleteKey("\\"));
}

TEST_F(RegistryTest, HandlesThatOnlyReadWriteNothing) {
    // Exercise
    {
        TRegistry user;
        EXPECT_FALSE(user.OpenKey(kKey, false));
        EXPECT_FALSE(user.KeyExists("\\Software"));
        user.CloseKey();
        TRegistry machine(Hive::LocalMachine);
        EXPECT_TRUE(machine.OpenKey("\\Software\\Microsoft\\DirectX", false));
        EXPECT_EQ(machine.ReadString("Version"), kMediaLayerVersion);
    }

    // Verification
    EXPECT_TRUE(DirEntries().empty());
}

TEST_F(RegistryTest, CommitsOfTwoHandlesMerge) {
    // Setup
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteInteger("A", 1);
        reg.WriteInteger("B", 1);
        ASSERT_TRUE(reg.OpenKey(kKey + "\\X", true));
        reg.WriteInteger("Old", 1);
        reg.CloseKey();
    }
    TRegistry first;
    TRegistry second;
    ASSERT_TRUE(first.OpenKey(kKey, false));
    ASSERT_TRUE(second.OpenKey(kKey, false));

    // Exercise
    first.WriteInteger("A", 2);
    first.WriteInteger("C", 2);
    EXPECT_TRUE(first.DeleteKey("X"));
    second.WriteInteger("B", 3);
    ASSERT_TRUE(second.OpenKey(kKey + "\\X\\Y", true));
    second.WriteInteger("New", 3);
    first.CloseKey();
    second.CloseKey();

    // Verification
    TRegistry check;
    ASSERT_TRUE(check.OpenKey(kKey, false));
    EXPECT_EQ(check.GetValueNames(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(check.ReadInteger("A"), 2);
    EXPECT_EQ(check.ReadInteger("B"), 3);
    EXPECT_EQ(check.ReadInteger("C"), 2);
    ASSERT_TRUE(check.OpenKey(kKey + "\\X", false));
    EXPECT_FALSE(check.ValueExists("Old"));
    ASSERT_TRUE(check.OpenKey(kKey + "\\X\\Y", false));
    EXPECT_EQ(check.ReadInteger("New"), 3);
}

TEST_F(RegistryTest, SaveReplacesTheFileWholeAndKeepsItsMode) {
    // Setup
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("Signature", "Talvence 4.1.3 En by Brannock");
    }
    fs::permissions(store.UserHive(), fs::perms::owner_read | fs::perms::owner_write);

    // Exercise
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteInteger("Tab", 3);
        reg.CloseKey();
    }

    // Verification
    EXPECT_EQ(DirEntries(),
              (std::vector<std::string>{"HKEY_CURRENT_USER.lock", "HKEY_CURRENT_USER.reg"}));
    EXPECT_EQ(TempStore::Read(store.UserHive()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brannock]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
              "\"Signature\"=\"Talvence 4.1.3 En by Brannock\"\n"
              "\"Tab\"=dword:00000003\n\n");
    EXPECT_EQ(fs::status(store.UserHive()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(RegistryTest, DamagedFileIsKeptAsideAndItsGoodValuesSurvive) {
    // Setup
    const std::string damaged = "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                                "\"Tab\"=dword:00000004\n"
                                "\"Zoom\"=hex:00,0g\n"
                                "\x01\x02 binary junk \xFF\n"
                                "\"Video Directory\"=\"/home/eva\"\n";
    TempStore::Write(store.UserHive(), damaged);
    const fs::path bad = store.UserHive().string() + ".bad";

    // Exercise
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    std::optional<std::int32_t> tab = reg.ReadInteger("Tab");
    std::string keptOnRead = TempStore::Read(bad);
    reg.WriteInteger("Frame", 1);
    reg.CloseKey();

    // Verification
    EXPECT_EQ(tab, 4);
    EXPECT_EQ(keptOnRead, damaged);
    EXPECT_EQ(TempStore::Read(bad), damaged);
    EXPECT_EQ(TempStore::Read(store.UserHive()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brannock]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
              "\"Tab\"=dword:00000004\n"
              "\"Video Directory\"=\"/home/eva\"\n"
              "\"Frame\"=dword:00000001\n\n");
}

TEST_F(RegistryTest, ANewDamagedVersionPushesTheOlderCopyBack) {
    // Setup
    const std::string older = "Windows Registry Editor Version 5.00\nolder junk\n";
    const std::string newer = "Windows Registry Editor Version 5.00\nnewer junk\n";
    TempStore::Write(store.UserHive(), older);
    TRegistry().KeyExists(kKey);
    TempStore::Write(store.UserHive(), newer);

    // Exercise
    TRegistry().KeyExists(kKey);
    TRegistry().KeyExists(kKey); // the same damage again changes nothing

    // Verification
    EXPECT_EQ(TempStore::Read(store.UserHive().string() + ".bad"), newer);
    EXPECT_EQ(TempStore::Read(store.UserHive().string() + ".bad.1"), older);
    EXPECT_FALSE(fs::exists(store.UserHive().string() + ".bad.1.1"));
}

TEST_F(RegistryTest, FailedWriteRaisesAndLeavesTheOldFile) {
    // Setup: a file-size limit stands in for a full disk (it binds root too).
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteInteger("Tab", 1);
    }
    const std::string before = TempStore::Read(store.UserHive());
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    // Exercise
    bool raised = false;
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteBinaryData("Big", std::vector<std::uint8_t>(4096, 0x5A));
        try {
            reg.CloseKey();
        } catch (const RegistryError&) {
            raised = true;
        }
    } // the destructor's retry fails too and must stay silent
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    // Verification
    EXPECT_TRUE(raised);
    EXPECT_EQ(TempStore::Read(store.UserHive()), before);
    EXPECT_EQ(DirEntries(),
              (std::vector<std::string>{"HKEY_CURRENT_USER.lock", "HKEY_CURRENT_USER.reg"}));
}

TEST_F(RegistryTest, UnusableDirectoryRaises) {
    // Setup: the store directory would have to live below a plain file.
    TempStore::Write(store.Dir() / "plain", "x");
    setenv("TALVENCE_REGISTRY_DIR", (store.Dir() / "plain" / "store").c_str(), 1);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteInteger("Tab", 1);

    // Exercise / Verification
    EXPECT_THROW(reg.CloseKey(), RegistryError);
}

TEST_F(RegistryTest, ReadOnlyDirectoryRaisesAndLeavesTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    // Setup
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteInteger("Tab", 1);
    }
    const std::string before = TempStore::Read(store.UserHive());
    fs::permissions(store.Dir(), fs::perms::owner_read | fs::perms::owner_exec);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteInteger("Tab", 2);

    // Exercise / Verification
    EXPECT_THROW(reg.CloseKey(), RegistryError);
    EXPECT_EQ(TempStore::Read(store.UserHive()), before);
}

TEST_F(RegistryTest, MachineHiveKnowsTheMediaLayerUntilItsFileExists) {
    // Setup
    const std::string directX = "\\Software\\Microsoft\\DirectX";

    // Exercise: the first save of the machine hive writes the seed with it.
    {
        TRegistry reg(Hive::LocalMachine);
        ASSERT_TRUE(reg.OpenKey("\\Software\\Brannock", true));
        reg.WriteString("Installed", "yes");
        reg.CloseKey();
    }

    // Verification
    TRegistry reg(Hive::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(directX, false));
    EXPECT_EQ(reg.GetDataType("Version"), ValueType::String);
    EXPECT_EQ(reg.ReadString("Version"), "4.09.00.0904");
    EXPECT_NE(TempStore::Read(store.MachineHive())
                  .find("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\DirectX]\n"
                        "\"Version\"=\"4.09.00.0904\"\n"),
              std::string::npos);
    reg.CloseKey();
    TempStore::Write(store.MachineHive(), "Windows Registry Editor Version 5.00\n\n"
                                          "[HKEY_LOCAL_MACHINE\\Software\\Microsoft]\n");
    EXPECT_FALSE(reg.OpenKey(directX, false));
    EXPECT_FALSE(TRegistry().KeyExists(directX)); // the user hive has no such seed
}

TEST_F(RegistryTest, OnlyRegularFilesAreReadAndAFifoReadsAsAnEmptyHiveAtOnce) {
    // Setup: nothing will ever write into the FIFO; opening it to read would wait.
    ASSERT_EQ(::mkfifo(store.UserHive().c_str(), 0600), 0);
    fs::create_directory(store.MachineHive());

    // Exercise
    TRegistry user;
    const bool opened = user.OpenKey(kKey, false);
    TRegistry machine(Hive::LocalMachine);
    const bool machineOpened = machine.OpenKey("\\Software", false);

    // Verification
    EXPECT_FALSE(opened);
    EXPECT_NE(user.LoadProblem().find(store.UserHive().string()), std::string::npos);
    EXPECT_FALSE(machineOpened);
    EXPECT_NE(machine.LoadProblem(), "");
    EXPECT_TRUE(fs::is_fifo(store.UserHive()));
}

TEST_F(RegistryTest, ASaveWritesThroughALinkAndRemovesWhatAKilledSaveLeft) {
    // Setup: the store is a link into another folder; two saves were killed
    // before their rename (the hive's beside the target, a kept copy's beside
    // the link).
    const fs::path elsewhere = store.Dir() / "elsewhere";
    fs::create_directory(elsewhere);
    fs::create_symlink("elsewhere/user.reg", store.UserHive());
    const fs::path left = elsewhere / ".user.reg.4242.7.tmp";
    const fs::path leftCopy = store.Dir() / ".HKEY_CURRENT_USER.reg.bad.4242.8.tmp";
    const fs::path unrelated = elsewhere / ".user.reg.notes.tmp";
    for (const fs::path& p : {left, leftCopy, unrelated})
        TempStore::Write(p, "half a save");

    // Exercise
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteInteger("Tab", 5);
        reg.CloseKey();
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));

    // Verification
    EXPECT_TRUE(fs::is_symlink(store.UserHive()));
    EXPECT_NE(TempStore::Read(elsewhere / "user.reg").find("\"Tab\"=dword:00000005"),
              std::string::npos);
    EXPECT_EQ(reg.ReadInteger("Tab"), 5);
    EXPECT_FALSE(fs::exists(left));
    EXPECT_FALSE(fs::exists(leftCopy));
    EXPECT_TRUE(fs::exists(unrelated));
}

TEST_F(RegistryTest, HandEditedFileIsReadBack) {
    // Setup: a value written as a DWORD, then changed by hand in regedit's
    // own encoding (UTF-16LE with BOM, CRLF).
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteInteger("Tab", 2);
    }
    std::string text = TempStore::Read(store.UserHive());
    const std::string dword = "\"Tab\"=dword:00000002\n";
    ASSERT_NE(text.find(dword), std::string::npos);
    text.replace(text.find(dword), dword.size(),
                 "\"Tab\"=\"two\"\n\"Zoom\"=hex:00,00,00,00,\\\n  00,00,f0,3f\n");
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
        if (c == '\n') utf16 += std::string("\r\0", 2);
        utf16 += c;
        utf16 += '\0';
    }
    TempStore::Write(store.UserHive(), utf16);

    // Exercise
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));

    // Verification
    EXPECT_EQ(reg.GetDataType("Tab"), ValueType::String);
    EXPECT_THROW(reg.ReadInteger("Tab"), RegistryError);
    EXPECT_EQ(reg.ReadString("Tab"), "two");
    EXPECT_EQ(reg.ReadBinaryData("Zoom"),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    EXPECT_FALSE(fs::exists(store.UserHive().string() + ".bad"));
}

} // namespace
} // namespace talvence::registry
