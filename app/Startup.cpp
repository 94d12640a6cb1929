#include "app/Startup.h"

#include "resources/Strings.h"
#include "resources/WindowStrings.h"

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

bool MediaLayerCheckPasses(IDialogs& dialogs, int majorVersion, const std::string& versionText) {
    if (majorVersion >= 9) return true;
    const std::string text =
        std::string(strings::kDirectXOld1) + versionText + ".\n" +
        strings::Fmt(strings::kDirectXOld2, {strings::kProductName, strings::kProductVersion,
                                             strings::kLanguageTag}) +
        "\n" + strings::kDirectXOld3;
    return dialogs.MessageBox(MsgType::Warning, text, MsgButtons::YesNo) == MsgAnswer::Yes;
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
