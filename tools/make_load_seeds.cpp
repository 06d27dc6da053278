// Writes the seed corpora of the picture-reader fuzz targets: one small file for each kind of
// BMP, icon, JPEG, PNG, HEIF and WebP the readers understand. Usage: make_load_seeds <fuzz/corpus
// dir>.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "load_fixtures.h"

using namespace fixtures;

namespace {

std::filesystem::path g_root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::path dir = g_root / target;
    std::filesystem::create_directories(dir);
    std::ofstream f(dir / name, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Rgba Colours(int x, int y) {  // 16 colours, for the palette files
    const int i = (x / 2 + y) % 16;
    return Rgba{static_cast<uint8_t>(i * 16), static_cast<uint8_t>(200 - i),
                static_cast<uint8_t>(i * 5), 255};
}

Rgba SeeThrough(int x, int y) {
    Rgba c = Gradient(x, y);
    c.a = static_cast<uint8_t>(x * 12 + y * 3);
    return c;
}

void BmpSeeds() {
    const char* palette[][3] = {{"1bpp.bmp", "-type Palette -colors 2", "BMP3:"},
                                {"4bpp.bmp", "-type Palette", "BMP3:"},
                                {"8bpp_rle8.bmp", "-type Palette -compress RLE", "BMP3:"},
                                {"8bpp_core.bmp", "-type Palette", "BMP2:"}};
    for (const auto& p : palette)
        Write("bmp", p[0], Convert(7, 5, Colours, p[1], p[2]));
    Write("bmp", "16bpp_565.bmp", Convert(7, 5, Gradient, "-define bmp:subtype=RGB565", "BMP:"));
    Write("bmp", "16bpp_4444.bmp",
          Convert(7, 5, SeeThrough, "-define bmp:subtype=ARGB4444", "BMP:"));
    Write("bmp", "24bpp.bmp", Convert(7, 5, Gradient, ""));
    Write("bmp", "24bpp_core.bmp", Convert(7, 5, Gradient, "", "BMP2:"));
    Write("bmp", "32bpp.bmp", Convert(7, 5, SeeThrough, "-define bmp3:alpha=true"));
    Write("bmp", "32bpp_rgba_v5.bmp", Convert(7, 5, SeeThrough, "", "BMP:"));
}

void IcoSeeds() {
    PngDesc png;
    png.width = png.height = 12;
    png.colourType = 6;
    const IconEntry mono = EntryOf(Convert(16, 16, Colours, "-type Palette -colors 2"));
    const IconEntry alpha = EntryOf(Convert(8, 8, SeeThrough, "-define bmp3:alpha=true"));
    Write("ico", "dib_32bpp_alpha.ico", MakeIco({alpha}));
    Write("ico", "dib_1bpp.ico", MakeIco({mono}));
    Write("ico", "png_entry.ico", MakeIco({{MakePng(png), 12, 12, 32}}));
    Write("ico", "mixed_entries.ico", MakeIco({mono, {MakePng(png), 12, 12, 32}, alpha}));
}

void JpegSeeds() {
    auto desc = [](JpegKind kind, bool progressive, int orientation, bool bigEndian) {
        JpegDesc s;
        s.width = 24;
        s.height = 16;
        s.quality = 60;
        s.kind = kind;
        s.progressive = progressive;
        s.orientation = orientation;
        s.exifBigEndian = bigEndian;
        return s;
    };
    Write("jpeg", "rgb.jpg", MakeJpeg(desc(JpegKind::Rgb, false, 0, false)));
    Write("jpeg", "rgb_progressive.jpg", MakeJpeg(desc(JpegKind::Rgb, true, 0, false)));
    Write("jpeg", "grey.jpg", MakeJpeg(desc(JpegKind::Grey, false, 0, false)));
    Write("jpeg", "grey_progressive.jpg", MakeJpeg(desc(JpegKind::Grey, true, 0, false)));
    Write("jpeg", "cmyk_plain.jpg", MakeJpeg(desc(JpegKind::CmykPlain, false, 0, false)));
    Write("jpeg", "cmyk_adobe.jpg", MakeJpeg(desc(JpegKind::CmykAdobe, true, 0, false)));
    Write("jpeg", "ycck.jpg", MakeJpeg(desc(JpegKind::Ycck, false, 0, false)));
    Write("jpeg", "exif_6_little.jpg", MakeJpeg(desc(JpegKind::Rgb, false, 6, false)));
    Write("jpeg", "exif_7_big.jpg", MakeJpeg(desc(JpegKind::Rgb, true, 7, true)));
    JpegDesc arithmetic = desc(JpegKind::Rgb, true, 0, false);
    arithmetic.arithmetic = true;
    Write("jpeg", "rgb_arithmetic_progressive.jpg", MakeJpeg(arithmetic));
    Bytes cut = MakeJpeg(desc(JpegKind::Rgb, false, 3, false));
    cut.resize(cut.size() * 3 / 4);
    Write("jpeg", "truncated.jpg", cut);
    JpegDesc p3 = desc(JpegKind::Rgb, false, 0, false);
    p3.icc = DisplayP3Profile();
    Write("jpeg", "icc_display_p3.jpg", MakeJpeg(p3));
}

void HeifSeeds() {
    for (bool avif : {false, true}) {
        HeifDesc s;
        s.colour = SeeThrough;
        s.width = 20;
        s.height = 12;
        s.avif = avif;
        const std::string kind = avif ? "avif" : "heic";
        Write("heif", "plain." + kind, MakeHeif(s));
        s.orientation = 6;
        s.alpha = true;
        Write("heif", "irot_alpha." + kind, MakeHeif(s));
    }
    // Put together box by box: brands, properties in unusual order, a grid, an Exif item.
    Write("heif", "brand_mif2.heic",
          MakeHeifBoxes({.width = 64, .height = 64, .major = "mif2", .compatible = {"mif2"}}));
    Write("heif", "irot_before_ispe.heic",
          MakeHeifBoxes({.width = 64,
                         .height = 64,
                         .properties = {"code", "irot", "imir", "ispe"},
                         .quarterTurns = 3}));
    Write("heif", "clap_before_ispe.avif",
          MakeHeifBoxes({.width = 20,
                         .height = 12,
                         .avif = true,
                         .properties = {"code", "clap", "ispe"},
                         .clapWidth = 10,
                         .clapHeight = 6}));
    Write("heif", "grid.heic",
          MakeHeifBoxes({.width = 64, .height = 64, .gridWidth = 64, .gridHeight = 48}));
    Write("heif", "exif.heic", MakeHeif({.width = 20, .height = 12, .exif = ExifTiff(6)}));
}

void WebpSeeds() {
    WebpDesc s;
    s.colour = SeeThrough;
    s.width = 20;
    s.height = 12;
    Write("webp", "lossy.webp", MakeWebp(s));
    s.alpha = s.lossless = true;
    Write("webp", "lossless_alpha.webp", MakeWebp(s));
    s.lossless = false;
    Write("webp", "lossy_alpha.webp", MakeWebp(s));
    // The extended form with a profile, EXIF orientation and an unknown chunk.
    const Bytes simple = MakeWebp({.width = 20, .height = 12, .lossless = true});
    Write("webp", "extended_icc_exif.webp",
          WebpExtended(simple, 20, 12, DisplayP3Profile(),
                       {{"EXIF", ExifTiff(5, true)}, {"ZZZZ", Bytes(9, 1)}}));
}

void PngSeeds() {
    const std::pair<int, int> kinds[] = {{0, 1}, {0, 2},  {0, 4},  {0, 8}, {0, 16},
                                         {2, 8}, {2, 16}, {3, 1},  {3, 2}, {3, 4},
                                         {3, 8}, {4, 8},  {4, 16}, {6, 8}, {6, 16}};
    for (auto [type, depth] : kinds)
        for (bool interlaced : {false, true}) {
            if (interlaced && depth != 8 && depth != 2) continue;
            PngDesc s;
            s.width = 9;
            s.height = 7;
            s.colourType = type;
            s.bitDepth = depth;
            s.interlaced = interlaced;
            if (type == 3) {
                for (int i = 0; i < (1 << depth) && i < 32; ++i)
                    s.palette.push_back(Rgba{static_cast<uint8_t>(i * 8), 100, 50, 255});
                int n = static_cast<int>(s.palette.size());
                s.index = [n](int x, int y) { return static_cast<uint32_t>((x + y) % n); };
                if (depth == 4) s.paletteAlpha = {0, 80, 160};
            }
            if (type == 0 && depth == 2) s.transparentGrey = 1;
            if (type == 2 && depth == 16) s.transparentRgb = Gradient(2, 1);
            if (interlaced && type != 3) s.exif = ExifTiff(type + 3);  // turned rows
            Write("png",
                  "type" + std::to_string(type) + "_depth" + std::to_string(depth) +
                      (interlaced ? "_interlaced" : "") + ".png",
                  MakePng(s));
        }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    BmpSeeds();
    IcoSeeds();
    JpegSeeds();
    PngSeeds();
    HeifSeeds();
    WebpSeeds();
    return 0;
}
