// System facts: names of the system and media layer, folders, sounds, and
// the small text and geometry helpers.

#include "system/PSFunctions.h"
#include "platform/registry/Registry.h"
#include "resources/Resources.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using registry::Hive;
using registry::TRegistry;
using testing::TempStore;

OsVersionInfo Windows(OsPlatform platform, unsigned major, unsigned minor, std::string sp,
                      unsigned build) {
    OsVersionInfo v;
    v.platform = platform;
    v.major = major;
    v.minor = minor;
    v.servicePack = std::move(sp);
    v.build = build;
    return v;
}

TEST(OperatingSystemName, NamesTheWindowsFamilies) {
    struct Case {
        OsVersionInfo info;
        std::string name;
    } cases[] = {
        {Windows(OsPlatform::WindowsNT, 5, 1, "Service Pack 2", 2600),
         "Windows XP Service Pack 2 - build 2600"},
        // Only a lowercase "a" selects Second Edition.
        {Windows(OsPlatform::Windows9x, 4, 10, " A", 2222), "Windows 98  A - build 2222"},
        {Windows(OsPlatform::Windows9x, 4, 10, " a", 2222),
         "Windows 98 Second Edition  a - build 2222"},
        {Windows(OsPlatform::Windows9x, 4, 0, " B", 1111), "Windows 95 OSR 2  B - build 1111"},
        {Windows(OsPlatform::Windows9x, 4, 0, " c", 1111), "Windows 95 OSR 2  c - build 1111"},
        {Windows(OsPlatform::Windows9x, 4, 0, " C", 1111), "Windows 95  C - build 1111"},
        {Windows(OsPlatform::Windows9x, 4, 90, "", 3000), "Windows ME  - build 3000"},
        {Windows(OsPlatform::Windows9x, 4, 50, "", 1), "Windows 9X  - build 1"},
        {Windows(OsPlatform::Windows9x, 5, 0, "", 1), "Unknown  - build 1"},
        {Windows(OsPlatform::Win32s, 1, 0, "", 1), "Windows 3.1  - build 1"},
        {Windows(OsPlatform::WindowsNT, 3, 51, "", 1057), "Windows NT 3.5  - build 1057"},
        {Windows(OsPlatform::WindowsNT, 4, 0, "Service Pack 6", 1381),
         "Windows NT 4 Service Pack 6 - build 1381"},
        {Windows(OsPlatform::WindowsNT, 5, 0, "", 2195), "Windows 2000  - build 2195"},
        {Windows(OsPlatform::WindowsNT, 5, 2, "", 3790), "Windows Server 2003  - build 3790"},
        {Windows(OsPlatform::WindowsNT, 5, 3, "", 1), "Windows NT ?  - build 1"},
        {Windows(OsPlatform::WindowsNT, 6, 0, "", 0x10000 + 6000), "Windows NT ?  - build 6000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OperatingSystemName(c.info), c.name);
}

TEST(OperatingSystemName, LinuxUsesThePrettyNameAndKernelRelease) {
    OsVersionInfo v;
    v.platform = OsPlatform::Linux;
    v.prettyName = PrettyNameFromOsRelease("NAME=\"Debian GNU/Linux\"\n"
                                           "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    v.servicePack = "6.1.0-25-amd64";
    v.build = 1;

    EXPECT_EQ(OperatingSystemName(v), "Debian GNU/Linux 12 (bookworm) 6.1.0-25-amd64 - build 1");
    EXPECT_EQ(PrettyNameFromOsRelease("ID=debian\n"), "Linux");
    EXPECT_FALSE(OperatingSystemName().empty());
}

TEST(DirectXVersion, TextFromTheVersionValue) {
    EXPECT_EQ(DirectXVersionTextFrom("4.09.00.0904"), "9.0c");
    EXPECT_EQ(DirectXVersionTextFrom("4.09.00.0902"), "9.0b");
    EXPECT_EQ(DirectXVersionTextFrom("4.09.00.0900"), "9.0 ");
    EXPECT_EQ(DirectXVersionTextFrom("4.08.01.0810"), "8.1 ");
    EXPECT_EQ(DirectXVersionTextFrom("4.09.00.0901"), "9.0a");
    EXPECT_EQ(DirectXVersionTextFrom("4.09.00.0905"), "9.0e");
    EXPECT_EQ(DirectXVersionTextFrom(std::nullopt), "Error");
    EXPECT_EQ(DirectXVersionTextFrom(""), "Error");
    EXPECT_EQ(DirectXVersionTextFrom("4.09"), "Error");
    EXPECT_EQ(DirectXVersionTextFrom("4.x9.00.0904"), "Error");
    EXPECT_EQ(DirectXVersionTextFrom("4..00.0904"), "Error");
    EXPECT_EQ(DirectXVersionTextFrom("4.99999999999.00.1"), "Error");

    EXPECT_EQ(DirectXMajorVersionFrom("9.0c"), 9);
    EXPECT_EQ(DirectXMajorVersionFrom("10.1 "), 10);
    EXPECT_EQ(DirectXMajorVersionFrom("Error"), 0);
    EXPECT_EQ(DirectXMajorVersionFrom(".5"), 0);
}

TEST(DirectXVersion, ReadFromTheLocalMachineHive) {
    TempStore store;

    // A machine without a local-machine file answers the media layer's version.
    EXPECT_EQ(DirectXVersionText(), "9.0c");
    EXPECT_EQ(DirectXMajorVersion(), 9);

    TempStore::Write(store.MachineHive(), "Windows Registry Editor Version 5.00\n\n"
                                          "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\DirectX]\n"
                                          "\"Version\"=\"4.08.01.0810\"\n");
    EXPECT_EQ(DirectXVersionText(), "8.1 ");
    EXPECT_EQ(DirectXMajorVersion(), 8);

    TempStore::Write(store.MachineHive(), "Windows Registry Editor Version 5.00\n\n"
                                          "[HKEY_LOCAL_MACHINE\\Software\\Other]\n");
    EXPECT_EQ(DirectXVersionText(), "Error");
    EXPECT_EQ(DirectXMajorVersion(), 0);
}

TEST(Folders, StoredFoldersWinThenTheSystemsThenHome) {
    UserFolders sys{"/home/u", "/home/u/Videos", ""};

    EXPECT_EQ(PersonalFolderFrom("", sys), "/home/u");
    EXPECT_EQ(PersonalFolderFrom("/data", sys), "/data");
    EXPECT_EQ(PersonalFolderFrom("", UserFolders{}), "/");
    EXPECT_EQ(MediaFolderFrom("", sys.movies, "/home/u"), "/home/u/Videos");
    EXPECT_EQ(MediaFolderFrom("", sys.pictures, "/home/u"), "/home/u");
    EXPECT_EQ(MediaFolderFrom("/mnt/v", sys.movies, "/home/u"), "/mnt/v");
}

TEST(Folders, ReadFromTheStoreAndNeverCreateKeys) {
    TempStore store;
    EXPECT_FALSE(VideoFolder().empty());
    EXPECT_EQ(ClipBrowserPath(), "");
    EXPECT_FALSE(std::filesystem::exists(store.UserHive()));

    {
        TRegistry reg(Hive::CurrentUser);
        reg.OpenKey(kShellFoldersKey, true);
        reg.WriteString("Personal", "/srv/me");
        reg.WriteString("My Video", "/srv/me/films");
        reg.OpenKey(kClipBrowserKey, true);
        reg.WriteString("Exename", "/opt/browser/run");
        reg.CloseKey();
    }

    EXPECT_EQ(VideoFolder(), "/srv/me/films");
    EXPECT_EQ(PersonalFolder(), "/srv/me");
    EXPECT_EQ(ClipBrowserPath(), "/opt/browser/run");
}

class RecordingPlayer : public IWavePlayer {
public:
    std::vector<std::vector<std::uint8_t>> played;
    void PlaySync(std::span<const std::uint8_t> file) override {
        played.emplace_back(file.begin(), file.end());
    }
};

TEST(Sounds, TheBeepsAreShortPcmWaves) {
    RecordingPlayer player;

    PlayShotSound(player);
    PlayTickSound(player);

    ASSERT_EQ(player.played.size(), 2u);
    const std::size_t lengths[] = {649, 635};
    for (int i = 0; i < 2; ++i) {
        auto wave = ParseWave(player.played[i]);
        ASSERT_TRUE(wave.has_value());
        EXPECT_EQ(wave->formatTag, 1);
        EXPECT_EQ(wave->channels, 1);
        EXPECT_EQ(wave->bitsPerSample, 8);
        EXPECT_EQ(wave->sampleRate, 11025u);
        EXPECT_EQ(wave->samples.size(), lengths[i]);
    }
    // Played for real (or skipped silently without a sound card): never fails.
    PlayTickSound();
}

TEST(Sounds, ParseWaveRefusesWhatItCannotPlay) {
    auto beep = resources::FindResource("beep0");
    std::vector<std::uint8_t> file(beep.begin(), beep.end());

    EXPECT_FALSE(ParseWave({}).has_value());
    EXPECT_FALSE(ParseWave(std::span(file).first(20)).has_value()); // no data chunk
    auto truncated = ParseWave(std::span(file).first(100));         // data cut short
    ASSERT_TRUE(truncated.has_value());
    EXPECT_EQ(truncated->samples.size(), 100u - 44u);
    file[20] = 3; // not PCM
    EXPECT_FALSE(ParseWave(file).has_value());
    std::vector<std::uint8_t> hostile = {'R', 'I', 'F', 'F', 0,   0,   0,    0,    'W',  'A',
                                         'V', 'E', 'd', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(ParseWave(hostile).has_value());
}

TEST(SmallHelpers, IndexOrFirst) {
    EXPECT_EQ(IndexOrFirst("b", {"a", "b"}), 1);
    EXPECT_EQ(IndexOrFirst("B", {"a", "b"}), 0);
    EXPECT_EQ(IndexOrFirst("x", {}), -1);
}

TEST(SmallHelpers, FitToAspect) {
    struct Case {
        int w, h, kind, w2, h2;
    } cases[] = {
        {720, 576, 1, 720, 540},  {0, 0, 2, 640, 360},         {0, 0, 1, 640, 480},
        {1000, 300, 1, 400, 300}, {1920, 1080, 2, 1920, 1080}, {720, 576, 2, 720, 405},
        {500, 100, 2, 177, 100},  {720, 576, 3, 720, 576},     {641, 1000, 1, 640, 480},
        {-5, 100, 1, 133, 100},
    };
    for (const auto& c : cases) {
        int w = c.w, h = c.h;
        FitToAspect(w, h, c.kind);
        EXPECT_EQ(w, c.w2) << c.w << "x" << c.h << " kind " << c.kind;
        EXPECT_EQ(h, c.h2) << c.w << "x" << c.h << " kind " << c.kind;
    }
}

TEST(SmallHelpers, TwoDigits) {
    EXPECT_EQ(TwoDigits(7), "07");
    EXPECT_EQ(TwoDigits(0), "00");
    EXPECT_EQ(TwoDigits(42), "42");
    EXPECT_EQ(TwoDigits(123), "23");
}

} // namespace
} // namespace talvence
