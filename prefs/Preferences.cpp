#include "prefs/Preferences.h"

#include "platform/log/Log.h"
#include "resources/Strings.h"

namespace talvence {

std::string PreferencesKeyPath() {
    return std::string(kVendorKeyPath) + "\\" + strings::kProductName;
}

std::string PreferencesSignature() {
    return std::string(strings::kProductName) + " " + strings::kProductVersion + " " +
           strings::kLanguageTag + strings::kBy + strings::kMakerName;
}

TFontSpec DefaultIncrustFont() {
    TFontSpec f;
    f.name = "Arial";
    f.size = 21;
    f.color = 0x00FFFFFF;
    f.bold = true;
    return f;
}

std::string WithTrailingSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

namespace {

std::string Call(const std::function<std::string()>& f) {
    return f ? f() : std::string();
}

void DeclareAll(TparameterList& l, TPreferences& p, const PreferenceEnvironment& env) {
    const int top = (env.screenHeight - env.windowOuterHeight) / 2;
    const int left = (env.screenWidth - env.windowOuterWidth) / 2;

    p.top = &l.Declare<TIntegerParameter>("Top", top);
    p.left = &l.Declare<TIntegerParameter>("Left", left);
    p.volume = &l.Declare<TIntegerParameter>("Volume", 10000);
    p.camformLeft = &l.Declare<TIntegerParameter>("Camform left", left);
    p.camformTop = &l.Declare<TIntegerParameter>("Camform top", top + env.windowOuterHeight);
    p.standardDv = &l.Declare<TTVstandardParameter>("Standard DV", std::uint8_t{0});
    p.profileWmv = &l.Declare<TIntegerParameter>("Profile wmv", 1);
    p.frequenceDv = &l.Declare<TFrequenceDVParameter>("FrequenceDV", std::uint8_t{3});
    p.correctionSync = &l.Declare<TIntegerParameter>("Correction Sync", 10);
    p.framerate = &l.Declare<TRealParameter>("Framerate", 18.0);
    p.modeIncruster = &l.Declare<TIntegerParameter>("Mode Incruster", 0);
    p.dureeIncruster = &l.Declare<TIntegerParameter>("Durée Incruster", 5);
    p.whatIncrust = &l.Declare<TIntegerParameter>("What Incrust", 0);
    p.whenIncrust = &l.Declare<TIntegerParameter>("When Incrust", 2);
    p.decalageHoraire = &l.Declare<TIntegerParameter>("Décalage Horaire", 0);
    p.alignement = &l.Declare<TIntegerParameter>("Alignement", 2);
    p.positionX = &l.Declare<TIntegerParameter>("Position X", 930);
    p.positionY = &l.Declare<TIntegerParameter>("position Y", 70);
    p.extensionDesImages = &l.Declare<TIntegerParameter>("Extension des images", 0);
    p.qualiteJpeg = &l.Declare<TIntegerParameter>("Qualité JPeg", 50);
    p.versionWmv = &l.Declare<TIntegerParameter>("Version wmv", 2);
    p.valeurIntervallometre = &l.Declare<TIntegerParameter>("Valeur Intervallomètre", 10);
    p.unitesIntervallometre = &l.Declare<TIntegerParameter>("Unités Intervallomètre", 0);
    p.panneauActif = &l.Declare<TframeNumberParameter>("Panneau Actif", std::uint8_t{0});
    p.aspectRatio = &l.Declare<TAspectRatioParameter>("Aspect ratio", std::uint8_t{0});
    p.videoDirectory = &l.Declare<TStringParameter>("Video Directory",
                                                    WithTrailingSeparator(Call(env.videoFolder)));
    p.videoRacine = &l.Declare<TStringParameter>("Video Racine", "Video");
    p.imageDirectory = &l.Declare<TStringParameter>(
        "Image Directory", WithTrailingSeparator(Call(env.picturesFolder)));
    p.imageRacine = &l.Declare<TStringParameter>("Image Racine", "Image");
    p.ternadex = &l.Declare<TStringParameter>("Ternadex", Call(env.clipBrowserPath));
    p.sourceVideo = &l.Declare<TStringParameter>("Source video", "N/A");
    p.sourceAudio = &l.Declare<TStringParameter>("Source Audio", "N/A");
    p.captureFormat = &l.Declare<TFormatCaptureParameter>("Capture Format", std::uint8_t{0});
    p.audioType = &l.Declare<TStringParameter>("Audio Type", "");
    p.formatDatecode1 = &l.Declare<TStringParameter>("Format Datecode1", "ddddd");
    p.formatDatecode2 = &l.Declare<TStringParameter>("Format Datecode2", "tt");
    p.profilWindowsMedia = &l.Declare<TStringParameter>("Profil Windows media", "N/A");
    p.profilWmvFavori = &l.Declare<TStringParameter>("Profil wmv favori", "");
    p.ecranGauche = &l.Declare<TBooleanParameter>("EcranGauche", true);
    p.ecouterAudioInclus = &l.Declare<TBooleanParameter>("Ecouter Audio inclus", true);
    p.masquerReglagesAudio = &l.Declare<TBooleanParameter>("masquer réglages audio", false);
    p.enregistrerSourceAudio = &l.Declare<TBooleanParameter>("Enregistrer Source Audio", false);
    p.fullscreenOn = &l.Declare<TBooleanParameter>("Fullscreen On", false);
    p.reducedOn = &l.Declare<TBooleanParameter>("Reduced on", false);
    p.muteOn = &l.Declare<TBooleanParameter>("Mute On", false);
    p.incrustationOn = &l.Declare<TBooleanParameter>("Incrustation On", false);
    p.vmrKeepAspectRatio = &l.Declare<TBooleanParameter>("VMR Keep aspect ratio", true);
    p.deinterlacerOn = &l.Declare<TBooleanParameter>("Deinterlacer On", false);
    p.flipOn = &l.Declare<TBooleanParameter>("Flip On", false);
    p.stopperCameraDvEnQuittant =
        &l.Declare<TBooleanParameter>("Stopper camera DV en quittant", true);
    p.videoDate = &l.Declare<TBooleanParameter>("Video Date", true);
    p.imageDate = &l.Declare<TBooleanParameter>("Image date", false);
    p.showPilotDv = &l.Declare<TBooleanParameter>("Show Pilot DV", true);
    p.forcer44100EnDv = &l.Declare<TBooleanParameter>("Forcer 44100 en DV", false);
    p.tailleAutomatique = &l.Declare<TBooleanParameter>("Taille automatique", true);
    p.sauverPreferencesEnQuittant =
        &l.Declare<TBooleanParameter>("Sauver préférences en quittant", true);
    p.confirmerImage = &l.Declare<TBooleanParameter>("Confirmer Image", true);
    p.confirmerVideo = &l.Declare<TBooleanParameter>("Confirmer Video", true);
    p.scn = &l.Declare<TBooleanParameter>("Scn", false);
    p.utiliserCirrus = &l.Declare<TBooleanParameter>("Utiliser Cirrus", true);
    p.beeps = &l.Declare<TBooleanParameter>("Beeps", false);
    p.incrustFont = &l.Declare<TFontParameter>("IncrustFont", DefaultIncrustFont());
}

} // namespace

void DeclarePreferences(TparameterList& list, TPreferences& prefs,
                        const PreferenceEnvironment& env) {
    try {
        DeclareAll(list, prefs, env);
        list.LoadAll();
    } catch (const std::exception& e) {
        // Whatever was declared keeps its default.
        TLOG(Store) << "Loading the preferences: " << e.what();
    }
}

void SavePreferences(TparameterList& list) {
    try {
        list.SaveAll();
    } catch (const std::exception& e) {
        TLOG(Store) << "Saving the preferences: " << e.what();
    }
}

void DeletePreferences(IDialogs& dialogs) {
    using strings::Fmt;
    const std::string product = strings::kProductName;
    const std::string question =
        Fmt(strings::kAskDeletePrefs1, {product}) + "\n" + strings::kAskDeletePrefs2;
    if (dialogs.MessageBox(MsgType::Warning, question, MsgButtons::YesNo) != MsgAnswer::Yes) return;

    bool deleted = false;
    try {
        registry::TRegistry reg(registry::Hive::CurrentUser);
        // A vendor key without our sub-key holds nothing of ours: that is
        // "not found", not a deletion.
        if (reg.OpenKey(kVendorKeyPath, false) && reg.KeyExists(PreferencesKeyPath())) {
            reg.DeleteKey(product);
            if (!reg.HasSubKeys()) reg.DeleteKey(kVendorKeyPath);
            reg.CloseKey();
            deleted = true;
        }
    } catch (const registry::RegistryError& e) {
        dialogs.MessageBox(MsgType::Error, Fmt(strings::kPrefsNotDeleted, {product, e.what()}),
                           MsgButtons::Ok);
        return;
    }
    if (deleted)
        dialogs.MessageBox(MsgType::Information, Fmt(strings::kPrefsDeleted, {product}),
                           MsgButtons::Ok);
    else
        dialogs.MessageBox(MsgType::Warning, Fmt(strings::kPrefsNotFound, {product}),
                           MsgButtons::Ok);
}

int DvAudioRateIndex(const std::string& text) {
    if (text == "native") return 0;
    if (text == "32000 Hz") return 1;
    if (text == "44100 Hz") return 2;
    if (text == "48000 Hz") return 3;
    return 0;
}

} // namespace talvence
