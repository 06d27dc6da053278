// Picture files made on the spot for the loading tests and the fuzz seeds: BMP, icons and WebP
// written by ImageMagick, the other formats through their own libraries.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace fixtures {

using Bytes = std::vector<uint8_t>;

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
};

// The test pattern: a colour for every pixel of a width x height picture.
using Pattern = std::function<Rgba(int x, int y)>;
// A pattern that makes every pixel distinct enough to catch swapped channels and rows.
Rgba Gradient(int x, int y);

// ---------------------------------------------------------------------------------------------
// BMP and icons, written by ImageMagick's convert
// ---------------------------------------------------------------------------------------------

// The pattern handed to convert (with alpha when any pixel has some) and written as `out`
// ("BMP3:", "BMP2:", "ICO:"...) after `options`; empty when convert fails.
Bytes Convert(int width, int height, const Pattern& colour, const std::string& options,
              const std::string& out = "BMP3:");

// A BMP file whose 40-byte header says width x height, `bpp` bits, `compression` and `colours`
// in the colour table, with `pixelBytes` bytes of pixel data right after the header; the sizes
// it states are its own.
Bytes BmpSaying(int32_t width, int32_t height, uint16_t bpp = 24, uint32_t compression = 0,
                uint32_t pixelBytes = 16, uint32_t colours = 0);

struct IconEntry {
    Bytes data;     // a PNG file, or a DIB with doubled height followed by the AND mask
    int width = 0;  // what the directory says (0 means 256)
    int height = 0;
    int bitCount = 0;
};
// The entry a BMP file of fewer than 128 rows gives: its header with the height doubled, its
// colour table and pixels, and an AND mask that hides nothing.
IconEntry EntryOf(const Bytes& bmp);
Bytes MakeIco(const std::vector<IconEntry>& entries);

// ---------------------------------------------------------------------------------------------
// PNG and JPEG
// ---------------------------------------------------------------------------------------------

struct PngDesc {
    int width = 5;
    int height = 4;
    int colourType = 2;  // 0, 2, 3, 4, 6
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<Rgba> palette{};           // colour type 3
    std::vector<uint8_t> paletteAlpha{};   // tRNS for colour type 3
    int transparentGrey = -1;              // tRNS for colour type 0 (sample value)
    std::optional<Rgba> transparentRgb{};  // tRNS for colour type 2, scaled to the bit depth
    // Samples scaled to the bit depth from this pattern (grey from red).
    Pattern colour = Gradient;
    std::function<uint32_t(int x, int y)> index{};  // palette indices for colour type 3
    Bytes exif{};                                   // an eXIf chunk (a TIFF structure)
};
Bytes MakePng(const PngDesc& desc);
// The sample a colour channel is stored as at `depth` bits.
uint32_t Sample(uint8_t v, int depth);

enum class JpegKind { Rgb, Grey, CmykPlain, CmykAdobe, Ycck };

struct JpegDesc {
    int width = 32;
    int height = 24;
    JpegKind kind = JpegKind::Rgb;
    int quality = 95;
    bool progressive = false;
    bool optimize = false;    // optimised Huffman tables
    bool fullChroma = false;  // no chroma subsampling
    bool arithmetic = false;  // arithmetic coding instead of Huffman
    int orientation = 0;      // EXIF orientation to store, 0 = no EXIF
    bool exifBigEndian = false;
    Bytes app1{};      // an APP1 segment's body to store as it is ("Exif\0\0" + TIFF)
    Bytes icc{};       // an ICC profile to embed (APP2)
    int exifType = 3;  // TIFF field type of the orientation: 1 BYTE, 3 SHORT, 4 LONG, 9 SLONG...
    Pattern colour = Gradient;
};
// CMYK kinds store inverted inks computed from the pattern, as the writers of CMYK files do;
// only the Adobe and YCCK kinds carry Adobe's APP14 marker.
Bytes MakeJpeg(const JpegDesc& desc);
// A TIFF structure (no "Exif\0\0") holding Make and the orientation as TIFF field `type`.
Bytes ExifTiff(int orientation, bool bigEndian = false, int type = 3);
// A Display P3 ICC profile (P3 primaries, D65, the sRGB curve), made with lcms.
Bytes DisplayP3Profile();
// The bytes of a Little CMS profile (a cmsHPROFILE), which is closed.
Bytes SavedProfile(void* profile);

// ---------------------------------------------------------------------------------------------
// HEIF through libheif's own encoders, WebP by ImageMagick
// ---------------------------------------------------------------------------------------------

struct HeifDesc {
    int width = 32;
    int height = 24;
    bool avif = false;    // AV1 (AVIF) instead of HEVC (HEIC)
    bool alpha = false;   // an alpha plane from the pattern's alpha
    int orientation = 1;  // stored as irot/imir boxes, numbered as in EXIF
    Pattern colour = Gradient;
    Bytes exif{};  // an Exif item: a TIFF structure, stored behind libheif's offset field
};
// Empty when this libheif has no encoder for the format.
Bytes MakeHeif(const HeifDesc& desc);

// A HEIF file put together box by box around the coded picture of MakeHeif, for brands,
// property orders and item structures libheif's writer does not make.
struct HeifBoxes {
    int width = 128;  // a multiple of HEVC's coding block, so that the coded size is the picture's
    int height = 64;
    Pattern colour = Gradient;
    std::string major = "heic";
    std::vector<std::string> compatible = {"mif1", "heic"};
    bool avif = false;
    // The primary item's properties in association order: "code" (hvcC or av1C), "ispe",
    // "irot", "imir", "clap".
    std::vector<std::string> properties = {"code", "ispe"};
    int quarterTurns = 0;  // irot: anticlockwise
    int clapWidth = 0;     // clap: the centred crop's size
    int clapHeight = 0;
    uint32_t gridWidth = 0;     // > 0: the primary item is a 1 x 1 grid of this output size
    uint32_t gridHeight = 0;    // over the coded picture, announced by its ispe as its size
    uint32_t canvasWidth = 0;   // > 0: the primary item is an overlay (iovl) on a canvas of this
    uint32_t canvasHeight = 0;  // size, announced by its ispe, with the picture at tileX, tileY
    int32_t tileX = 0;
    int32_t tileY = 0;
};
Bytes MakeHeifBoxes(const HeifBoxes& desc);

struct WebpDesc {
    int width = 32;
    int height = 24;
    bool alpha = false;  // the pattern's alpha is stored
    bool lossless = false;
    Pattern colour = Gradient;
};
Bytes MakeWebp(const WebpDesc& desc);
// The extended form of a simple WebP file (one VP8 or VP8L chunk, no alpha) of width x height:
// a VP8X header, an ICCP chunk when `icc` is given, the image chunk, then `after` (chunk type
// and body each, in order; EXIF sets its flag).
Bytes WebpExtended(const Bytes& simple, int width, int height, const Bytes& icc,
                   const std::vector<std::pair<std::string, Bytes>>& after);
// A RIFF chunk: type, little-endian size, body and the pad byte of an odd size.
Bytes RiffChunk(const std::string& type, const Bytes& body);
// A WebP file: the RIFF header, then the chunks as they are.
Bytes WebpFile(const std::vector<Bytes>& chunks);

// ---------------------------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------------------------

// Appends `v` in `size` bytes, least significant first unless `bigEndian`.
void Put(Bytes& b, uint32_t v, int size, bool bigEndian = false);
// The parts one after the other.
Bytes Joined(std::initializer_list<Bytes> parts);

// The contents of a file, empty when it cannot be read.
Bytes ReadFile(const std::string& path);
// Writes the bytes to a fresh file under the test's temporary directory; returns its path.
std::string WriteTemp(const std::string& name, const Bytes& bytes);

}  // namespace fixtures
