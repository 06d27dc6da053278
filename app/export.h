// The export from the main window: the save dialog and the overwrite question, the window's
// settings, the pixel work of picture/export.h on the loaded picture, the delivery to a
// JPEG file or the clipboard, and the closing step that makes the adjusted preview the new start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// Export
// ---------------------------------------------------------------------------------------------

// Exports the frame with the tone, cast, output size and format of `settings`: to a file chosen
// in the save dialog, or to the clipboard. A cancelled dialog changes nothing; no memory for the
// cut is refused with a message and changes nothing. A failed delivery is reported in a message
// box; the adjusted picture stays in image 100, so saving again loses nothing.
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
};
// ExportWriteJpeg within `maxBytes` bytes (0: no budget, exactly ExportWriteJpeg's file): the
// highest quality from 100 to 50 that fits, else a smaller picture (its density recomputed),
// written completely or not at all.
[[nodiscard]] BudgetWrite ExportWriteJpegWithin(const raster::Bitmap& cut, const char* path,
                                                int formatIndex,
                                                const std::vector<uint8_t>* sourceExif,
                                                size_t maxBytes);
// "Qualität 83, 1,94 MB" (and the pixel size when it was reduced): what a lowered write says.
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
