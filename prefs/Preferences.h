#pragma once
// The catalogue of the program's preferences: every value of the store with
// its class and default, declared in the order in which they are loaded and
// saved, and the procedures that save and delete the store.

#include "platform/shell/Dialogs.h"
#include "prefs/Parameters.h"

#include <functional>
#include <string>

namespace talvence {

// "\Software\Brannock\" followed by the product name.
inline constexpr const char* kVendorKeyPath = "\\Software\\Brannock";
std::string PreferencesKeyPath();
// "Talvence 4.1.3 En by Brannock".
std::string PreferencesSignature();

// What the computed defaults are made of, at declaration time.
struct PreferenceEnvironment {
    int screenWidth = 1024;
    int screenHeight = 768;
    int windowOuterWidth = 800;
    int windowOuterHeight = 600;
    std::function<std::string()> videoFolder;     // the user's video folder
    std::function<std::string()> picturesFolder;  // the user's pictures folder
    std::function<std::string()> clipBrowserPath; // the clip browser's executable
};

// Every preference, named after its value name. The list owns them; these
// are plain references for the rest of the program, valid for the list's life.
struct TPreferences {
    TIntegerParameter* top = nullptr;                         // "Top"
    TIntegerParameter* left = nullptr;                        // "Left"
    TIntegerParameter* volume = nullptr;                      // "Volume"
    TIntegerParameter* camformLeft = nullptr;                 // "Camform left"
    TIntegerParameter* camformTop = nullptr;                  // "Camform top"
    TTVstandardParameter* standardDv = nullptr;               // "Standard DV"
    TIntegerParameter* profileWmv = nullptr;                  // "Profile wmv"
    TFrequenceDVParameter* frequenceDv = nullptr;             // "FrequenceDV"
    TIntegerParameter* correctionSync = nullptr;              // "Correction Sync"
    TRealParameter* framerate = nullptr;                      // "Framerate"
    TIntegerParameter* modeIncruster = nullptr;               // "Mode Incruster"
    TIntegerParameter* dureeIncruster = nullptr;              // "Durée Incruster"
    TIntegerParameter* whatIncrust = nullptr;                 // "What Incrust"
    TIntegerParameter* whenIncrust = nullptr;                 // "When Incrust"
    TIntegerParameter* decalageHoraire = nullptr;             // "Décalage Horaire"
    TIntegerParameter* alignement = nullptr;                  // "Alignement"
    TIntegerParameter* positionX = nullptr;                   // "Position X"
    TIntegerParameter* positionY = nullptr;                   // "position Y"
    TIntegerParameter* extensionDesImages = nullptr;          // "Extension des images"
    TIntegerParameter* qualiteJpeg = nullptr;                 // "Qualité JPeg"
    TIntegerParameter* versionWmv = nullptr;                  // "Version wmv"
    TIntegerParameter* valeurIntervallometre = nullptr;       // "Valeur Intervallomètre"
    TIntegerParameter* unitesIntervallometre = nullptr;       // "Unités Intervallomètre"
    TframeNumberParameter* panneauActif = nullptr;            // "Panneau Actif"
    TAspectRatioParameter* aspectRatio = nullptr;             // "Aspect ratio"
    TStringParameter* videoDirectory = nullptr;               // "Video Directory"
    TStringParameter* videoRacine = nullptr;                  // "Video Racine"
    TStringParameter* imageDirectory = nullptr;               // "Image Directory"
    TStringParameter* imageRacine = nullptr;                  // "Image Racine"
    TStringParameter* ternadex = nullptr;                     // "Ternadex"
    TStringParameter* sourceVideo = nullptr;                  // "Source video"
    TStringParameter* sourceAudio = nullptr;                  // "Source Audio"
    TFormatCaptureParameter* captureFormat = nullptr;         // "Capture Format"
    TStringParameter* audioType = nullptr;                    // "Audio Type"
    TStringParameter* formatDatecode1 = nullptr;              // "Format Datecode1"
    TStringParameter* formatDatecode2 = nullptr;              // "Format Datecode2"
    TStringParameter* profilWindowsMedia = nullptr;           // "Profil Windows media"
    TStringParameter* profilWmvFavori = nullptr;              // "Profil wmv favori"
    TBooleanParameter* ecranGauche = nullptr;                 // "EcranGauche"
    TBooleanParameter* ecouterAudioInclus = nullptr;          // "Ecouter Audio inclus"
    TBooleanParameter* masquerReglagesAudio = nullptr;        // "masquer réglages audio"
    TBooleanParameter* enregistrerSourceAudio = nullptr;      // "Enregistrer Source Audio"
    TBooleanParameter* fullscreenOn = nullptr;                // "Fullscreen On"
    TBooleanParameter* reducedOn = nullptr;                   // "Reduced on"
    TBooleanParameter* muteOn = nullptr;                      // "Mute On"
    TBooleanParameter* incrustationOn = nullptr;              // "Incrustation On"
    TBooleanParameter* vmrKeepAspectRatio = nullptr;          // "VMR Keep aspect ratio"
    TBooleanParameter* deinterlacerOn = nullptr;              // "Deinterlacer On"
    TBooleanParameter* flipOn = nullptr;                      // "Flip On"
    TBooleanParameter* stopperCameraDvEnQuittant = nullptr;   // "Stopper camera DV en quittant"
    TBooleanParameter* videoDate = nullptr;                   // "Video Date"
    TBooleanParameter* imageDate = nullptr;                   // "Image date"
    TBooleanParameter* showPilotDv = nullptr;                 // "Show Pilot DV"
    TBooleanParameter* forcer44100EnDv = nullptr;             // "Forcer 44100 en DV"
    TBooleanParameter* tailleAutomatique = nullptr;           // "Taille automatique"
    TBooleanParameter* sauverPreferencesEnQuittant = nullptr; // "Sauver préférences en quittant"
    TBooleanParameter* confirmerImage = nullptr;              // "Confirmer Image"
    TBooleanParameter* confirmerVideo = nullptr;              // "Confirmer Video"
    TBooleanParameter* scn = nullptr;                         // "Scn"
    TBooleanParameter* utiliserCirrus = nullptr;              // "Utiliser Cirrus"
    TBooleanParameter* beeps = nullptr;                       // "Beeps"
    TFontParameter* incrustFont = nullptr;                    // "IncrustFont"
};

// The inlay's default font: "Arial", 21 points, white, bold.
TFontSpec DefaultIncrustFont();

// Creates every preference in catalogue order with its default, then loads
// the store once. A failure inside is swallowed: preferences created before
// it keep their defaults, the ones after it are not created.
void DeclarePreferences(TparameterList& list, TPreferences& prefs,
                        const PreferenceEnvironment& env);

// SaveAll, with any failure swallowed.
void SavePreferences(TparameterList& list);

// Asks the user, then removes the product's key (and the vendor key when
// nothing else of the vendor is left), telling the user what happened.
void DeletePreferences(IDialogs& dialogs);

// "native" 0, "32000 Hz" 1, "44100 Hz" 2, "48000 Hz" 3, anything else 0.
int DvAudioRateIndex(const std::string& text);

// Appends "/" unless the folder already ends with one.
std::string WithTrailingSeparator(std::string folder);

} // namespace talvence
