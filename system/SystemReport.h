#pragma once
// The system report: what the program runs on and with which settings.

#include "prefs/Parameters.h"

#include <string>

namespace talvence {

struct SystemReportFacts {
    std::string operatingSystem; // OperatingSystemName()
    std::string mediaLayerText;  // DirectXVersionText()
    int mediaLayerMajor = 0;     // DirectXMajorVersion()
    std::string storeDirectory;  // where the preference store lives
    std::string storeKey;        // the preferences' key in the current user's hive
};

// The facts of this machine.
SystemReportFacts CollectSystemReportFacts();

// One line per fact, then one line per preference in list order.
std::string SystemReportText(const SystemReportFacts& facts, const TparameterList& prefs);

} // namespace talvence
