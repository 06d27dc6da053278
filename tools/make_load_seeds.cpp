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

BmpDesc Bmp(int bpp, int header, int compression, bool topDown = false) {
    BmpDesc s;
    s.width = 7;
    s.height = 5;
    s.bpp = bpp;
    s.headerSize = header;
    s.compression = compression;
    s.topDown = topDown;
    if (bpp <= 8) {
        int n = 1 << bpp;
        for (int i = 0; i < n && i < 16; ++i)
            s.palette.push_back(Rgba{static_cast<uint8_t>(i * 16), static_cast<uint8_t>(200 - i),
                                     static_cast<uint8_t>(i * 5), 255});
        int entries = static_cast<int>(s.palette.size());
        s.index = [entries](int x, int y) { return static_cast<uint32_t>((x / 2 + y) % entries); };
    }
    return s;
}

BmpDesc Masked(int bpp, int header, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    BmpDesc s = Bmp(bpp, header, 3);
    s.masks[0] = r, s.masks[1] = g, s.masks[2] = b, s.masks[3] = a;
    return s;
}

void BmpSeeds() {
    Write("bmp", "1bpp.bmp", MakeBmp(Bmp(1, 40, 0)));
    Write("bmp", "4bpp.bmp", MakeBmp(Bmp(4, 40, 0)));
    Write("bmp", "8bpp.bmp", MakeBmp(Bmp(8, 40, 0)));
    Write("bmp", "8bpp_rle8.bmp", MakeBmp(Bmp(8, 40, 1)));
    Write("bmp", "4bpp_rle4.bmp", MakeBmp(Bmp(4, 40, 2)));
    Write("bmp", "8bpp_core.bmp", MakeBmp(Bmp(8, 12, 0)));
    Write("bmp", "16bpp_555.bmp", MakeBmp(Bmp(16, 40, 0)));
    Write("bmp", "16bpp_565.bmp", MakeBmp(Masked(16, 40, 0xF800, 0x7E0, 0x1F, 0)));
    Write("bmp", "16bpp_4444_v3.bmp", MakeBmp(Masked(16, 56, 0xF00, 0xF0, 0xF, 0xF000)));
    Write("bmp", "24bpp.bmp", MakeBmp(Bmp(24, 40, 0)));
    Write("bmp", "24bpp_topdown.bmp", MakeBmp(Bmp(24, 40, 0, true)));
    Write("bmp", "24bpp_v2.bmp", MakeBmp(Bmp(24, 52, 0)));
    Write("bmp", "32bpp.bmp", MakeBmp(Bmp(32, 40, 0)));
    Write("bmp", "32bpp_rgba_v4.bmp",
          MakeBmp(Masked(32, 108, 0xFF000000u, 0xFF0000, 0xFF00, 0xFF)));
    Write("bmp", "32bpp_v5_topdown.bmp", MakeBmp(Bmp(32, 124, 0, true)));
}

void IcoSeeds() {
    auto mask = [](int x, int y) { return (x + y) % 3 == 0; };
    BmpDesc eight = Bmp(8, 40, 0);
    eight.width = eight.height = 16;
    BmpDesc alpha = Bmp(32, 40, 0);
    alpha.width = alpha.height = 8;
    alpha.index = [](int x, int y) { return static_cast<uint32_t>(x * 30) << 24 | (y * 20) << 8; };
    BmpDesc mono = Bmp(1, 40, 0);
    mono.width = mono.height = 16;
    PngDesc png;
    png.width = png.height = 12;
    png.colourType = 6;
    Write("ico", "dib_8bpp_mask.ico", MakeIco({{MakeIconDib(eight, mask), 16, 16, 8}}));
    Write("ico", "dib_32bpp_alpha.ico", MakeIco({{MakeIconDib(alpha, mask), 8, 8, 32}}));
    Write("ico", "dib_1bpp.ico", MakeIco({{MakeIconDib(mono, mask), 16, 16, 1}}));
    Write("ico", "png_entry.ico", MakeIco({{MakePng(png), 12, 12, 32}}));
    Write("ico", "mixed_entries.ico",
          MakeIco({{MakeIconDib(eight, mask), 16, 16, 8},
                   {MakePng(png), 12, 12, 32},
                   {MakeIconDib(alpha, mask), 8, 8, 32}}));
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

Rgba SeeThrough(int x, int y) {
    Rgba c = Gradient(x, y);
    c.a = static_cast<uint8_t>(x * 12 + y * 3);
    return c;
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
