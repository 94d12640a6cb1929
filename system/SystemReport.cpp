#include "system/SystemReport.h"

#include "platform/registry/Registry.h"
#include "prefs/Preferences.h"
#include "resources/Strings.h"
#include "system/PSFunctions.h"

namespace talvence {

SystemReportFacts CollectSystemReportFacts() {
    SystemReportFacts f;
    f.operatingSystem = OperatingSystemName();
    f.mediaLayerText = DirectXVersionText();
    f.mediaLayerMajor = DirectXMajorVersionFrom(f.mediaLayerText);
    f.storeDirectory = registry::RegistryDirectory().string();
    f.storeKey = std::string("HKEY_CURRENT_USER") + PreferencesKeyPath();
    return f;
}

std::string SystemReportText(const SystemReportFacts& facts, const TparameterList& prefs) {
    std::string out;
    out += std::string(strings::kProductName) + " " + strings::kProductVersion + "\n";
    out += "Operating system: " + facts.operatingSystem + "\n";
    out += "Media layer: DirectX " + facts.mediaLayerText;
    if (facts.mediaLayerMajor < 9) out += " (version 9 or later is required)";
    out += "\n";
    out += "Preference store: " + facts.storeDirectory + " (" + facts.storeKey + ")\n";
    out += "Preferences in force:\n";
    for (const auto& p : prefs.Items())
        out += "  " + p->Name() + " = " + p->ValueText() + "\n";
    return out;
}

} // namespace talvence
