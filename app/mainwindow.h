// The main window, window 0, and the numbers of its 27 controls.
#pragma once

// Window number of the main window.
constexpr int kMainWindow = 0;

// Client size of the main window.
constexpr int kMainClientWidth = 711;
constexpr int kMainClientHeight = 562;

// Control numbers.
constexpr int kPreviewFrame = 0;  // group frame around the preview
constexpr int kFormatLabel = 1;
constexpr int kFormatCombo = 2;  // print format: frame ratio
constexpr int kSaveButton = 3;
constexpr int kQuitButton = 4;
constexpr int kAdjustFrame = 5;  // group frame "Bildbearbeitung"
constexpr int kGammaLabel = 6;
constexpr int kGammaBar = 7;
constexpr int kWhiteLabel = 8;
constexpr int kWhiteBar = 9;
constexpr int kBlackLabel = 10;
constexpr int kBlackBar = 11;
constexpr int kSaturationLabel = 12;
constexpr int kSaturationBar = 13;
constexpr int kContrastLabel = 14;
constexpr int kContrastBar = 15;
constexpr int kLoadButton = 16;
constexpr int kDefaultsButton = 17;
constexpr int kProgressBar = 18;
constexpr int kPortraitToggle = 19;
constexpr int kCastCheckBox = 20;
constexpr int kCastSwatch = 21;
constexpr int kClipboardLoadButton = 22;
constexpr int kClipboardSaveButton = 23;
constexpr int kOutputLabel = 24;
constexpr int kOutputCombo = 25;  // output size, read when exporting
constexpr int kStatusLine = 26;

// Title once the controls have their starting state.
constexpr const char* kMainTitle = "Kadrovo V0.3";

// ---------------------------------------------------------------------------------------------
// Main window
// ---------------------------------------------------------------------------------------------

// Opens window 0 (client 711 x 562, centred, fixed size, title "Kadrovo") and creates controls
// 0 to 26 with their tooltips. Stops at the first failure to open the window or begin its
// control list; returns false then.
bool BuildMainWindow();
// The frame step of keyboard command `command` (event 273): true with (dx, dy) in preview pixels
// for Alt with an arrow key (one pixel; ten with Shift as well), false for any other number.
bool FrameStepFor(int command, int& dx, int& dy);
// Gives the controls their ranges, items and starting values, hides the swatch, accepts dropped
// files and sets the final title.
void SetStartingState();
