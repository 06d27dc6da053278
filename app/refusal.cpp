#include "app/refusal.h"

#include "platform/raster.h"
#include "toolkit/requester.h"

std::string LoadRefusalText(const std::string& path, LoadError why, std::string_view gap) {
    std::string reason;
    switch (why) {
        case LoadError::NotAPicture:
            reason = "Sie ist kein Bild in einem unterstützten Format.";
            break;
        case LoadError::Damaged:
            reason = "Sie ist beschädigt oder unvollständig.";
            break;
        case LoadError::TooLarge:
            reason = "Das Bild ist zu groß: erlaubt sind höchstens " +
                     std::to_string(raster::kMaxSide) + " Pixel je Seite und " +
                     std::to_string(ImageLoadLimits().maxPixels / 1000000) + " Megapixel.";
            break;
        case LoadError::Folder:
            reason = "Sie ist ein Ordner, keine Bilddatei.";
            break;
        default:
            reason = "Sie fehlt, oder es fehlt die Berechtigung, sie zu lesen.";
            break;
    }
    return "Die Datei " + PathFilePart(path.c_str()) + " konnte nicht geladen werden." +
           std::string(gap) + reason;
}

std::string LoadIncompleteText(const std::string& path, DecodedRows rows) {
    return "Die Datei " + PathFilePart(path.c_str()) + " ist unvollständig: nur der obere Teil (" +
           std::to_string(rows.decoded) + " von " + std::to_string(rows.total) +
           " Zeilen) konnte gelesen werden.";
}

std::string NotOpenedText(int count) {
    const std::string files =
        count == 1 ? "Eine weitere Datei wurde" : std::to_string(count) + " weitere Dateien wurden";
    return files +
           " nicht geöffnet: das Fenster bearbeitet ein Bild nach dem anderen.\r\rViele Bilder "
           "auf einmal exportiert kadrovo --batch (mehr dazu mit kadrovo --batch --help).";
}
