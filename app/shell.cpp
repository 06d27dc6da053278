#include "app/shell.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "app/adjust.h"
#include "app/commandline.h"
#include "app/edit.h"
#include "app/export.h"
#include "app/frame.h"
#include "app/ids.h"
#include "app/mainwindow.h"
#include "app/preview.h"
#include "app/refusal.h"
#include "app/selection.h"
#include "app/state.h"
#include "app/view.h"
#include "imagelib/clipboard.h"
#include "imagelib/draw.h"
#include "imagelib/image.h"
#include "imagelib/library_start.h"
#include "imagelib/load.h"
#include "picture/cast.h"
#include "platform/input.h"
#include "platform/raster.h"
#include "toolkit/control.h"
#include "toolkit/desktop.h"
#include "toolkit/requester.h"
#include "toolkit/window.h"

namespace {

constexpr int kWaitMs = 500;
// How long a notice stays in the window's title.
constexpr auto kNoticeTime = std::chrono::seconds(6);
// Every extension under which the readers' formats are saved (the readers go by the contents);
// the dialog ignores letter case.
constexpr const char* kOpenPattern =
    "Bilder (*.bmp,*.jpg,*.jpeg,*.jpe,*.jfif,*.png,*.ico,*.heic,*.heif,*.avif,*.webp)|"
    "*.bmp;*.jpg;*.jpeg;*.jpe;*.jfif;*.png;*.ico;*.heic;*.heif;*.avif;*.webp|"
    "Alle Dateien (*.*)|*.*";
constexpr const char* kTitle = "Kadrovo";
constexpr int kWarningFlags = MB_OK | MB_ICONEXCLAMATION;

void ClipboardLoadRequested() {
    bool taken = false;
    {
        BusyCursor busy;
        taken = ImageFromClipboard(kPictureImage) != 0;
        if (taken) NewPictureSequence(ReadWindowSettings());
    }
    if (!taken) ShowMessage(kTitle, "Die Zwischenablage enthält kein Bild.", kWarningFlags);
}

// How the desktop knows the program: the name of its .desktop file and its icon, built into the
// executable (missing in the test programs, which then show none).
constexpr const char* kProgram = "kadrovo";
constexpr const char* kDesktopId = "org.kadrovo.Kadrovo";
constexpr const char* kIconFiles[] = {":/icons/kadrovo-48.png", ":/icons/kadrovo-128.png",
                                      ":/icons/kadrovo-256.png"};

void CastCheckBoxChanged(const WindowSettings& settings) {
    if (settings.removeCast) {
        // The measurement reads the captured, unadjusted preview; without one nothing changes.
        if (!PreviewCaptured()) return;
        g_app.castColour = CastMeasure();
        ControlSetColour(kCastSwatch, COLOUR_BACKGROUND,
                         static_cast<int32_t>(CastSwatchColour(g_app.castColour)));
        ControlHide(kCastSwatch, 0);
        ControlSetTip(kCastSwatch, "Aktuell ermittelter Farbstich (verstärkt dargestellt)");
    } else {
        g_app.castColour = 0;
        ControlHide(kCastSwatch, 1);
    }
    ApplyAdjustments(settings);
}

// The open dialog starts in the folder of the picture loaded last, else in the home folder.
std::string OpenDialogStart() {
    const size_t slash = g_app.fileName.rfind('/');
    if (slash != std::string::npos) return g_app.fileName.substr(0, slash + 1);
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/" : std::string();
}

void OpenFileRequested() {
    g_app.requestedFile = AskOpenFile("Bild einladen", OpenDialogStart().c_str(), kOpenPattern, 0);
    if (g_app.requestedFile.empty()) return;
    LoadPicture(g_app.requestedFile);
}

}  // namespace

bool StartUpLibraries() {
    AppStateReset();
    if (!ToolkitInit()) return false;
    DrawInit();
    ImageLibraryStart();
    return true;
}

bool CheckScreenDepth() {
    ImageNew(kDepthTestImage, 320, 240);
    const int depth = ImageGetDepth(kDepthTestImage);
    ImageRelease(kDepthTestImage);
    return depth >= 24;
}

void ShutDownLibraries() {
    WindowCloseAll();
    ImageReleaseAll();
}

std::string TakeDroppedFiles(int* others) {
    std::string last;
    if (others) *others = 0;
    const uintptr_t drop = EventParam();
    if (drop == 0) return last;
    const int count = DropQueryCount(drop);
    if (others && count > 1) *others = count - 1;
    for (int i = 0; i < count; ++i)
        last = DropQueryFile(drop, i);
    DropFinish(drop);
    return last;
}

bool LoadPicture(const std::string& path) {
    // The loader keeps the picture held under 100 when the file cannot be read, so the preview,
    // frame, name and controls are left as they are; the user is told why.
    LoadResult loaded;
    {
        BusyCursor busy;
        LoadPreview preview;
        preview.size = frame::PreviewSize;
        loaded = ImageLoadFile(kPictureImage, path.c_str(), &preview);
        if (loaded && ImageExists(kPictureImage)) {
            const WindowSettings settings = ResetAdjustments(ReadWindowSettings());
            g_app.fileName = path;
            NewPictureSequence(settings, std::move(preview.bitmap));
        }
    }
    if (loaded && ImageExists(kPictureImage)) {
        // The part that was read stays, to be framed and saved; the grey rest must not pass for
        // the picture.
        if (loaded.Incomplete())
            ShowMessage(kTitle, LoadIncompleteText(path, loaded.rows).c_str(), kWarningFlags);
        return true;
    }
    ShowMessage(kTitle, LoadRefusalText(path, loaded.error).c_str(), kWarningFlags);
    return false;
}

void OpenNamedFile(const std::string& name, int others) {
    if (!name.empty()) LoadPicture(name);
    if (others > 0) ShowMessage(kTitle, NotOpenedText(others).c_str(), kWarningFlags);
}

void NewPictureSequence(WindowSettings settings, std::unique_ptr<raster::Bitmap> preview) {
    g_app.showBefore = false;
    SetValueLabels(settings.tone);
    BuildPreview(std::move(preview));
    ResetSelection(false, settings);
    RedrawPreview(settings);
    // A preview that cannot be captured stays as it is: the adjustments then leave it alone.
    (void)PixelsCapture();
    HistoryStart();
}

namespace {

// Runs of settings changes that make one step of the history: a drag of the frame, a run of its
// arrow-key steps; a track bar's run is numbered by the bar.
constexpr int kRunFrameDrag = 1000;
constexpr int kRunFrameKeys = 1001;

// The run a control's event belongs to: a track bar's moves until it is released or its keys
// rest; every other control's change is a step of its own.
int RunOf(int source) {
    for (const ToneBar& bar : kToneBars)
        if (bar.bar == source) return source;
    return 0;
}

}  // namespace

void DispatchControl(int source) {
    const bool picture = ImageExists(kPictureImage) != 0;
    WindowSettings settings = ReadWindowSettings();
    // Whatever the control does, it does to the adjusted picture, which the preview shows again.
    ShowAfter(settings);
    switch (source) {
        case kFormatCombo:
            if (!picture) break;
            ResetSelection(true, settings);
            ClampSelection();
            RedrawPreview(settings);
            break;
        case kPortraitToggle:
            if (!picture) break;
            std::swap(g_app.frame.selection.height, g_app.frame.selection.width);
            ResetSelection(true, settings);
            ClampSelection();
            RedrawPreview(settings);
            break;
        case kSaveButton:
            if (!picture) {
                ShowMessage(kTitle, "Es ist kein Bild geladen.", kWarningFlags);
            } else {
                BusyCursor busy;
                SelectionExport(false, settings);
            }
            break;
        case kLoadButton:
            OpenFileRequested();
            break;
        case kClipboardLoadButton:
            ClipboardLoadRequested();
            break;
        case kClipboardSaveButton:
            if (!picture) {
                ShowMessage(kTitle, "Es ist kein Bild geladen.", kWarningFlags);
            } else {
                BusyCursor busy;
                SelectionExport(true, settings);
            }
            break;
        case kQuitButton:
            g_app.quitRequested = true;
            break;
        case kDefaultsButton:
            ApplyAdjustments(ResetAdjustments(settings));
            break;
        case kGammaBar:  // the five track bars
        case kWhiteBar:
        case kBlackBar:
        case kSaturationBar:
        case kContrastBar:
            ApplyAdjustments(settings);
            break;
        case kCastCheckBox:
            if (picture) CastCheckBoxChanged(settings);
            break;
        default:
            break;
    }
}

void HandleEvent(int event) {
    switch (event) {
        case EVENT_NONE:
        case EVENT_MOVED:
        case EVENT_RESIZED:
            RedrawPreview(ReadWindowSettings());
            break;
        case EVENT_CONTROL:
            DispatchControl(g_app.eventSource);
            HistoryNoteSettings(RunOf(g_app.eventSource));
            break;
        case EVENT_DROPFILES: {
            int others = 0;
            std::string name = TakeDroppedFiles(&others);
            OpenNamedFile(name, others);
            break;
        }
        case EVENT_COMMAND: {
            const int command = static_cast<int>(EventParam());
            if (const std::optional<FrameNudge> step = FrameStepFor(command)) {
                if (NudgeSelection(step->dx, step->dy)) RedrawPreview(ReadWindowSettings());
                HistoryNoteSettings(kRunFrameKeys);
            } else {
                (void)RunEditCommand(command);
            }
            break;
        }
        default:
            break;
    }
}

void ShowNotice(const std::string& text) {
    g_app.notice = text;
    g_app.noticeEnds = std::chrono::steady_clock::now() + kNoticeTime;
    WindowSetTitle(kMainWindow, (text + " - " + kMainTitle).c_str());
}

bool LoopPass() {
    g_app.event = EventWait(kWaitMs);
    g_app.eventSource = EventSource();
    HandleEvent(g_app.event);
    // The wait returns at least every 500 ms, so the notice goes within half a second of its time.
    if (!g_app.notice.empty() && std::chrono::steady_clock::now() >= g_app.noticeEnds) {
        g_app.notice.clear();
        WindowSetTitle(kMainWindow, kMainTitle);
    }
    const bool buttonHeld = InputLeftButtonDown();
    // Only a press on the window's own surface drags the frame: one that a track bar, a button
    // or a dialog took must not move it when the pointer wanders over the preview.
    const bool down = buttonHeld && WindowSurfacePressed(kMainWindow);
    const bool dragging = g_app.frame.moving || g_app.frame.resizing;
    if (SelectionMouseStep(down, WindowCursorX(kMainWindow), WindowCursorY(kMainWindow)))
        RedrawPreview(ReadWindowSettings());
    // A drag is one step however long it lasts; a run of keys or of a held track bar ends when
    // the button is up and nothing came for a wait.
    if (dragging || g_app.frame.moving || g_app.frame.resizing) {
        HistoryNoteSettings(kRunFrameDrag);
        if (!g_app.frame.moving && !g_app.frame.resizing) HistoryEndRun();
    } else if (g_app.event == EVENT_NONE && !buttonHeld) {
        HistoryEndRun();
    }
    return !(g_app.event == EVENT_CLOSE || g_app.quitRequested);
}

int RunProgram(int argc, const char* const* argv) {
    const CommandLine args = ParseCommandLine(argc, argv, kProgram, KADROVO_VERSION);
    if (!args.run) return args.exitCode;
    if (!StartUpLibraries()) {
        std::fprintf(stderr, "kadrovo: no display can be opened\n");
        return 1;
    }
    if (!CheckScreenDepth()) {
        ShowMessage("Error", "Benötige min 24 Bit Farbtiefe!", MB_ICONEXCLAMATION);
        ShutDownLibraries();
        return 0;
    }
    g_app.frame.resizing = false;
    g_app.frame.moving = false;
    ToolkitSetApplication("Kadrovo", KADROVO_VERSION, kDesktopId, kIconFiles);
    if (!BuildMainWindow()) {
        std::fprintf(stderr, "kadrovo: the main window cannot be opened\n");
        ShutDownLibraries();
        return 1;
    }
    SetStartingState();
    OpenNamedFile(args.file, args.notOpened);
    while (LoopPass()) {
    }
    PixelsRelease();
    ShutDownLibraries();
    ToolkitShutDown();
    return 0;
}
