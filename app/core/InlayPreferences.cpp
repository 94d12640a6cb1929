#include "app/core/InlayPreferences.h"

namespace talvence {

void StartInlayFromPreferences(Tvq_Superposer& s, const TPreferences& prefs) {
    s.SetInlayAutoMode(prefs.modeIncruster->value);
    s.SetInlaySource(static_cast<std::uint8_t>(prefs.whatIncrust->value));
    s.SetInlayWhen(static_cast<std::uint8_t>(prefs.whenIncrust->value));
    s.SetInlayDuration(prefs.dureeIncruster->value);
    s.SetInlayHourOffset(prefs.decalageHoraire->value);
    SendInlayPosition(s, prefs);
    s.SetInlayAutoFontSize(prefs.tailleAutomatique->value);
    SendInlayFont(s, prefs);
    s.SetInlayFormats(prefs.formatDatecode1->value, prefs.formatDatecode2->value);
    s.SetInlayActive(true);
}

void SendInlayFont(Tvq_Superposer& s, const TPreferences& prefs) {
    const TFontSpec& font = prefs.incrustFont->value;
    s.SetInlayFontSize(font.size);
    s.SetInlayFontName(font.name);
    s.SetInlayFontColor(font.color);
    s.SetInlayBold(font.bold);
    s.SetInlayItalic(font.italic);
    s.SetInlayUnderline(font.underline);
    s.SetInlayStrikeOut(font.strikeOut);
}

void SendInlayPosition(Tvq_Superposer& s, const TPreferences& prefs) {
    s.SetInlayPosition(prefs.positionX->value, kInlaySliderMaxY - prefs.positionY->value,
                       static_cast<std::uint8_t>(prefs.alignement->value));
}

} // namespace talvence
