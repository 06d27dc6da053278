#include "app/export.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "app/adjust.h"
#include "app/batch.h"
#include "app/edit.h"
#include "app/frame.h"
#include "app/ids.h"
#include "app/output.h"
#include "app/preview.h"
#include "app/selection.h"
#include "app/shell.h"
#include "app/state.h"
#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/jpeg_budget.h"
#include "imagelib/metadata.h"
#include "imagelib/save.h"
#include "imagelib/writers.h"
#include "picture/export.h"
#include "platform/helper_thread.h"
#include "platform/recent_files.h"
#include "toolkit/control.h"
#include "toolkit/requester.h"

namespace {

const char* const kTitle = "Kadrovo";
const char* const kSaveTitle = "Bild speichern...";
const char* const kSaveFilter = "JPG Bilder (*.jpg)|*.jpg|Alle Dateien (*.*)|*.*";
// "No" is the default: Return twice after "Bild speichern..." must not replace the original.
constexpr int kQuestionFlags = MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2;
constexpr int kWarningFlags = MB_OK | MB_ICONEXCLAMATION;  // 48

// Asks for the file name until the user takes a free name, an empty file or confirms the
// overwrite of the file that will really be written; an empty path when the dialog is cancelled.
SaveTarget ChooseFileName(int formatIndex) {
    for (;;) {
        const std::string proposal = ExportProposedName(g_app.fileName, formatIndex);
        const std::string typed = AskSaveFile(kSaveTitle, proposal.c_str(), kSaveFilter, 0);
        if (typed.empty()) return {};
        SaveTarget target = ExportSaveTarget(typed);
        if (FileSize(target.path.c_str()) <= 0) return target;
        const std::string question = "Die Datei " + PathFilePart(target.path.c_str()) +
                                     " existiert bereits!\r\rSoll die Datei überschrieben werden?";
        if (ShowMessage(kTitle, question.c_str(), kQuestionFlags) == IDYES) return target;
    }
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool ExportWriteJpeg(const raster::Bitmap& cut, const char* path, int formatIndex,
                     const std::vector<uint8_t>* sourceExif) {
    // The file keeps the original's date, camera and author, and records its print resolution.
    ImageMetadata metadata;
    metadata.densityDpi = frame::ExportDensity(formatIndex, cut.width, cut.height);
    metadata.exif = ExportExif(sourceExif ? sourceExif->data() : nullptr,
                               sourceExif ? sourceExif->size() : 0, metadata.densityDpi);
    return BitmapSaveFile(cut, path, JPEG_ENCODER_ID, kExportEncoderQuality, &metadata) != 0;
}

BudgetWrite ExportWriteJpegWithin(const raster::Bitmap& cut, const char* path, int formatIndex,
                                  const std::vector<uint8_t>* sourceExif, size_t maxBytes,
                                  const BudgetReduce& reduce) {
    BudgetWrite w;
    if (maxBytes == 0) {
        w.written = ExportWriteJpeg(cut, path, formatIndex, sourceExif);
        w.quality = kExportJpegQuality;
        w.width = cut.width;
        w.height = cut.height;
        return w;
    }
    const BudgetedJpeg fit = JpegWithinBudget(
        cut, maxBytes,
        [&](int width, int height) {
            ImageMetadata metadata;
            metadata.densityDpi = frame::ExportDensity(formatIndex, width, height);
            metadata.exif = ExportExif(sourceExif ? sourceExif->data() : nullptr,
                                       sourceExif ? sourceExif->size() : 0, metadata.densityDpi);
            return metadata;
        },
        reduce);
    w.refused = fit.outcome == BudgetedJpeg::Outcome::Refused;
    w.encodes = fit.encodes;
    if (fit.outcome != BudgetedJpeg::Outcome::Fits) return w;
    w.quality = fit.quality;
    w.width = fit.width;
    w.height = fit.height;
    w.bytes = fit.bytes.size();
    w.lowered = fit.quality < kExportJpegQuality || fit.width != cut.width;
    FileReplace out(path);
    w.written = out.Write(fit.bytes) && out.Commit();
    return w;
}

std::string BudgetNote(const BudgetWrite& w, int cutWidth) {
    // Kilo- and megabytes of 1000 and 1000000 bytes, as upload limits are stated, with a decimal
    // comma.
    std::string size;
    if (w.bytes >= 1000000) {
        const size_t hundredths = (w.bytes + 5000) / 10000;
        size = std::to_string(hundredths / 100) + "," + (hundredths % 100 < 10 ? "0" : "") +
               std::to_string(hundredths % 100) + " MB";
    } else {
        size = std::to_string((w.bytes + 500) / 1000) + " KB";
    }
    std::string note = "Qualität " + std::to_string(w.quality) + ", " + size;
    if (w.width != cutWidth)
        note += ", " + std::to_string(w.width) + " x " + std::to_string(w.height) + " Pixel";
    return note;
}

bool ExportWritePng(const raster::Bitmap& cut, const char* path) {
    const OwnedEncoderRows rows = EncoderRowsOf(cut);
    if (!rows.rows.pixels) return false;
    FileReplace out(path);
    return out.stream() && WritePng(out, rows.rows) && out.Commit();
}

SaveTarget ExportSaveTarget(const std::string& typed) {
    const size_t slash = typed.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = typed.rfind('.');
    std::string_view extension;
    if (dot != std::string::npos && dot > start) extension = std::string_view(typed).substr(dot);
    if (EqualsIgnoringCase(extension, ".png")) return {typed, true};
    for (const char* jpeg : {".jpg", ".jpeg", ".jpe", ".jfif"})
        if (EqualsIgnoringCase(extension, jpeg)) return {typed, false};
    return {typed + ".jpg", false};
}

std::string ExportProposedName(const std::string& fileName, int formatIndex) {
    if (fileName.empty()) return {};
    BatchOptions beside;
    beside.format = formatIndex;
    const size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) {
        beside.outDir = ".";
        return BatchOutputPaths({fileName}, beside).front().substr(2);
    }
    beside.outDir = fileName.substr(0, slash);
    return BatchOutputPaths({fileName}, beside).front();
}

std::unique_ptr<raster::Bitmap> ExportPixels(const WindowSettings& window, Sharpening sharpen,
                                             int width, int height) {
    const raster::Bitmap* picture = ImageGetBitmap(kPictureImage);
    if (picture == nullptr || ImageGetWidth(kPreviewImage) <= 0) return nullptr;
    ExportSettings settings;
    settings.tone = window.tone;
    settings.cast = g_app.castColour;
    settings.preset = window.outputSize;
    settings.sharpen = sharpen;
    return ExportCut(*picture, SelectionCut(), settings, width, height);
}

void SelectionExport(bool toClipboard, const WindowSettings& window) {
    SetValueLabels(window.tone);
    // Without a preview the frame has no place on the picture.
    raster::Bitmap* picture = ImageGetBitmap(kPictureImage);
    if (picture == nullptr || ImageGetWidth(kPreviewImage) <= 0) return;
    const PixelRect cut = ClipToPicture(SelectionCut(), picture->width, picture->height);

    SaveTarget target;
    if (!toClipboard) {
        target = ChooseFileName(window.format);
        // Cancelled: nothing was committed, so controls and preview stay exactly as they are.
        if (target.path.empty()) return;
    }
    const std::string& name = target.path;
    const OutputSettings output = g_app.output;
    // The commit can be undone only from a copy of the picture as it is now, kept by the history
    // unless an earlier step already keeps one.
    PictureEdit commit;
    commit.kind = PictureEdit::Kind::Commit;
    commit.tone = window.tone;
    commit.cast = g_app.castColour;
    const ViewState before = CurrentView(window);
    std::unique_ptr<raster::Bitmap> pixels;
    if (!g_app.document.Prepare(*picture, commit) ||
        (!(pixels = ExportPixels(window, output.sharpen)) && cut.width > 0)) {
        ShowMessage(kTitle, "Für das Bild ist nicht genug Speicher frei!", kWarningFlags);
        return;
    }

    bool delivered = false;
    BudgetWrite budget;
    const std::vector<uint8_t>* exif = ImageGetExif(kPictureImage);
    const bool withinBudget = pixels && !toClipboard && !target.png && output.maxBytes > 0;
    if (withinBudget) {
        // A smaller picture is made anew from the picture, still as it was, and sharpened at its
        // own size; so this runs before the commit changes the picture.
        budget =
            ExportWriteJpegWithin(*pixels, name.c_str(), window.format, exif, output.maxBytes,
                                  [&window, &output](int width, int height) {
                                      return ExportPixels(window, output.sharpen, width, height);
                                  });
        if (budget.refused) {
            ShowMessage(kTitle, BudgetRefusalText(output.maxBytes).c_str(), kWarningFlags);
            return;
        }
        delivered = budget.written;
    }
    // The file is written while the picture is adjusted.
    helper::Job delivery;
    auto deliver = [&] {
        delivered = target.png ? ExportWritePng(*pixels, name.c_str())
                               : ExportWriteJpeg(*pixels, name.c_str(), window.format, exif);
    };
    const bool toFile = pixels && !toClipboard && !withinBudget;
    const bool aside = toFile && delivery.Start(deliver);
    ExportSettings settings;
    settings.tone = window.tone;
    settings.cast = g_app.castColour;
    (void)ExportPicture(*picture, PixelRect{}, settings,
                        [](int value) { ControlSetValue(kProgressBar, value); });
    delivery.Wait();
    if (toFile && !aside) deliver();
    // The cut goes to the clipboard as it is, without a number.
    if (toClipboard && pixels) delivered = BitmapToClipboard(*pixels);

    // The closing step runs whether or not the delivery worked. Image 100 already carries the
    // adjustments, and the preview shows them; only with the controls back at their defaults
    // and the adjusted preview captured as the new source do the two agree again. Skipping it
    // after a failure would apply the same adjustments a second time on the next attempt. Run,
    // the user loses nothing: saving again writes exactly the picture that just failed.
    const WindowSettings reset = ResetAdjustments(window);
    (void)PixelsCapture();
    RedrawPreview(reset);
    HistoryNoteCommit(commit, before);

    // File choosers list the new file under "Recent" (the batch's files are not the user's picks).
    if (delivered && !toClipboard)
        (void)AddRecentFile(target.path, target.png ? "image/png" : "image/jpeg");
    if (delivered) {
        ShowNotice(toClipboard ? std::string("In das Clipboard gespeichert")
                               : "Gespeichert als " + target.path);
        // The user asked for a size, and is told what it cost.
        if (budget.lowered)
            ShowMessage(kTitle, ("Gespeichert mit " + BudgetNote(budget, pixels->width)).c_str(),
                        kWarningFlags);
    } else {
        const std::string text =
            toClipboard ? std::string("Das Bild konnte nicht in das Clipboard gespeichert werden!")
                        : "Die Datei " + PathFilePart(name.c_str()) +
                              " konnte nicht gespeichert werden!\r\rBitte einen anderen Ort "
                              "wählen.";
        ShowMessage(kTitle, text.c_str(), kWarningFlags);
    }
}
