#pragma once
// The one mapping from the inlay preferences to the superposer's settings: the start-inlay
// action's settings, and the parts of it the inlay panel re-sends on its own (font, position).
// The main window's inlay action and the headless faces share it.
//
// Application thread (the superposer's setters are plain, taken at the next frame).

#include "filters/vq_superposer/vq_superposer.h"
#include "prefs/Preferences.h"

namespace talvence {

// The ranges of the inlay position sliders. The vertical one counts upwards from the bottom of
// the picture, the superposer downwards from its top.
inline constexpr int kInlaySliderMaxX = 970;
inline constexpr int kInlaySliderMaxY = 930;

// Every inlay setting of `prefs` onto the superposer, then the inlay on.
void StartInlayFromPreferences(Tvq_Superposer& superposer, const TPreferences& prefs);
// "IncrustFont": size, face, colour and the four styles.
void SendInlayFont(Tvq_Superposer& superposer, const TPreferences& prefs);
// "Position X", "position Y" (slider values) and "Alignement".
void SendInlayPosition(Tvq_Superposer& superposer, const TPreferences& prefs);

} // namespace talvence
