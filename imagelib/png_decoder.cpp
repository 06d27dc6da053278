#include "imagelib/png_decoder.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "imagelib/colour_profile.h"
#include "imagelib/exif.h"
#include "imagelib/load_limits.h"

namespace {

// Memory libpng may hold at once for one picture: row buffers of the widest picture, the
// inflater and the chunks we keep are far below this.
constexpr size_t kPngMemoryCap = size_t{64} << 20;
// Largest ancillary chunk kept in memory, and how many text or sPLT chunks are kept.
constexpr png_alloc_size_t kChunkMallocMax = png_alloc_size_t{8} << 20;
constexpr png_uint_32 kChunkCacheMax = 128;
// Deflate expands at most 1032-fold; a picture whose rows need more than that of the whole file
// cannot be complete, and one that needs far more is a bomb.
constexpr uint64_t kMaxInflation = 1100;
constexpr uint64_t kInflationSlack = uint64_t{1} << 20;
constexpr size_t kIdatReadSize = 1024;
// Each allocation carries its size in front, kept aligned for any type.
constexpr size_t kHeader = alignof(std::max_align_t);

struct Allocations {
    size_t used = 0;
    size_t cap = kPngMemoryCap;
};

png_voidp Allocate(png_structp png, png_alloc_size_t size) {
    auto* a = static_cast<Allocations*>(png_get_mem_ptr(png));
    if (size > a->cap - a->used || size > SIZE_MAX - kHeader) return nullptr;
    auto* block = static_cast<uint8_t*>(std::malloc(size + kHeader));
    if (!block) return nullptr;
    std::memcpy(block, &size, sizeof size);
    a->used += size;
    return block + kHeader;
}

void Release(png_structp png, png_voidp ptr) {
    if (!ptr) return;
    auto* a = static_cast<Allocations*>(png_get_mem_ptr(png));
    uint8_t* block = static_cast<uint8_t*>(ptr) - kHeader;
    size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    a->used -= size;
    std::free(block);
}

// The file's bytes and how far libpng has read them.
struct Source {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
};

void ReadBytes(png_structp png, png_bytep out, size_t count) {
    auto* src = static_cast<Source*>(png_get_io_ptr(png));
    if (src->size - src->at < count) png_error(png, "Read Error");
    std::memcpy(out, src->data + src->at, count);
    src->at += count;
}

// A damaged file is reported by the window or the batch in their own words; libpng's English
// lines ("libpng error: ...", "libpng warning: ...") stay off standard error. The error function
// leaves through the jump set before each library call.
[[noreturn]] void QuietError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void QuietWarning(png_structp, png_const_charp) {}

bool LooksLikePng(ByteView head) {
    return head.size() >= 8 && png_sig_cmp(head.data(), 0, 8) == 0;
}

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

int Channels(int colourType) {
    switch (colourType) {
        case 0:
            return 1;
        case 2:
            return 3;
        case 3:
            return 1;
        case 4:
            return 2;
        case 6:
            return 4;
        default:
            return 0;
    }
}

// One picture being decoded: the library structures, where the bytes come from, and the IHDR.
class PngSession final : public PictureDecoder {
public:
    explicit PngSession(ByteView file) {
        source_.data = file.data();
        source_.size = file.size();
    }
    ~PngSession() override {
        if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    }
    PngSession(const PngSession&) = delete;
    PngSession& operator=(const PngSession&) = delete;

    // Checks the signature, reads the chunks up to the image data: the rows' depth, NotThisFormat
    // when not a PNG, or a refusal. The size of the image data bounds what the picture can
    // plausibly hold.
    ProbeAnswer Probe() {
        if (!LooksLikePng(ByteView(source_.data, source_.size))) return ProbeAnswer::NotThisFormat;
        source_.at = 8;
        png_ = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning,
                                        &allocations_, Allocate, Release);
        if (!png_) return ProbeAnswer::Damaged;
        // Any size a PNG can state gets through the header, so that one over our limits is told
        // apart from a broken one below.
        png_set_user_limits(png_, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
        png_set_chunk_cache_max(png_, kChunkCacheMax);
        png_set_chunk_malloc_max(png_, kChunkMallocMax);
        if (ImageLoadLimits().pngIgnoreChecksums) {
            png_set_crc_action(png_, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#ifdef PNG_IGNORE_ADLER32
            png_set_option(png_, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
        }
        // Image data is read in small pieces, so a file cut short loses little of what it has.
        png_set_compression_buffer_size(png_, kIdatReadSize);
        png_set_read_fn(png_, &source_, ReadBytes);
        png_set_sig_bytes(png_, 8);
        if (!ProbeStep(this)) return ProbeAnswer::Damaged;

        int bpp = alpha_ ? 32 : 24;
        if (width_ > raster::kMaxSide || height_ > raster::kMaxSide ||
            !ImageLoadSizeAllowed(static_cast<int>(width_), static_cast<int>(height_), bpp))
            return ProbeAnswer::TooLarge;
        // Only the image data inflates into rows; other chunks (text, padding) hold no pixels.
        uint64_t rowBytes = (uint64_t{width_} * Channels(colourType_) * bitDepth_ + 7) / 8 + 1;
        if (rowBytes * height_ > kMaxInflation * ImageDataBytes() + kInflationSlack)
            return ProbeAnswer::Damaged;
        // A transparent colour or a turned picture goes through rows of its own first.
        if (transparency_ || orientation_ != 1) {
            const uint64_t scratchRows = interlaced_ ? height_ : 1;
            if (scratchRows * width_ * 4 > ImageLoadLimits().maxDecoderMemory)
                return ProbeAnswer::TooLarge;
        }
        return alpha_ ? ProbeAnswer::Rows32 : ProbeAnswer::Rows24;
    }

    // Writes the upright picture into `buffer`. A decode that breaks off keeps the rows completed
    // before the break (none while an interlaced file is still in an earlier pass) and fills the
    // rest with grey; those are the rows reported decoded, counted as stored.
    DecodedRows Decode(uint8_t* buffer, int stride) override {
        buffer_ = buffer;
        stride_ = static_cast<size_t>(stride);
        const int bytes = alpha_ ? 4 : 3;
        if (transparency_ || orientation_ != 1) {
            // Rows as libpng delivers them: all of them while the passes of an interlaced file
            // fill them in, else one at a time.
            scratchRowBytes_ = size_t{width_} * (transparency_ ? 4 : bytes);
            const size_t rows = interlaced_ ? height_ : 1;
            scratch_.reset(new (std::nothrow) uint8_t[scratchRowBytes_ * rows]);
            if (transparency_) merged_.reset(new (std::nothrow) uint8_t[size_t{width_} * 3]);
            if (!scratch_ || (transparency_ && !merged_)) return {0, StoredHeight()};
        }
        const bool whole = DecodeStep(this);
        scratch_.reset();
        merged_.reset();
        const int rows = whole ? StoredHeight() : static_cast<int>(complete_);
        const CodedColours coded =
            colourType_ & PNG_COLOR_MASK_COLOR ? CodedColours::Rgb : CodedColours::Grey;
        if (auto srgb = SrgbConversion::FromIcc(icc_, iccLength_, bytes, coded))
            srgb->Apply(buffer_, stride_, Width(), orientation_ == 1 ? rows : Height());
        if (!whole)
            FillUndecodedStoredRows(rows, StoredWidth(), StoredHeight(), bytes, orientation_,
                                    buffer, stride);
        return {rows, StoredHeight()};
    }

    int Width() const override {
        return ExifSwapsSides(orientation_) ? StoredHeight() : StoredWidth();
    }
    int Height() const override {
        return ExifSwapsSides(orientation_) ? StoredWidth() : StoredHeight();
    }
    std::vector<uint8_t> Exif() const override {
        return std::vector<uint8_t>(exifData_, exifData_ + exifLength_);
    }

private:
    // libpng's error handling jumps back into these two; they hold no objects with destructors.
    static bool ProbeStep(PngSession* s) {
        if (setjmp(png_jmpbuf(s->png_))) return false;
        s->info_ = png_create_info_struct(s->png_);
        if (!s->info_) return false;
        png_read_info(s->png_, s->info_);
        png_get_IHDR(s->png_, s->info_, &s->width_, &s->height_, &s->bitDepth_, &s->colourType_,
                     nullptr, nullptr, nullptr);
        s->alpha_ = (s->colourType_ & PNG_COLOR_MASK_ALPHA) != 0;
        // A tRNS chunk is alpha too: its transparent pixels are laid over white like any other.
        // The picture keeps the three bytes per pixel of a file without alpha.
        s->transparency_ = !s->alpha_ && png_get_valid(s->png_, s->info_, PNG_INFO_tRNS) != 0;
        s->interlaced_ = png_get_interlace_type(s->png_, s->info_) != PNG_INTERLACE_NONE;
        png_charp name = nullptr;
        int compression = 0;
        png_bytep profile = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(s->png_, s->info_, &name, &compression, &profile, &length)) {
            s->icc_ = profile;  // owned by the info structure
            s->iccLength_ = length;
        }
        png_bytep exif = nullptr;
        png_uint_32 exifLength = 0;
        if (png_get_eXIf_1(s->png_, s->info_, &exifLength, &exif) && exif) {
            s->exifData_ = exif;
            s->exifLength_ = exifLength;
            // Turned as a JPEG with the same tags would be, as viewers and browsers do.
            s->orientation_ = ExifOrientationFromTiff(exif, exifLength);
        }
        return Channels(s->colourType_) != 0;
    }

    static bool DecodeStep(PngSession* s) {
        if (setjmp(png_jmpbuf(s->png_))) return false;
        int passes = s->Transform();
        png_read_update_info(s->png_, s->info_);
        // Every transformation above must end in exactly the bytes per pixel asked for.
        const size_t bytes = s->transparency_ || s->alpha_ ? 4 : 3;
        if (png_get_rowbytes(s->png_, s->info_) != size_t{s->width_} * bytes) return false;
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < s->height_; ++y) {
                uint8_t* row =
                    s->scratch_ ? s->scratch_.get() + (s->interlaced_ ? y : 0) * s->scratchRowBytes_
                                : s->buffer_ + y * s->stride_;
                png_read_row(s->png_, row, nullptr);
                if (pass < passes - 1) continue;
                if (s->scratch_) s->Place(row, static_cast<int>(y));
                s->complete_ = y + 1;
            }
        return true;
    }

    // Puts a finished row of the scratch rows into the picture: laid over white when it came
    // with transparency, at its upright place.
    void Place(const uint8_t* row, int y) {
        if (transparency_) {
            for (png_uint_32 x = 0; x < width_; ++x, row += 4)
                for (int c = 0; c < 3; ++c)
                    merged_[x * 3 + c] = OverWhite(row[c], row[3]);
            row = merged_.get();
        }
        PlaceStoredRow(row, y, StoredWidth(), StoredHeight(), alpha_ ? 4 : 3, orientation_, buffer_,
                       static_cast<int>(stride_));
    }

    int StoredWidth() const {
        return static_cast<int>(width_);
    }
    int StoredHeight() const {
        return static_cast<int>(height_);
    }

    // The bytes of the IDAT chunks present in the file.
    uint64_t ImageDataBytes() const {
        uint64_t total = 0;
        for (size_t at = 8; source_.size - at >= 8;) {
            const uint64_t length = BigEndian32(source_.data + at);
            const uint8_t* type = source_.data + at + 4;
            const uint64_t present = std::min<uint64_t>(length, source_.size - at - 8);
            if (std::memcmp(type, "IDAT", 4) == 0) total += present;
            if (std::memcmp(type, "IEND", 4) == 0 || present < length) break;
            at += 8 + present;
            if (source_.size - at < 4) break;
            at += 4;  // CRC
        }
        return total;
    }

    // Requests the transformations to 8-bit blue, green, red (alpha) rows; returns the passes.
    int Transform() {
        switch (colourType_) {
            case PNG_COLOR_TYPE_GRAY:
                if (bitDepth_ < 8) png_set_expand_gray_1_2_4_to_8(png_);
                png_set_gray_to_rgb(png_);
                break;
            case PNG_COLOR_TYPE_PALETTE:
                png_set_palette_to_rgb(png_);
                break;
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                png_set_gray_to_rgb(png_);
                break;
            default:
                break;
        }
        if (transparency_) {
            png_set_tRNS_to_alpha(png_);
        } else if (!alpha_) {
            png_set_strip_alpha(png_);
        }
        if (bitDepth_ == 16) png_set_strip_16(png_);
        png_set_bgr(png_);
        return png_set_interlace_handling(png_);
    }

    Allocations allocations_;  // outlives the structures allocated from it
    Source source_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    png_uint_32 width_ = 0;
    png_uint_32 height_ = 0;
    int bitDepth_ = 0;
    int colourType_ = 0;
    bool alpha_ = false;
    bool transparency_ = false;  // a tRNS chunk, delivered as alpha and laid over white here
    bool interlaced_ = false;
    int orientation_ = 1;
    const uint8_t* icc_ = nullptr;  // inside the info structure
    size_t iccLength_ = 0;
    const uint8_t* exifData_ = nullptr;  // inside the info structure
    size_t exifLength_ = 0;
    uint8_t* buffer_ = nullptr;
    size_t stride_ = 0;
    png_uint_32 complete_ = 0;            // stored rows from the top that hold their final pixels
    std::unique_ptr<uint8_t[]> scratch_;  // rows as delivered, before Place
    size_t scratchRowBytes_ = 0;
    std::unique_ptr<uint8_t[]> merged_;  // one row laid over white
};

const ImageDecoder kPngDecoder = {.name = "PNG",
                                  .sniff = LooksLikePng,
                                  .probe = ProbeWith<PngSession>,
                                  .mediaTypes = "image/png"};

}  // namespace

const ImageDecoder* PngDecoder() {
    return &kPngDecoder;
}

bool PngPeekSize(ByteView file, int& width, int& height, int& bitsPerPixel) {
    // Signature, then the IHDR chunk: length 13, type, width, height, depth, colour type.
    const uint8_t* data = file.data();
    if (file.size() < 8 + 8 + 13 || png_sig_cmp(data, 0, 8) != 0 ||
        std::memcmp(data + 12, "IHDR", 4) != 0)
        return false;
    uint32_t w = BigEndian32(data + 16), h = BigEndian32(data + 20);
    int channels = Channels(data[25]);
    if (w < 1 || h < 1 || w > raster::kMaxSide || h > raster::kMaxSide || !channels) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    bitsPerPixel = data[24] * channels;
    return true;
}
