// The Windows Media profile choice of the panels, over our profile manager.

#include "graph/WindowsMediaProfiles.h"
#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

class WindowsMediaProfilesTest : public ::testing::Test {
protected:
    std::unique_ptr<TWmProfileManager> manager = TWmProfileManager::Create();
};

TEST_F(WindowsMediaProfilesTest, EachVersionListsItsProfilesAfterTheDefaultsEntry) {
    ASSERT_NE(manager, nullptr);
    // Without the manager only the first entry is there.
    EXPECT_EQ(ListWindowsMediaProfiles(nullptr, 2),
              std::vector<std::string>{"Use the default profiles"});
    const auto v4 = ListWindowsMediaProfiles(manager.get(), 0);
    const auto v8 = ListWindowsMediaProfiles(manager.get(), 2);
    ASSERT_EQ(v4.size(), 4u);
    ASSERT_EQ(v8.size(), 5u);
    EXPECT_EQ(v8[0], "Use the default profiles");
    // Entry k + 1 is system profile k, the one without video included.
    for (int entry = 1; entry < 5; ++entry) {
        const auto profile = ChosenSystemProfile(*manager, 2, entry);
        ASSERT_TRUE(profile.has_value());
        EXPECT_EQ(v8[entry].rfind(profile->GetName(), 0), 0u) << v8[entry];
        EXPECT_EQ(profile->FirstOfType(MEDIATYPE_Video) == nullptr,
                  v8[entry] == profile->GetName() + " (no video)")
            << v8[entry];
        EXPECT_EQ(profile->FirstOfType(MEDIATYPE_Audio)->codec, WmCodec::Wmav2);
    }
    EXPECT_EQ(ChosenSystemProfile(*manager, 0, 1)->FirstOfType(MEDIATYPE_Video)->codec,
              WmCodec::Msmpeg4v3);
    EXPECT_EQ(ChosenSystemProfile(*manager, 1, 1)->FirstOfType(MEDIATYPE_Video)->codec,
              WmCodec::Wmv1);
    EXPECT_FALSE(ChosenSystemProfile(*manager, 0, 4).has_value());
}

TEST_F(WindowsMediaProfilesTest, AFavouriteTheVersionDoesNotListSelectsTheDefaultProfiles) {
    // Setup: a profile of version 8 stored, version 4 chosen.
    const std::string favourite = ListWindowsMediaProfiles(manager.get(), 2)[2];

    // Exercise
    const TProfileControls other =
        ApplyWindowsMediaPreferences(manager.get(), true, 3, 0, favourite);
    const TProfileControls same =
        ApplyWindowsMediaPreferences(manager.get(), true, 3, 2, favourite);
    const TProfileControls notWmv =
        ApplyWindowsMediaPreferences(manager.get(), false, 3, 2, favourite);

    // Verification
    EXPECT_EQ(other.selection.cboxIndex, 0);
    EXPECT_EQ(other.selection.text, "Use the default profiles");
    EXPECT_TRUE(other.selection.view.defaultProfilesVisible);
    EXPECT_FALSE(other.selection.view.profileLabelVisible);
    EXPECT_EQ(other.selection.view.favoriteProfile, "Use the default profiles");
    EXPECT_EQ(same.selection.cboxIndex, 2);
    EXPECT_FALSE(same.selection.view.defaultProfilesVisible);
    EXPECT_TRUE(same.selection.view.profileLabelVisible);
    EXPECT_FALSE(notWmv.selection.view.defaultProfilesVisible);
    EXPECT_FALSE(notWmv.selection.view.profileLabelVisible);
    EXPECT_EQ(ProfileEntryIndex({}, favourite), -1);
}

TEST_F(WindowsMediaProfilesTest, ThePopUpMenuListsTheEntriesAndAClickSelectsOne) {
    const auto entries = ListWindowsMediaProfiles(manager.get(), 1);
    const auto items = pmProfilesPopup(entries, 2);
    ASSERT_EQ(items.size(), entries.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].caption, entries[i]);
        EXPECT_EQ(items[i].tag, static_cast<int>(i));
        EXPECT_EQ(items[i].checked, i == 2);
    }
    const TProfileSelection chosen = capsetItem(true, entries, items[1].tag);
    EXPECT_EQ(chosen.cboxIndex, 1);
    EXPECT_EQ(chosen.text, entries[1]);
    EXPECT_TRUE(chosen.view.profileLabelVisible);
    EXPECT_EQ(chosen.view.favoriteProfile, entries[1]);
    EXPECT_TRUE(capsetItem(true, entries, 0).view.defaultProfilesVisible);
}

TEST_F(WindowsMediaProfilesTest, TheCapturesProfileLosesItsSoundWithoutAudio) {
    // The default profile of rgProfiles when no system profile is chosen.
    const auto low = ProfileForCapture(*manager, 0, 2, 2, true);
    ASSERT_TRUE(low.has_value());
    EXPECT_EQ(low->GetName(), "Low");
    EXPECT_EQ(low->GetStreamCount(), 2);
    const auto silent = ProfileForCapture(*manager, 0, 2, 2, false);
    ASSERT_EQ(silent->GetStreamCount(), 1);
    EXPECT_TRUE(silent->GetStream(0)->IsVideo());
    // A chosen system profile wins; the one without video has nothing left without sound.
    EXPECT_EQ(ProfileForCapture(*manager, 1, 0, 2, true)->GetName(),
              ChosenSystemProfile(*manager, 0, 1)->GetName());
    EXPECT_EQ(ProfileForCapture(*manager, 3, 2, 0, false)->GetStreamCount(), 0);
}

} // namespace
} // namespace talvence
