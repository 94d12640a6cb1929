// A store cut short anywhere either loads whole or is kept aside and reported.

#include "prefs/Preferences.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace talvence {
namespace {

namespace fs = std::filesystem;
using testing::TempStore;

struct Declared {
    TparameterList list{PreferencesKeyPath(), PreferencesSignature()};
    TPreferences prefs;
    Declared() {
        list.clock = [] { return 45358.5; };
        list.exeName = "/usr/bin/talvence";
        PreferenceEnvironment env;
        env.videoFolder = [] { return std::string("/home/u/Videos"); };
        DeclarePreferences(list, prefs, env);
    }
};

// Every preference away from its default, so that a fallback shows.
void ChangeEveryValue(TparameterList& list) {
    for (const auto& item : list.Items()) {
        TParameter* p = item.get();
        if (auto* i = dynamic_cast<TIntegerParameter*>(p)) i->value += 1234;
        if (auto* r = dynamic_cast<TRealParameter*>(p)) r->value += 0.25;
        if (auto* t = dynamic_cast<TStringParameter*>(p)) t->value += "/x";
        if (auto* b = dynamic_cast<TBooleanParameter*>(p)) b->value = !b->value;
        if (auto* n = dynamic_cast<TByteParameter*>(p)) n->value += 1;
        if (auto* f = dynamic_cast<TFontParameter*>(p)) f->value.size += 1;
    }
}

std::vector<std::string> Values(const TparameterList& list) {
    std::vector<std::string> values;
    for (const auto& item : list.Items())
        values.push_back(item->ValueText());
    return values;
}

TEST(StoreDamage, EveryCutOfASavedStoreLoadsWholeOrIsKeptAsideAndReported) {
    // Setup: the walk keeps about 2000 copies aside, each synced.
    TempStore store(TempStore::InMemoryBase());
    std::vector<std::string> saved;
    {
        Declared d;
        ChangeEveryValue(d.list);
        d.list.SaveAll();
        saved = Values(d.list);
    }
    const std::string whole = TempStore::Read(store.UserHive());
    const fs::path bad = store.UserHive().string() + ".bad";
    // The one cut that reads as the store the preferences' deletion leaves.
    const std::string asDeleted = "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software]";

    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        const std::string text = whole.substr(0, cut);
        TempStore::Write(store.UserHive(), text);
        fs::remove(bad);

        // Exercise
        Declared d;

        // Verification
        const StoreLoadReport& report = d.list.LoadReport();
        const std::vector<std::string> values = Values(d.list);
        if (cut == whole.size()) EXPECT_TRUE(report.Empty()) << StoreLoadReportText(report);
        if (values == saved) continue;
        if (text.rfind(asDeleted, 0) == 0 && text.size() <= asDeleted.size() + 2) continue;
        ASSERT_FALSE(report.Empty()) << "cut at " << cut << ": ..." << text.substr(cut - 30);
        ASSERT_EQ(TempStore::Read(bad), text) << "cut at " << cut;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::string& name = d.list.Items()[i]->Name();
            if (values[i] != saved[i])
                ASSERT_EQ(std::count(report.defaulted.begin(), report.defaulted.end(), name), 1)
                    << "cut at " << cut << ": " << name << " not reported";
        }
    }
}

} // namespace
} // namespace talvence
