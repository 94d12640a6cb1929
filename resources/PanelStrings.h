#pragma once
// The English texts of the side panels, the error panel and the system
// report. Two-line hints are kept as one entry with a "\n" between the lines.

namespace talvence::strings {

// Sources panel.
inline constexpr const char* kSourcesTitle = "Sources (F2)";
inline constexpr const char* kVideoSourceGroup = "Video source";
inline constexpr const char* kVideoListHint = "List of video capture sources";
inline constexpr const char* kRefreshVideoHint =
    "Update the list of video capture sources.\n"
    "Useful if, meanwhile,  a new video source has been enabled.";
inline constexpr const char* kPilotHint = "Display or hide the camcorder driver";
inline constexpr const char* kVideoSettingsHint = "Settings of video source.";
inline constexpr const char* kAudioSourcesGroup = "Audio sources";
inline constexpr const char* kAudioSourcesHint = "Whether to add an audio source";
inline constexpr const char* kAudioTypeHint = "Type of audio source";
inline constexpr const char* kAudioTypeNone = "No audio";
inline constexpr const char* kAudioListHint = "Choose the audio source";
inline constexpr const char* kAudioSettingsHint =
    "Settings of audio source.\nAllows to select the audio entry.";
inline constexpr const char* kAudioDoneHint = "Hide the audio settings.";
inline constexpr const char* kSyncLabel = "Sync";
inline constexpr const char* kSyncHint =
    "Fix the sync.\n+x to advance the Audio of x frames\n-x to delay the Audio of x frames";
inline constexpr const char* kListenIncludedAudio = "Listen to included audio";
inline constexpr const char* kAddAudioAux = "Add Audio AUX";
inline constexpr const char* kSourcesNextVideoHint =
    "Indicates the name of the next video to record,\n"
    "or the name of the presently beeing recorded video.";
inline constexpr const char* kCaptureFormatGroup = "Format of capture";
inline constexpr const char* kCaptureFormatHint =
    "List of available capture formats.\nApplies to the next video.";
inline constexpr const char* kWmvProfilesHint = "Basic profiles for capturing in wmv";
inline constexpr const char* kWmvProfileHigh = "High";
inline constexpr const char* kWmvProfileMedium = "Medium";
inline constexpr const char* kWmvProfileLow = "Low";
inline constexpr const char* kWmvProfileInternet = "Internet";
inline constexpr const char* kStandardHint = "TV standard used to compress in DV type 2";
inline constexpr const char* kStandardPal = "Pal";
inline constexpr const char* kStandardNtsc = "NTSC";
inline constexpr const char* kFrequencyGroup = "Frequency";
inline constexpr const char* kFrequencyHint = "Frequency used to compress in DV type 2";
inline constexpr const char* kFrequency32000 = "32000 Hz";
inline constexpr const char* kFrequency44100 = "44100 Hz";
inline constexpr const char* kFrequency48000 = "48000 Hz";
inline constexpr const char* kFramerateLabel = "Images/second";
inline constexpr const char* kFramerateHint =
    "Number of images per second of the avi file produced with capturing image by image.\n"
    "It can be a decimal number.";
inline constexpr const char* kFramerateDefault = "18";
inline constexpr const char* kWmvProfileNote =
    "Windows Media\nprofile set in\nthe Settings\npanel\n (F10).";

// Directories panel.
inline constexpr const char* kDirectoriesTitle = "Directories (Alt+D)";
inline constexpr const char* kVideoFilesGroup = "Video Files";
inline constexpr const char* kVideoFilesHint = "Define the avi file for capture";
inline constexpr const char* kDirsNextVideoHint =
    "Indicates the next name for capture,\n"
    "or the current name if capture is beeing processed.\n"
    "Click here to go to the Sources panel.";
inline constexpr const char* kOpenVideosHint = "Open the folder where the videos are saved";
inline constexpr const char* kVideoDirHint =
    "Choose the directory into which the captured videos will be saved.";
inline constexpr const char* kVideoRootHint = "Root for the name of the captured video files.";
inline constexpr const char* kVideoRootDefault = "Video";
inline constexpr const char* kIncludeDate = "Include date";
inline constexpr const char* kVideoDateHint = "Add or remove the date to the video filename.";
inline constexpr const char* kImageFilesGroup = "Image Files";
inline constexpr const char* kImageFilesHint = "Set the name and folder for grabbed images";
inline constexpr const char* kNextImageHint =
    "Name of the next grabbed image.\nClic to display the image grab panel.";
inline constexpr const char* kOpenImagesHint = "Open the folder where the images are saved.";
inline constexpr const char* kImageDirHint = "Directory in which the images are saved";
inline constexpr const char* kImageRootHint = "Root used to build the image name.";
inline constexpr const char* kImageRootDefault = "Image";
inline constexpr const char* kImageDateHint = "Add or remove the date to the image filename";
inline constexpr const char* kClipBrowserGroup = "Ternadex";
inline constexpr const char* kClipBrowserFileHint =
    "Browse your harddisk, and indicate here the path to the exefile Ternadex.\n"
    "Then you will be able to open the captured clips with Ternadex by clicking on F8\n"
    "or on the icon of the About panel (Alt+A).";
inline constexpr const char* kChooseFolder = "Choose a folder";
inline constexpr const char* kChooseFile = "Choose a file";

// Settings panel.
inline constexpr const char* kSettingsTitle = "Settings (F10)";
inline constexpr const char* kPreferencesGroup = "Preferences";
inline constexpr const char* kSaveNow = "Save the preferences now";
inline constexpr const char* kSaveNowHint =
    "Save the current preferences.\nCaution: all future modifications will not be saved.";
inline constexpr const char* kDeletePrefs = "Delete the preferences";
inline constexpr const char* kDeletePrefsHint =
    "Delete all preferences of Talvence from the registry. At next start,\n"
    "the default values will be loaded.\n"
    "Recommended before uninstalling the program.";
inline constexpr const char* kSaveOnQuit = "Save the preferences when quit";
inline constexpr const char* kSaveOnQuitHint =
    "Save the preferences when quitting the application.\nRecommended.";
inline constexpr const char* kWmvGroup = "Standard profiles of wmv";
inline constexpr const char* kWmvGroupHint = "Settings of Windows media for capture in format Wmv.";
inline constexpr const char* kWmvVersionLabel = "Version\nof Windows Media";
inline constexpr const char* kWmvVersion4 = "4";
inline constexpr const char* kWmvVersion7 = "7";
inline constexpr const char* kWmvVersion8 = "8";
inline constexpr const char* kWmvListPlaceholder = "cboxMedia";
inline constexpr const char* kConfirmImage = "Confirm before replacing an existing image";
inline constexpr const char* kConfirmImageHint =
    "Always ask a confirmation before deleting an existent image file.";
inline constexpr const char* kSnapshotTypeHint = "Choose the type of snapshots";
inline constexpr const char* kSnapshotBmp = "bmp";
inline constexpr const char* kSnapshotJpeg = "jpeg";
inline constexpr const char* kJpegQualityGroup = "Jpeg quality";
inline constexpr const char* kJpegQualityHint =
    "Set the quality of Jpeg.\nmini at left - maxi at right";
inline constexpr const char* kSceneFile = "Create a scn file.";
inline constexpr const char* kSceneFileHint =
    "Create a scn file to fasten the loading of the video file in Studio of Pinnacle,\n"
    "and allow to browse from scene to scene in Ternadex.";
inline constexpr const char* kConfirmVideo = "Confirm before replacing a video";
inline constexpr const char* kConfirmVideoHint =
    "Always ask a confirmation before deleting an existent video file.";

// Help panel.
inline constexpr const char* kShortcutsTab = "Keyboard shortcuts";
inline constexpr const char* kCamcorderTab = "Camcorder";
inline constexpr const char* kSystemTab = "System";
inline constexpr const char* kFunctionColumn = "Function";
inline constexpr const char* kKeysColumn = "Keyboards";
inline constexpr const char* kCamcorderHeading = "Drive a DV camcorder";
// Rows of the camcorder tab, "function=keys".
inline constexpr const char* kCamcorderRows[] = {"Play=Ins", "Pause=Del", "Stop=End",
                                                 "Advance Slow=Right Atrrow"};
inline constexpr const char* kCamcorderNote = "These commands are only active\n"
                                              "if a digital camcorder is connected\n"
                                              "to a firewire plug,\n"
                                              "and if it is set on in VCR mode.";

// About panel.
inline constexpr const char* kAboutClipBrowserHint =
    "Click to open the captured clips with Ternadex.";
inline constexpr const char* kAboutDescription =
    "Talvence previews a DV camcorder, a USB MPEG-2 box, a capture card or a webcam "
    "and records it to disk: DV type 1 or type 2 AVI, DV with the recording date and "
    "time inlaid into the picture, Windows Media, the native MPEG-2 stream, or an AVI "
    "assembled image by image.\n\n"
    "It writes a scene list beside each DV clip, grabs still images by hand or with an "
    "intervalometer, runs scheduled captures and drives a DV camcorder in VCR mode.";

// Error panel.
inline constexpr const char* kSorry = " is sorry:";
inline constexpr const char* kFatalPhrase = " has encountered a fatal error";
inline constexpr const char* kProblemPhrase = " has found potential problems";
inline constexpr const char* kOnYourSystem = " on your system:";
inline constexpr const char* kSendMeMail =
    "You should send me an e-mail about this problem, and indicate please which program you "
    "are using, under which operating system , what kind of video steam is currently working "
    ", its codec...\nTo get help about %s, informations, or updates, please visit my web site.";
inline constexpr const char* kSendReportLink = "Send an error report by  e-mail";
inline constexpr const char* kErrorReportSubject = "Error report of ";
inline constexpr const char* kSupportAddress = "support@brannock.example";
inline constexpr const char* kClose = "Close";
inline constexpr const char* kNoVideoSources = "Impossible to load the Video sources";
inline constexpr const char* kNoAudioSources = "Impossible to load the Audio sources";
inline constexpr const char* kDirectXIs = "DirectX ";
inline constexpr const char* kIsInstalled = " is installed. ";
inline constexpr const char* kOperatingSystemIs = "The operating system is ";

// System report.
inline constexpr const char* kYourSystemIs = "Your operating system is: ";
inline constexpr const char* kYouUse = "You use:";
inline constexpr const char* kDirectXVersion = "DirectX version ";
inline constexpr const char* kFiltersHeading = "Filters:";
inline constexpr const char* kMovieBoxHeading = "MovieBox:";
inline constexpr const char* kTheFilter = "The filter ";
inline constexpr const char* kIsPresent = " is present.";
inline constexpr const char* kIsNotFound = " is not found.";
inline constexpr const char* kDeinterlacerName = "Pinnacle Video Deinterlacer";
inline constexpr const char* kDumpName = "Dump";
inline constexpr const char* kCirrusSplitterName = "Cirrus Splitter";
inline constexpr const char* kMpeg2DecoderName = "Pinnacle MPEG2 Decoder";
inline constexpr const char* kMovieBoxDemuxName = "Pinnacle MPEG2 Demux II (MovieBox USB version)";

// Grab panel, stills and the intervalometer.
inline constexpr const char* kGrabTitle = "Grab images (F5)";
inline constexpr const char* kGrabBevelHint = "Last grabbed and saved image";
inline constexpr const char* kGrabThumbnailHint = "Last grabbed image";
inline constexpr const char* kIntervalometerGroup = "Intervalometer";
inline constexpr const char* kIntervalometerHint =
    "Intervalometer for garbbing images at periodic time intervals.";
inline constexpr const char* kCountdownHint = "Delay in seconds till the next snapshot.";
inline constexpr const char* kIntervalValueHint = "Values for the time interval";
inline constexpr const char* kIntervalUnitHint = "Units for the time interval";
inline constexpr const char* kIntervalUnits[] = {"seconds", "frames", "minutes", "hours"};
inline constexpr const char* kIntervalSwitchHint = "Toggle intervalometer.";
inline constexpr const char* kSwitchOn = "On";
inline constexpr const char* kSwitchOff = "Off";
inline constexpr const char* kBeeps = "Beeps";
inline constexpr const char* kBeepsHint =
    "Enable sound  beeps, warning of an imminent image capture.";
inline constexpr const char* kNextImageGroup = "Next image";
inline constexpr const char* kDestinationHint =
    "Name of the file for the next grabbed picture.\nClick on it to change the folder.";
inline constexpr const char* kIntervalometerEvery = "1 image every %s %s";
inline constexpr const char* kIntervalTooLong =
    "An interval of %s %s is too long: the intervalometer waits at most 596 hours "
    "(2147483 seconds) between two images.";
inline constexpr const char* kImageExists1 = "The image ";
inline constexpr const char* kImageExists2 = " exists already. Do you want to replace it?";
inline constexpr const char* kImageExists3 =
    "If you click on \"All\", then you will no more be prompted for confirmation";
inline constexpr const char* kImageWriteFailed = "Cannot create file \"%s\". %s";
inline constexpr const char* kJpegEncoderFailed = "The JPEG encoder failed.";
inline constexpr const char* kNoFrameToGrab =
    "No picture has reached the preview yet: no image was written.";

} // namespace talvence::strings
