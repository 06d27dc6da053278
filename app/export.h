// The export from the main window: the save dialog and the overwrite question, the window's
// settings, the pixel work of picture/export.h on the loaded picture, the delivery to a
// JPEG file or the clipboard, and the closing step that makes the adjusted preview the new start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "imagelib/jpeg_budget.h"
#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// Export
// ---------------------------------------------------------------------------------------------

// The pixels an export of the window's picture delivers, to a file, the clipboard or a view: the
// frame's cut with the tone of `settings` and the measured cast removed, reduced to the output
// size (or to width x height when both are given) and sharpened as `sharpen` says. The picture
// is not touched. Null without picture and preview, for a frame outside it, or without memory.
std::unique_ptr<raster::Bitmap> ExportPixels(const WindowSettings& settings, Sharpening sharpen,
                                             int width = 0, int height = 0);
// Exports ExportPixels with the output's sharpening (g_app.output) to a file chosen in the save
// dialog, as JPEG within the output's size budget, or to the clipboard; then commits the
// adjustments to the picture. A cancelled dialog changes nothing; no memory for the cut is
// refused with a message and changes nothing, and so is a budget too small for any picture. A
// failed delivery is reported in a message box; the adjusted picture stays in image 100, so
// saving again loses nothing. A file written at lower quality or size says so in the title.
void SelectionExport(bool toClipboard, const WindowSettings& settings);
// Writes an exported cut as a JPEG file at the export's quality, completely or not at all, with
// the kept tags of `sourceExif` (the original's EXIF data, may be null) and the print resolution
// of format item `formatIndex` as its density. The window's export and the batch export both
// write through here.
[[nodiscard]] bool ExportWriteJpeg(const raster::Bitmap& cut, const char* path, int formatIndex,
                                   const std::vector<uint8_t>* sourceExif);
// What a write within a size budget did.
struct BudgetWrite {
    bool written = false;
    bool refused = false;  // the budget is below what a 100-pixel picture needs; nothing written
    bool lowered = false;  // written below quality 100 or smaller than the cut
    int quality = 0;       // libjpeg's 1..100
    int width = 0, height = 0;
    size_t bytes = 0;
    int encodes = 0;  // JPEG encodes the search took
};
// ExportWriteJpeg within `maxBytes` bytes (0: no budget, exactly ExportWriteJpeg's file): the
// highest quality from 100 to 50 that fits, else a smaller picture made by `reduce` (its density
// recomputed; a stretch of the cut without it), written completely or not at all.
[[nodiscard]] BudgetWrite ExportWriteJpegWithin(const raster::Bitmap& cut, const char* path,
                                                int formatIndex,
                                                const std::vector<uint8_t>* sourceExif,
                                                size_t maxBytes, const BudgetReduce& reduce = {});
// "Qualität 83, 1,94 MB" ("Qualität 70, 153 KB" below a megabyte; the pixel size added when it
// was reduced): what a lowered write says.
std::string BudgetNote(const BudgetWrite& write, int cutWidth);
// Writes an exported cut as a PNG file, completely or not at all, with the PNG writer the
// clipboard uses.
[[nodiscard]] bool ExportWritePng(const raster::Bitmap& cut, const char* path);
// The save dialog's proposal for an export of `fileName` framed at format item `formatIndex`: the
// name the batch export gives it, beside it (urlaub.jpg gives urlaub_10x15.jpg); "" for none.
std::string ExportProposedName(const std::string& fileName, int formatIndex);

// The file a name typed in the save dialog gives, and its type. The file is what its name says:
// ".png" is written as PNG; ".jpg", ".jpeg", ".jpe" and ".jfif" as JPEG; a name without an
// extension, or with any other, gets ".jpg" appended and is written as JPEG. Letter case is
// ignored; a leading dot starts no extension (".bild" is a name).
struct SaveTarget {
    std::string path;
    bool png = false;
};
[[nodiscard]] SaveTarget ExportSaveTarget(const std::string& typed);
