#include "app/core/InlayPreferences.h"

namespace talvence {

void StartInlayFromPreferences(Tvq_Superposer& s, const TPreferences& prefs) {
    s.SetInlaySource(static_cast<std::uint8_t>(prefs.whatIncrust->value));
    s.SetInlayWhen(static_cast<std::uint8_t>(prefs.whenIncrust->value));
    s.SetInlayAutoMode(prefs.modeIncruster->value);
    s.SetInlayDuration(prefs.dureeIncruster->value);
    s.SetInlayHourOffset(prefs.decalageHoraire->value);
    s.SetInlayFormats(prefs.formatDatecode1->value, prefs.formatDatecode2->value);
    // The vertical slider runs 0..930 upwards, the picture downwards.
    s.SetInlayPosition(prefs.positionX->value, 930 - prefs.positionY->value,
                       static_cast<std::uint8_t>(prefs.alignement->value));
    s.SetInlayAutoFontSize(prefs.tailleAutomatique->value);
    const TFontSpec& font = prefs.incrustFont->value;
    s.SetInlayFontName(font.name);
    s.SetInlayFontSize(font.size);
    s.SetInlayFontColor(font.color);
    s.SetInlayBold(font.bold);
    s.SetInlayItalic(font.italic);
    s.SetInlayUnderline(font.underline);
    s.SetInlayStrikeOut(font.strikeOut);
    s.SetInlayActive(true);
}

} // namespace talvence
