#include "app/Startup.h"

#include "system/PSFunctions.h"
#include "system/SystemReport.h"

#include <cstdio>

namespace talvence {

PreferenceEnvironment SystemPreferenceEnvironment(int screenWidth, int screenHeight) {
    PreferenceEnvironment env;
    env.screenWidth = screenWidth;
    env.screenHeight = screenHeight;
    env.windowOuterWidth = kMainWindowOuterWidth;
    env.windowOuterHeight = kMainWindowOuterHeight;
    env.videoFolder = [] { return VideoFolder(); };
    env.picturesFolder = [] { return PicturesFolder(); };
    env.clipBrowserPath = [] { return ClipBrowserPath(); };
    return env;
}

int RunSystemReport(int screenWidth, int screenHeight) {
    TparameterList list(PreferencesKeyPath(), PreferencesSignature());
    TPreferences prefs;
    DeclarePreferences(list, prefs, SystemPreferenceEnvironment(screenWidth, screenHeight));
    if (const std::string damage = StoreLoadReportText(list.LoadReport()); !damage.empty())
        std::fprintf(stderr, "%s\n", damage.c_str());
    const std::string text = SystemReportText(CollectSystemReportFacts(), list);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

} // namespace talvence
