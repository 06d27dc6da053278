// The numbers the program gives its window, its images and its controls, named once.
#pragma once

// Window number of the main window.
constexpr int kMainWindow = 0;

// Image numbers.
constexpr int kDepthTestImage = 1;  // scratch image of the screen-depth test at start
constexpr int kPictureImage = 100;  // the loaded picture at full resolution
constexpr int kPreviewImage = 101;  // the preview, at most 480 x 476
// The cut being exported is a bitmap of the export's own and takes no number.

// Control numbers of the main window.
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
// Made when the preview first shows the picture without its adjustments, hidden otherwise.
constexpr int kBeforeLabel = 27;  // "Vorher" in the preview's lower-left corner

// The track bar and value label of each tone setting, in the order of kToneSettings.
struct ToneBar {
    int bar, label;
};
inline constexpr ToneBar kToneBars[] = {
    {kGammaBar, kGammaLabel},           {kWhiteBar, kWhiteLabel},       {kBlackBar, kBlackLabel},
    {kSaturationBar, kSaturationLabel}, {kContrastBar, kContrastLabel},
};
