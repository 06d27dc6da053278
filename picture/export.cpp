#include "picture/export.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <utility>

#include "app/preview.h"
#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/save.h"
#include "imagelib/transform.h"
#include "picture/cast.h"
#include "picture/pixels.h"
#include "picture/tone.h"
#include "toolkit/control.h"
#include "toolkit/requester.h"

const OutputPreset kOutputPresets[kOutputPresetCount] = {
    {"Originalgrösse", 0},          {"für ebay", 600},
    {"für E-Mail (klein)", 300},    {"für E-Mail (gross)", 600},
    {"Foto bis 10cm x 15cm", 1200}, {"Foto bis 15cm x 20cm", 1800},
    {"Foto ganz gross", 3600},      {"Avatar (Breite 100 Pixel)", 100},
};

namespace {

constexpr int kPicture = 100, kPreview = 101, kExport = 102;
constexpr int kControlGamma = 7, kControlWhite = 9, kControlBlack = 11, kControlSaturation = 13,
              kControlContrast = 15;
constexpr int kJpegQuality = 80;  // the encoder's scale ends at 10: library quality 100

const char* const kTitle = "Kadrovo";
const char* const kSaveTitle = "Bild speichern...";
const char* const kSaveFilter = "JPG Bilder (*.jpg)|*.jpg|Alle Dateien (*.*)|*.*";
// "No" is the default: Return twice after "Bild speichern..." must not replace the original.
constexpr int kQuestionFlags = MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2;
constexpr int kWarningFlags = MB_OK | MB_ICONEXCLAMATION;  // 48

// Rounds to the nearest integer, halves to even (the default rounding mode), within int range.
int Nearest(double value) {
    if (!(value == value)) return 0;
    const double r = std::nearbyint(value);
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int>(r);
}

// Asks for the file name until the user takes a free name, an empty file or confirms the
// overwrite; "" when the dialog is cancelled.
std::string ChooseFileName() {
    for (;;) {
        const std::string proposal = ExportDefaultName(g_app.fileName);
        std::string name = AskSaveFile(kSaveTitle, proposal.c_str(), kSaveFilter, 0);
        if (name.empty()) return name;
        if (FileSize(name.c_str()) <= 0) return name;
        const std::string question = "Die Datei " + PathFilePart(name.c_str()) +
                                     " existiert bereits!\r\rSoll die Datei überschrieben werden?";
        if (ShowMessage(kTitle, question.c_str(), kQuestionFlags) == IDYES) return name;
    }
}

// Applies the adjustments and the cast removal to the whole of image 100. False when the
// picture cannot be captured (no memory): then the preview's working buffers are put back as
// they were and nothing has changed.
bool CommitAdjustments(const ToneParams& p) {
    PixelBuffers& buffers = g_app.pixels;
    PixelBuffers preview{buffers.depth, buffers.size, std::move(buffers.target),
                         std::move(buffers.source)};
    buffers.depth = buffers.size = 0;
    if (!PixelsCapture(kPicture) || !buffers.source || !buffers.target) {
        PixelsRelease();
        buffers = std::move(preview);
        return false;
    }
    ToneAdjust(kPicture, p.gamma, p.white, p.black, p.saturation, p.contrast, kControlProgress);
    if (g_app.castColour > 0) CastRemove(kPicture, g_app.castColour);
    PixelsStore(kPicture);
    // The full-size pair is not needed again (the closing step captures the preview), and the
    // cut, the reduction and the encoder are better off with the memory.
    PixelsRelease();
    return true;
}

}  // namespace

std::string ExportDefaultName(const std::string& fileName) {
    std::string out;
    out.reserve(fileName.size());
    for (size_t i = 0; i < fileName.size();) {
        if (i + 4 <= fileName.size() && fileName[i] == '.' &&
            std::tolower(static_cast<unsigned char>(fileName[i + 1])) == 'b' &&
            std::tolower(static_cast<unsigned char>(fileName[i + 2])) == 'm' &&
            std::tolower(static_cast<unsigned char>(fileName[i + 3])) == 'p') {
            i += 4;
        } else {
            out += fileName[i++];
        }
    }
    return out;
}

CutRect SelectionToPicture(const Selection& s, float factor) {
    const double f = factor;
    return {Nearest(s.left * f), Nearest(s.top * f), Nearest(s.width * f), Nearest(s.height * f)};
}

bool OutputSizeFor(int index, int width, int height, int& newWidth, int& newHeight) {
    if (index < 1 || index >= kOutputPresetCount || width <= 0 || height <= 0) return false;
    const float ratio = static_cast<float>(width) / static_cast<float>(height);
    const int n = kOutputPresets[index].shorterSide;
    if (width > height) {
        if (height <= n) return false;
        newWidth = Nearest(n * static_cast<double>(ratio));
        newHeight = n;
    } else {
        if (width <= n) return false;
        newWidth = n;
        newHeight = Nearest(n / static_cast<double>(ratio));
    }
    return true;
}

void OutputResize() {
    int width = 0, height = 0;
    if (OutputSizeFor(ControlGetValue(kControlOutputSize), ImageGetWidth(kExport),
                      ImageGetHeight(kExport), width, height))
        ImageScale(kExport, width, height, IMAGE_SCALE_SMOOTH);
}

void SelectionExport(uint8_t toClipboard) {
    ToneParams p;
    p.gamma = ControlGetValue(kControlGamma);
    p.black = ControlGetValue(kControlBlack);
    p.white = ControlGetValue(kControlWhite);
    p.saturation = ControlGetValue(kControlSaturation);
    p.contrast = ControlGetValue(kControlContrast);
    SetValueLabels();
    // Without a preview there is no factor between frame and picture.
    if (!ImageExists(kPicture) || ImageGetWidth(kPreview) <= 0) return;
    const float factor =
        static_cast<float>(ImageGetWidth(kPicture)) / static_cast<float>(ImageGetWidth(kPreview));

    std::string name;
    if (!toClipboard) {
        name = ChooseFileName();
        // Cancelled: nothing was committed, so controls and preview stay exactly as they are.
        if (name.empty()) return;
    }
    if (!CommitAdjustments(p)) {
        ShowMessage(kTitle, "Für das Bild ist nicht genug Speicher frei!", kWarningFlags);
        return;
    }

    const CutRect cut = SelectionToPicture(g_app.selection, factor);
    ImageCrop(kPicture, kExport, cut.x, cut.y, cut.width, cut.height);
    OutputResize();
    const int delivered = toClipboard
                              ? ImageToClipboard(kExport)
                              : ImageSaveFile(kExport, name.c_str(), JPEG_ENCODER_ID, kJpegQuality);
    ImageRelease(kExport);

    // The closing step runs whether or not the delivery worked. Image 100 already carries the
    // adjustments, and the preview shows them; only with the controls back at their defaults
    // and the adjusted preview captured as the new source do the two agree again. Skipping it
    // after a failure would apply the same adjustments a second time on the next attempt. Run,
    // the user loses nothing: saving again writes exactly the picture that just failed.
    ResetAdjustments();
    PixelsCapture(kPreview);
    RedrawPreview();

    if (!delivered) {
        const std::string text =
            toClipboard ? std::string("Das Bild konnte nicht in das Clipboard gespeichert werden!")
                        : "Die Datei " + PathFilePart(name.c_str()) +
                              " konnte nicht gespeichert werden!\r\rBitte einen anderen Ort "
                              "wählen.";
        ShowMessage(kTitle, text.c_str(), kWarningFlags);
    }
}
