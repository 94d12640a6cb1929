#pragma once
// The main window's own texts: actions, status bar, captions, hints and start-up messages.

namespace talvence::strings {

// Window caption: "Talvence by Brannock - SOURCE".
inline constexpr const char* kCaptionBy = "by";
inline constexpr const char* kCaptionDash = " - ";

// Status bar.
inline constexpr const char* kStatusIntervalometerOff = "Intervalometer Off";
inline constexpr const char* kStatusCapture = "Capture";
inline constexpr const char* kStatusCapturedFrames = "Captured Frames";
inline constexpr const char* kStatusLostFrames = "Lost Frames";
inline constexpr const char* kStatusNoVideoSource = "No video source";
inline constexpr const char* kStatusPreview = "Preview";
inline constexpr const char* kStatusNoVideo = "No video";
inline constexpr const char* kStatusVid = "Vid: ";
inline constexpr const char* kStatusAud = " - Aud: ";
inline constexpr const char* kStatusNoAudio = "No Audio";
inline constexpr const char* kStatusFreeSpace = "%d MB free on %s";
inline constexpr const char* kStatusCapturedCount = "%d captured frames";
inline constexpr const char* kStatusLostCount = "%d lost frames";
inline constexpr const char* kStatusImageByImage = "Image by Image";
inline constexpr const char* kStatusSchedule = "Schedule";
inline constexpr const char* kStatusStartAt = "Start at ";
inline constexpr const char* kStatusCaptureUntil = "Capture until ";

// Start-up.
inline constexpr const char* kDirectXOld1 = "Vous avez DirectX ";
inline constexpr const char* kDirectXOld2 =
    "Il faut avoir au moins directX 9 pour faire tourner correctement %s version %s %s.";
inline constexpr const char* kDirectXOld3 =
    "Voulez-vous continuer quand même? Si oui, l'application risque de ne pas bien fonctionner.";
inline constexpr const char* kCannotLoadVideoSources = "Impossible to load the Video sources";
inline constexpr const char* kCannotLoadAudioSources = "Impossible to load the Audio sources";
inline constexpr const char* kInitializationFailed =
    "An unexpected error occured during initialization.";
inline constexpr const char* kNoVideoSourceEntry = "No video source";
inline constexpr const char* kNoAudioSourceEntry = "No audio source";
inline constexpr const char* kNoSettings = "[No settings]";
inline constexpr const char* kVideoInputMenu = "Video Input";

// Controls.
inline constexpr const char* kVolume = "Volume";
inline constexpr const char* kVolumeGaugeHint =
    "Volume of sound .\nType + or - at the numeric keypad to change it.";
inline constexpr const char* kVolumeSliderHint =
    "Modify the volume of audio sound.\nHas no effect on the recorded sound.";
inline constexpr const char* kCaptureButton = "Capture";
inline constexpr const char* kGrabButton = "Grab!";
inline constexpr const char* kPreviewHint =
    "Preview screen for the video stream. \nThe aspect ratio of the video may be changed with "
    "F3.\nClic left to grab an image. Clic right to open a popup menu.";
inline constexpr const char* k44100Caption = "44100Hz";
inline constexpr const char* k44100Hint =
    "Force DV audio reproduction DV at 44100 Hz.\nIn some cases, checking or unchecking this box "
    "improves\nthe sound quality through the soundcard.";
inline constexpr const char* kSettingsSubMenu = "Settings panel";
inline constexpr const char* kSettingsSubMenuHint = "Panel for setting the video and audio sources.";

// Captions the toggles take.
inline constexpr const char* kDisplayFullscreen = "Display Fullscreen";
inline constexpr const char* kQuitFullscreen = "Quit Fullscreen";
inline constexpr const char* kRestore = "Restore";
inline constexpr const char* kReduce = "Reduce";
inline constexpr const char* kTurnSoundOff = "Turn sound off";
inline constexpr const char* kTurnSoundOn = "Turn sound on";
inline constexpr const char* kRatio4x3 = "Ratio 4x3";
inline constexpr const char* kRatioNative = "Ratio native";

// Clip browser.
inline constexpr const char* kClipBrowserMissing1 =
    "Ternadex by Brannock has not been found on this computer.";
inline constexpr const char* kClipBrowserMissing2 =
    "If it is present, please indicate its name and path in the Settings panel (ALT+D).";
inline constexpr const char* kClipBrowserMissingHint = "Ternadex by Brannock has not been found.";
inline constexpr const char* kClipBrowserHint =
    "Click on the icon to open the captured clips with Ternadex by Brannock";

// Told once the window shows, when a capture left unfinished by a crash was repaired.
inline constexpr const char* kRepairedCaptures = "Captures left unfinished were repaired:";
inline constexpr const char* kSourceEndedCapture = "The video source ended: the capture stopped.";
inline constexpr const char* kCaptureStoppedOnError = "The capture stopped on an error: %s";

} // namespace talvence::strings

namespace talvence::strings {

// The camcorder window.
inline constexpr const char* kCamCaption = "Drive the camcorder: ";
inline constexpr const char* kCamTimecodeHint = "Timecode on the DV tape";
inline constexpr const char* kCamStopWhenQuit = "Stop when quit";
inline constexpr const char* kCamStopWhenQuitHint =
    "If checked, the DV camcorder will automatically stop when the application closes";
inline constexpr const char* kCamPlay = "Play";
inline constexpr const char* kCamPause = "Pause";
inline constexpr const char* kCamStop = "Stop";
inline constexpr const char* kCamSlowForward = "Slow forward";
inline constexpr const char* kCamFastForward = "Fast forward";
inline constexpr const char* kCamSlowRewind = "Slow rewind";
inline constexpr const char* kCamFastRewind = "Fast rewind";

} // namespace talvence::strings

namespace talvence::strings {

// The MovieBox priming window. Captions: the one it is created with (product and version), the
// one the main window's first show gives it; the property frame's (product, version, language).
inline constexpr const char* kPrimingCaptionAtCreation = "Settings of the MovieBox USB for %s %s";
inline constexpr const char* kPrimingCaption =
    "Launch the MovieBox USB - to make it active with Talvence";
inline constexpr const char* kPrimingFrameCaption = "the MovieBox USB for  %s %s %s";
// The instructions' pieces ("\r\n" is a line break). Their styles are in PrimingInstructions.
inline constexpr const char* kPrimingTitle = "Check if the Moviebox is well launched.";
inline constexpr const char* kPrimingPieces[] = {
    "\r\n\r\nLaunch first",
    " Studio of Pinnacle",
    " and verify if a video image is available under the tab",
    " Capture",
    " then quit Studio",
    ".\r\n\r\nYou may then verify the ",
    "Register Value",
    " under the tab",
    " I2C Utilities",
    " and check if it is equal to",
    " 80",
    ". If it is not the case, shut down the",
    " MovieBox",
    ", quit this application, turn on again the ",
    " MovieBox",
    ", launch again",
    " Studio",
    " then",
    " %s %s.\r\n\r\n", // product, version
    "You can also verify, under the tab",
    " Configuration",
    ", if the",
    " Video Source",
    " is composite or S-video, if the",
    " Format",
    " is NTSC, Pal or Secam, and also choose the bitrate of the Mpeg2 stream  (value",
    " Bitrate",
    ").",
};

} // namespace talvence::strings
