// The decoder interface: what a picture-file format offers the loader. Each format is one record
// of the format table: a sniff test on the file's first bytes and a probe over the whole file that
// hands back a decoder object owned by the caller. The decoder reports the picture's size and
// writes pixel rows into memory the loader provides; it never sees the image table. Pixels are
// blue, green, red (and alpha at 4 bytes per pixel), rows from the top of the picture down, row k
// at buffer + k * stride.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/raster.h"

// What a probe answers: the file is not in its format, or it is and will be decoded into rows of
// 3 or 4 bytes per pixel, or it is but is refused (the next format is still tried).
enum class ProbeAnswer : int32_t {
    TooLarge = -2,  // refused: the picture is over the load limits
    Damaged = -1,   // refused: the file is broken (its header, or far too short)
    NotThisFormat = 0,
    Rows24 = 1,  // rows will hold 3 bytes per pixel
    Rows32 = 2,  // rows will hold 4 bytes per pixel
};
constexpr bool Accepted(ProbeAnswer a) {
    return a == ProbeAnswer::Rows24 || a == ProbeAnswer::Rows32;
}
constexpr bool Refused(ProbeAnswer a) {
    return a == ProbeAnswer::Damaged || a == ProbeAnswer::TooLarge;
}
// The bits per pixel of the rows an accepted file is decoded into.
constexpr int RowBits(ProbeAnswer a) {
    return a == ProbeAnswer::Rows32 ? 32 : 24;
}
// What a decode that breaks off leaves in the pixels it could not decode: neutral grey, opaque.
constexpr uint8_t kUndecodedGrey = 128;

using ByteView = std::span<const uint8_t>;

// How far a decode got: the first `decoded` of the picture's `total` rows, counted in the order
// the file stores them (before any turn it asks for).
struct DecodedRows {
    int decoded = 0;
    int total = 0;
    bool Whole() const { return decoded >= total; }
};

// One picture being decoded, from its successful probe to its decode. It reads the file's bytes
// in place: whoever holds the decoder keeps those bytes alive for as long as the decoder lives.
class PictureDecoder {
public:
    virtual ~PictureDecoder() = default;
    // Width and height in pixels, upright (after any orientation the file asks for).
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // The EXIF data (a TIFF structure), empty when the picture has none. Asked before decoding.
    virtual std::vector<uint8_t> Exif() const { return {}; }
    // Writes the picture and says how much of it the file held. A decode that breaks off keeps
    // the rows decoded before the break and fills the rest with kUndecodedGrey (alpha 255);
    // `decoded` is 0 when not one row could be decoded.
    [[nodiscard]] virtual DecodedRows Decode(uint8_t* buffer, int stride) = 0;
    // True when DecodeWithPreview can reduce the rows into a preview as they arrive.
    virtual bool ReducesWhileDecoding() const { return false; }
    // Like Decode (same answer), and reduces the upright picture onto the whole of `preview`
    // while the rows arrive, with exactly the pixels of the halftone stretch of the finished
    // picture; `previewMade` is false when the preview was not made that way.
    [[nodiscard]] virtual DecodedRows DecodeWithPreview(uint8_t* buffer, int stride,
                                                        raster::Bitmap& /*preview*/,
                                                        bool& previewMade) {
        previewMade = false;
        return Decode(buffer, stride);
    }
    // A reader that builds its own bitmap (BMP files keep their depth and row order) hands it
    // over here, once; null for a decoder that writes rows through Decode.
    virtual std::unique_ptr<raster::Bitmap> TakeBitmap() { return nullptr; }
    // How much of the file the bitmap handed over by TakeBitmap holds, `height` rows high.
    virtual DecodedRows ReadyRows(int height) const { return {height, height}; }
};

// What a probe found: its answer, and the decoder when it accepted the file.
struct [[nodiscard]] Probed {
    ProbeAnswer answer = ProbeAnswer::NotThisFormat;
    std::unique_ptr<PictureDecoder> decoder;
};

// One entry of the format table.
struct ImageDecoder {
    const char* name;
    // True when the file's first bytes (at most kSniffBytes, fewer for a short file) look like
    // this format. Cheap; decides whether the file is read whole and probed.
    bool (*sniff)(ByteView head);
    // Reads the header (some formats decode the whole picture here, so that a file that cannot
    // be decoded is refused) from the whole file.
    Probed (*probe)(ByteView file);
    // Pixels with alpha are laid over white by the loader; false for BMP files, whose fourth
    // byte is rarely alpha.
    bool alphaOnWhite = true;
    // The media types of the files this format reads, separated by blanks, as the desktop's
    // shared MIME database names them (aliases included): the menu entry and the software-centre
    // description offer the program for exactly these.
    const char* mediaTypes = "";
};

// The decoder of a reader that makes the whole bitmap in its probe (BMP and icon files).
class ReadyBitmap final : public PictureDecoder {
public:
    explicit ReadyBitmap(std::unique_ptr<raster::Bitmap> bitmap) : bitmap_(std::move(bitmap)) {}
    int Width() const override { return bitmap_ ? bitmap_->width : 0; }
    int Height() const override { return bitmap_ ? bitmap_->height : 0; }
    DecodedRows Decode(uint8_t*, int) override { return {}; }
    std::unique_ptr<raster::Bitmap> TakeBitmap() override { return std::move(bitmap_); }

private:
    std::unique_ptr<raster::Bitmap> bitmap_;
};

// Probes `file` with `format` and decodes it into a new top-down bitmap (24 or 32 bits as the
// probe answers; a ready bitmap as it is), alpha left as it is and no preview. Null when the
// probe refuses the file, the bitmap cannot be made or not one row could be decoded; a picture
// that breaks off keeps its grey rest.
std::unique_ptr<raster::Bitmap> DecodeWhole(const ImageDecoder& format, ByteView file);

// Bytes a sniff test may look at.
constexpr size_t kSniffBytes = 64;

// The probe entry of a format whose decoder is made from the file's bytes and answers
// `ProbeAnswer Probe()` as ImageDecoder.probe answers; the decoder is kept only when it accepts
// the file.
template <class Decoder>
Probed ProbeWith(ByteView file) {
    auto decoder = std::make_unique<Decoder>(file);
    const ProbeAnswer answer = decoder->Probe();
    if (!Accepted(answer)) return Probed{answer, nullptr};
    return Probed{answer, std::move(decoder)};
}

// Pictures below this many pixels are never judged by their file size.
constexpr uint64_t kSmallPicture = uint64_t{1} << 22;

// The size checks every decoder makes before it decodes a width x height picture at `bpp` bits
// announced by a file of `fileBytes` bytes: TooLarge when the picture is over the load limits, or
// when `workingBytesPerPixel` per pixel (0: not checked) is over the decoder memory limit;
// Damaged when a picture beyond kSmallPicture needs more than `maxPixelsPerByte` pixels from each
// byte of the file (a bomb, or most of the file missing); nothing when it may go on.
[[nodiscard]] std::optional<ProbeAnswer> PictureSizeRefusal(int width, int height, int bpp,
                                                            size_t fileBytes,
                                                            uint64_t maxPixelsPerByte,
                                                            uint64_t workingBytesPerPixel);

// The one rule by which a sample with alpha `a` is laid over white, as on paper.
inline uint8_t OverWhite(unsigned value, unsigned a) {
    return static_cast<uint8_t>((value * a + 255 * (255 - a) + 127) / 255);
}

// Copies row `y` of a picture stored as width x height (`bytesPerPixel` 3 or 4) to the places
// the EXIF orientation (1..8) gives its pixels in the upright picture at buffer + k * stride.
void PlaceStoredRow(const uint8_t* row, int y, int width, int height, int bytesPerPixel,
                    int orientation, uint8_t* buffer, int stride);
// Fills the places of stored rows [from, height) in the upright picture with kUndecodedGrey,
// opaque.
void FillUndecodedStoredRows(int from, int width, int height, int bytesPerPixel, int orientation,
                             uint8_t* buffer, int stride);

// Fills rows [from, height) of a picture `width` pixels wide with kUndecodedGrey, opaque.
inline void FillUndecodedRows(uint8_t* buffer, int stride, int width, int height, int from,
                              int bytesPerPixel) {
    for (int y = from < 0 ? 0 : from; y < height; ++y) {
        uint8_t* row = buffer + static_cast<size_t>(y) * static_cast<size_t>(stride);
        std::memset(row, kUndecodedGrey, static_cast<size_t>(width) * bytesPerPixel);
        if (bytesPerPixel == 4)
            for (int x = 0; x < width; ++x)
                row[x * 4 + 3] = 255;
    }
}
