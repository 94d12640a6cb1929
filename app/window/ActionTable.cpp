#include "app/window/ActionTable.h"

#include <algorithm>

namespace talvence {

const std::vector<ActionSpec>& MainWindowActions() {
    static const std::vector<ActionSpec> actions = {
        {"acGrab", "action", "Grab!", "Grab a picture", "F5", "CTRL+G"},
        {"acfullscreen", "action", "Fullscreen", "Fullscreen", "Alt+Return", "F11", true},
        {"acMute", "action", "Turn sound off",
         "Put sound on or off.\nHas no effect on what is captured.", "Ctrl+M", "", true},
        {"acCapturerBascule", "action", "Capture",
         "Capture the video stream to the hard drive.\nYou may also start and stop the capture "
         "with the Space bar",
         "Space", "", true},
        {"acCouper", "action", "Cut", "Cut the current capture and resume into a new file.", "F7",
         "CTRL+X"},
        {"acProgrammerBascule", "action", "Schedule", "", "Ctrl+P", "", true},
        {"acIncruster", "action", "Inlay", "Start inlay", "F12", "CTRL+I", true},
        {"acStartIncruster", "action", "Inlay", "", "", ""},
        {"acStopIncruster", "action", "Stop", "", "", ""},
        {"acDesentrelacer", "action", "Deinterlace",
         "Add or remove the filter Pinnacle Video Deinterlacer", "Ctrl+D", "", true},
        {"acVMRKeepratio", "action", "Native ratio aspect",
         "Modify the aspect ratio of the preview.\nThe captured video is not affected.", "F3", "",
         true},
        {"acFlip", "action", "Flip the image", "Flip the video top<=>down ", "F4", "", true},
        {"acEcouterAudioInclus", "action", "Listen to included audio", "", "", "", true},
        {"acEnregistrerAudioSource", "action", "Add Audio AUX", "", "", "", true},
        {"acTernadex", "action", "Ternadex", "Launch Ternadex with the captured AVI clips", "F8",
         ""},
        {"acOuvrirDossierVideos", "action", "Open the folder of captured videos",
         "Go to the folder where the video clips are captured.", "", ""},
        {"acIncVolume", "action", "Increase the volume", "", "Num++", ""},
        {"acDecVolume", "action", "Decrease the volume", "", "Num+-", ""},
        {"acJpgOption", "Options", "Jpg", "", "Ctrl+J", ""},
        {"acBmpOption", "Options", "Bmp", "", "Ctrl+B", ""},
        {"acSauverPrefs", "Options", "", "", "Ctrl+S", ""},
        {"acQuitter", "general", "Quit", "Quit", "Alt+F4", "CTRL+Q"},
        {"acSourcesFrame", "frame", "Sources panel",
         "Panel for setting the video and audio sources.", "F2", "ALT+S", true, 0},
        {"acDossiersFrame", "frame", "Folders panel",
         "Panel for choosing the directories where to save\nvideos and pictures.", "Alt+D", "",
         true, 1},
        {"acProgrammerFrame", "frame", "Schedule panel", "Panel for scheduling a capture", "Alt+P",
         "", true, 2},
        {"acExtraireFrame", "frame", "Grab panel",
         "Panel for grabbing a picture.\nFeatures an intervalometer.", "Alt+G", "", true, 3},
        {"acIncrusterFrame", "frame", "Inlay panel", "Panel for inlaying datetime into the video.",
         "Alt+I", "", true, 4},
        {"acOptionsFrame", "frame", "Settings panel", "Panel for settings and preferences.", "F10",
         "ALT+O", true, 5},
        {"acHelp", "frame", "Help panel", "Panel for displaying the keyboard shortcuts", "F1",
         "ALT+H", true, 6},
        {"acApropos", "frame", "About panel...", "About Talvence", "Alt+A", "", true, 7},
        {"acNextPanneau", "frame", "Next panel", "", "F6", "ALT+N"},
        {"acBasculerPanneau", "frame", "Mirror the window", "", "Alt+W", ""},
        {"acReduire", "frame", "Reduce", "", "Alt+Backspace", "", true},
        {"acSliders", "frame", "Show the sliders of inlay", "", "Alt+Y", "", true},
        {"camPlay", "camera", "Play", "", "Ctrl+Space", ""},
        {"camPause", "camera", "Pause", "", "Ctrl+Del", ""},
        {"camStop", "camera", "Stop", "", "Ctrl+End", ""},
        {"camAvanceLent", "camera", "Slow Forward", "", "Ctrl+Right", ""},
        {"camAvanceRapide", "camera", "fast forward", "", "Ctrl+Up", ""},
        {"camReculeLent", "camera", "Slow backward", "", "Ctrl+Left", ""},
        {"camReculeRapide", "camera", "Fast backward", "", "Ctrl+Down", ""},
    };
    return actions;
}

const ActionSpec* FindAction(std::string_view name) {
    const auto& actions = MainWindowActions();
    const auto it = std::find_if(actions.begin(), actions.end(),
                                 [&](const ActionSpec& a) { return a.name == name; });
    return it == actions.end() ? nullptr : &*it;
}

} // namespace talvence
