#pragma once
// The start-inlay action's settings: the inlay preferences handed to the superposer, which then
// draws from its next frame. The main window's inlay action and the headless faces share it.
//
// Application thread (the superposer's setters are plain, taken at the next frame).

#include "filters/vq_superposer/vq_superposer.h"
#include "prefs/Preferences.h"

namespace talvence {

// Every inlay setting of `prefs` onto the superposer, then the inlay on.
void StartInlayFromPreferences(Tvq_Superposer& superposer, const TPreferences& prefs);

} // namespace talvence
