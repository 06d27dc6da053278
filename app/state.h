// The process state of the program, owned by the shell and the program's only process-wide
// state: what the user has chosen and done so far, the frame and its drag, the preview's working
// pixels and its copy at device resolution. Back to the start, all of it, with AppStateReset.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "app/devicecopies.h"
#include "app/document.h"
#include "app/frame.h"
#include "app/settings.h"
#include "picture/working_pixels.h"

struct AppState {
    uint32_t castColour = 0;    // measured cast, red | green << 8 | blue << 16; 0 = none
    std::string fileName;       // picture last chosen or dropped; seeds the save dialog
    OutputSettings output;      // the output's choices, read from the settings file at start
    std::string requestedFile;  // result of the open dialog
    FrameState frame;
    int32_t event = 0;  // code of the last event, 0 after a wait without one
    int32_t eventSource = 0;
    bool quitRequested = false;
    // The preview's pixels as captured after a load or an export, and the adjusted ones.
    WorkingPixels pixels;
    // A new preview was made and the window still shows what was there before.
    bool previewAreaStale = false;
    // The preview at device resolution on a screen with more than one device pixel per pixel.
    DeviceCopies deviceCopies;
    // The preview shows the picture without the adjustments ("before"), with its label made for
    // a preview of `beforeLabelFor` rows (0: none made).
    bool showBefore = false;
    int beforeLabelFor = 0;
    // The frame carries lines at its thirds.
    bool thirdsGrid = false;
    // The picture's history since it was loaded, and the settings as the last step left them.
    Document document;
    ViewState lastView;
    // What the window's title says in front of its name until `noticeEnds` (where a save went);
    // empty when it shows only its name.
    std::string notice;
    std::chrono::steady_clock::time_point noticeEnds;
};

// The one instance.
extern AppState g_app;

// Back to the state at start: everything zero, buffers released.
void AppStateReset();
