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
inline constexpr const char* kOwnMpeg2DecoderUsed =
    "MPEG-2 video is decoded by the system's own MPEG-2 Video Decoder.";
inline constexpr const char* kMovieBoxDemuxName = "Pinnacle MPEG2 Demux II (MovieBox USB version)";

// Schedule panel.
inline constexpr const char* kScheduleTitle = "Schedule (Alt+P)";
inline constexpr const char* kNowHint = "Set date and time of end equal to date and time of "
                                        "start.\nMakes it easy to add two hours or so";
inline constexpr const char* kClockHint = "real time from computer";
inline constexpr const char* kScheduleButton = "Schedule";
inline constexpr const char* kScheduleButtonHint = "Start scheduling";
inline constexpr const char* kStartGroup = "Start";
inline constexpr const char* kStartGroupHint = "Date and time of Start of scheduled capture";
inline constexpr const char* kEndGroup = "End";
inline constexpr const char* kEndGroupHint = "Date and time of End of scheduled capturet";
inline constexpr const char* kStartHourHint =
    "Set the hours in the start time of the scheduled capture.";
inline constexpr const char* kStartMinuteHint =
    "Set the minutes in the start time of the scheduled capture.";
inline constexpr const char* kStartSecondHint =
    "Set the seconds in the start time of the scheduled capture.";
inline constexpr const char* kStartDateHint = "Set the Date of Start of the scheduled capture";
inline constexpr const char* kEndHourHint =
    "Set the hours in the end time of the scheduled capture.";
inline constexpr const char* kEndMinuteHint =
    "Set the minutes in the end time of the scheduled capture.";
inline constexpr const char* kEndSecondHint =
    "Set the seconds in the end time of the scheduled capture.";
inline constexpr const char* kEndDateHint = "Set the date of the end of the scheduled capture.";
inline constexpr const char* kPastEnd =
    "It's not possible to schedule the end of a capture to a past date and time";
inline constexpr const char* kPastStart =
    "It's not possible to schedule the start of a capture to a past date and time";
inline constexpr const char* kStartNowQuestion = "Do you want to start immediately the capture?";
inline constexpr const char* kEndBeforeStart =
    "The end of a scheduled capture must come after its start. Please check the end date and time.";
inline constexpr const char* kFolderNotCreated = " cannot be created.";
inline constexpr const char* kTooFarAhead =
    "It's not possible to schedule a capture more than a year ahead. Please check the dates.";

// Inlay panel.
inline constexpr const char* kInlayTitle = "Inlay (Alt+I)";
inline constexpr const char* kInlayModeManual = "Manual";
inline constexpr const char* kInlayModeAuto = "Auto";
inline constexpr const char* kInlayDuration = "Duration in seconds";
inline constexpr const char* kInlayTimeDifference = "Time difference";
inline constexpr const char* kInlayFormat1 = "Format date 1";
inline constexpr const char* kInlayFormat2 = "Format date 2";
inline constexpr const char* kInlayFont = "Font";
inline constexpr const char* kInlayStandardSize = "Standard size";
inline constexpr const char* kInlayButton = "Inlay";
inline constexpr const char* kInlayAlignment = "Alignment";
inline constexpr const char* kInlayLeft = "Left";
inline constexpr const char* kInlayCentered = "Centered";
inline constexpr const char* kInlayRight = "Right";
inline constexpr const char* kInlayRealTime = "Real date and time";
inline constexpr const char* kInlayDvDatecode = "DV datecode";
inline constexpr const char* kInlayTimecode = "Timecode";
inline constexpr const char* kInlayUnique = "Unique";
inline constexpr const char* kInlayDaily = "Daily";
inline constexpr const char* kInlayScene = "Scene";
inline constexpr const char* kInlayModeHint =
    "Choose automatic or manual inlays. \nIn Automatic mode, if the video source is a DV device in "
    "VCR mode, \nthen the inlay is enabled at each scene change,\nelse there will be a unique "
    "inlay, or a daily repeated inlay, with the given duration.";
inline constexpr const char* kInlayDurationHint =
    "Duration (approximatively) in seconds for an automatic inlay.";
inline constexpr const char* kInlayOffsetGroupHint =
    "You may change the DV datecode, if you have missed to set the summer time,\nor to correct a "
    "time difference.";
inline constexpr const char* kInlayOffsetHint =
    "Add or substract some hours to the datecode beeing inlayed.\nOnly available in DV mode. "
    "Useful to fix a time difference or a summer/winter time change\nthat was missed in the "
    "camera internal clock.";
inline constexpr const char* kInlayChoiceHint =
    "In DV mode you may choose between inlay of the actual time (indicated by the computer "
    "system)\nand inlay the datecode or the timecode, that is contained in DV frames.\nIn other "
    "cases, only the actual time may be inlayed.";
inline constexpr const char* kInlayFormat1Hint =
    "Format for inlaying the datecode into the video\nfor example ddddd  to put the date. A line "
    "may be kept empty or contain text.";
inline constexpr const char* kInlayFormat2Hint =
    "Format for inlaying the datecode into the video\nfor example hh:nn:ss or tt to put the time.";
inline constexpr const char* kInlayFontHint =
    "Choose the font of inlay. Caution: the default font\nin white color seems to give the best "
    "results.";
inline constexpr const char* kInlayAutoSizeHint =
    "If checked, the size of the inlay will be set automatically\naccording to the video image "
    "size (Recommended).";
inline constexpr const char* kInlayAlignmentHint = "Alignment of the two inlayed lines.";
inline constexpr const char* kInlayWhenHint =
    "Inaly may be set automatically to display once, \n at each scene change or at each new day.";
inline constexpr const char* kInlayStop = "Stop inlay";
inline constexpr const char* kInlayStartHint = "Start inlay";
inline constexpr const char* kInlayStopHint = "Stop inlaying a date";
inline constexpr const char* kShowSliders = "Show the sliders of inlay";
inline constexpr const char* kHideSliders = "Hide the sliders of inlay";
inline constexpr const char* kCornerHint =
    "Click on this corner to display or hide\nthe cursors to set the inlay  position.";
inline constexpr const char* kYSliderHint =
    "Drag the cursor to modify the vertical position of inlays";
inline constexpr const char* kXSliderHint =
    "Drag the cursor to modify the horizontal position of inlays";
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
