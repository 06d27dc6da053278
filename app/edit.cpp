#include "app/edit.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/adjust.h"
#include "app/devicepreview.h"
#include "app/frame.h"
#include "app/framedialog.h"
#include "app/ids.h"
#include "app/output.h"
#include "app/preview.h"
#include "app/resultview.h"
#include "app/selection.h"
#include "app/state.h"
#include "app/view.h"
#include "imagelib/draw.h"
#include "imagelib/image.h"
#include "picture/cast.h"
#include "picture/straighten.h"
#include "toolkit/control.h"
#include "toolkit/requester.h"
#include "toolkit/window.h"

namespace {

constexpr const char* kTitle = "Kadrovo";
constexpr const char* kNoMemory = "Für das Bild ist nicht genug Speicher frei!";

// Puts `bitmap` under image 100 in place of the picture, keeping what belongs to the picture
// rather than to its pixels: its kind and the EXIF data of its file.
bool AdoptPicture(std::unique_ptr<raster::Bitmap> bitmap) {
    const std::vector<uint8_t>* held = ImageGetExif(kPictureImage);
    std::vector<uint8_t> exif = held ? *held : std::vector<uint8_t>();
    const auto flags = static_cast<uint8_t>(ImageGetFlags(kPictureImage));
    if (!ImageAdopt(kPictureImage, std::move(bitmap), flags)) return false;
    if (!exif.empty()) ImageSetExif(kPictureImage, std::move(exif));
    return true;
}

// The measured cast's swatch as `cast` says: shown in its colour, or hidden for none.
void ShowCast(uint32_t cast) {
    g_app.castColour = cast;
    if (cast > 0) {
        ControlSetColour(kCastSwatch, COLOUR_BACKGROUND,
                         static_cast<int32_t>(CastSwatchColour(cast)));
        ControlSetTip(kCastSwatch, "Aktuell ermittelter Farbstich (verstärkt dargestellt)");
    }
    ControlHide(kCastSwatch, cast > 0 ? 0 : 1);
}

// Settings, cast and frame as `view` has them, the preview adjusted and painted accordingly.
void ShowView(const ViewState& view) {
    WriteWindowSettings(view.controls);
    ShowCast(view.cast);
    g_app.frame.ratio = view.ratio;
    g_app.frame.selection = view.selection;
    ApplyAdjustments(view.controls);
    RedrawPreview(view.controls);
}

// The preview made anew from the changed picture and captured; the adjustments of `settings`
// then apply to it as to a newly loaded one.
void PreviewFromPicture() {
    BuildPreview();
    (void)PixelsCapture();
}

// Draws the preview turned by `degrees` and cut as the straightening would cut the picture,
// stretched over the preview; the frame is left out while the dialog is open.
void ShowStraightenPreview(double degrees) {
    const raster::Bitmap* preview = ImageGetBitmap(kPreviewImage);
    if (!preview) return;
    auto turned = Straighten(*preview, PixelOrientation{}, degrees);
    if (!turned || !DrawBegin(WindowDrawTarget(kMainWindow))) return;
    DrawBitmap(turned.get(), frame::kPreviewX, frame::kPreviewY, preview->width, preview->height);
    DrawEnd();
    // On a 200 % screen the device-resolution layer lies over the ordinary painting.
    DevicePreviewPaintStraightened(degrees);
}

}  // namespace

void AddEditCommands() {
    std::vector<WindowMenuEntry> menu;
    std::string tip = "Rechte Maustaste:";
    for (const EditMenuEntry& e : kPreviewMenu) {
        WindowAddAccelerator(kMainWindow, e.keys, e.command);
        menu.push_back({e.text, e.keys, e.command});
        tip += std::string("\n") + e.text + " (" + e.keys + ")";
    }
    for (const EditKey& k : kExtraEditKeys)
        WindowAddAccelerator(kMainWindow, k.keys, k.command);
    WindowSetContextMenu(kMainWindow, frame::kPreviewX, frame::kPreviewY, frame::kBoxWidth,
                         frame::kBoxHeight, menu);
    WindowSetDoubleClick(kMainWindow, frame::kPreviewX, frame::kPreviewY, frame::kBoxWidth,
                         frame::kBoxHeight, kCommandDoubleClick);
    ControlSetTip(kPreviewFrame, tip.c_str());
}

bool RunEditCommand(int command) {
    switch (command) {
        case kCommandBeforeAfter:
            ToggleBeforeAfter();
            return true;
        case kCommandThirds:
            ToggleThirdsGrid();
            return true;
        case kCommandFrameNumbers:
            FrameNumbersRequested();
            return true;
        case kCommandOutput:
            OutputRequested();
            return true;
        case kCommandResultView:
            ResultViewRequested();
            return true;
        case kCommandDoubleClick:
            if (frame::InsideFrame(g_app.frame.selection, WindowCursorX(kMainWindow),
                                   WindowCursorY(kMainWindow)))
                ResultViewRequested();
            return true;
        default:
            break;
    }
    PictureEdit edit;
    edit.kind = PictureEdit::Kind::Orient;
    if (command >= kCommandUndo && command <= kCommandStraighten) ShowAfter(ReadWindowSettings());
    switch (command) {
        case kCommandUndo:
            UndoStep(false);
            return true;
        case kCommandRedo:
            UndoStep(true);
            return true;
        case kCommandTurnRight:
            edit.orientation = kTurnRight;
            break;
        case kCommandTurnLeft:
            edit.orientation = kTurnLeft;
            break;
        case kCommandMirror:
            edit.orientation = kMirror;
            break;
        case kCommandStraighten:
            StraightenRequested();
            return true;
        default:
            return false;
    }
    EditPicture(edit);
    return true;
}

void EditPicture(const PictureEdit& edit) {
    raster::Bitmap* picture = ImageGetBitmap(kPictureImage);
    if (!picture || !ImageExists(kPreviewImage)) return;
    WindowSettings settings = ReadWindowSettings();
    const ViewState before = CurrentView(settings);
    bool done = false;
    {
        BusyCursor busy;
        std::unique_ptr<raster::Bitmap> replaced;
        done = g_app.document.Apply(*picture, edit, replaced) &&
               (!replaced || AdoptPicture(std::move(replaced)));
        if (done) {
            PreviewFromPicture();
            ResetSelection(false, settings);
            ApplyAdjustments(settings);
        }
    }
    if (!done) {
        ShowMessage(kTitle, kNoMemory, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    g_app.lastView = CurrentView(ReadWindowSettings());
    g_app.document.RecordEdit(edit, before, g_app.lastView);
}

void StraightenRequested() {
    if (!ImageExists(kPictureImage) || !ImageExists(kPreviewImage)) return;
    const WindowSettings settings = ReadWindowSettings();
    double degrees = g_app.document.State().ShownAngle();
    const double shown = degrees;
    const bool ok = AskNumber(
        kStraightenTitle, "Winkel in Grad (positiv: im Uhrzeigersinn):", -kStraightenMaxDegrees,
        kStraightenMaxDegrees, kStraightenStep, degrees, ShowStraightenPreview);
    RedrawPreview(settings);
    if (!ok || degrees == shown) return;
    PictureEdit edit;
    edit.kind = PictureEdit::Kind::Straighten;
    edit.angle = degrees;
    EditPicture(edit);
}

void UndoStep(bool redo) {
    raster::Bitmap* picture = ImageGetBitmap(kPictureImage);
    if (!picture || !(redo ? g_app.document.CanRedo() : g_app.document.CanUndo())) return;
    bool done = false;
    {
        BusyCursor busy;
        std::unique_ptr<raster::Bitmap> replaced;
        const HistoryStep* step = redo ? g_app.document.Redo(*picture, replaced)
                                       : g_app.document.Undo(*picture, replaced);
        done = step && (!replaced || AdoptPicture(std::move(replaced)));
        if (done) {
            if (step->edit.kind != PictureEdit::Kind::None) PreviewFromPicture();
            ShowView(redo ? step->after : step->before);
        }
    }
    if (!done) ShowMessage(kTitle, kNoMemory, MB_OK | MB_ICONEXCLAMATION);
    g_app.lastView = CurrentView(ReadWindowSettings());
}

ViewState CurrentView(const WindowSettings& controls) {
    return {controls, g_app.castColour, g_app.frame.selection, g_app.frame.ratio};
}

void HistoryStart() {
    g_app.document.Clear();
    g_app.lastView = CurrentView(ReadWindowSettings());
}

void HistoryNoteSettings(int run) {
    if (!ImageExists(kPictureImage)) return;
    const ViewState now = CurrentView(ReadWindowSettings());
    g_app.document.RecordSettings(g_app.lastView, now, run);
    g_app.lastView = now;
}

void HistoryEndRun() {
    g_app.document.EndRun();
}

void HistoryNoteCommit(const PictureEdit& commit, const ViewState& before) {
    g_app.lastView = CurrentView(ReadWindowSettings());
    g_app.document.RecordEdit(commit, before, g_app.lastView);
}
