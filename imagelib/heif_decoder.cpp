#include "imagelib/heif_decoder.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "imagelib/colour_profile.h"
#include "imagelib/load_limits.h"

namespace {

// Neither HEVC nor AV1 describes more than a few thousand pixels per byte of a real photo; a
// large picture from a tiny file is a bomb (a grid repeating one tile, say).
constexpr uint64_t kMaxPixelsPerByte = 8192;
// Working memory per pixel while decoding: the coded planes (up to 4:4:4 with alpha, 16 bits)
// and the interleaved result.
constexpr uint64_t kBytesPerPixel = 8 + 4;
// EXIF blocks larger than this are not a camera's.
constexpr size_t kMaxExif = size_t{1} << 20;

bool Ok(const heif_error& e) {
    return e.code == heif_error_Ok;
}

// Brands of the HEIF family (ISO/IEC 23008-12 and AVIF), any of which a
// HEIF or AVIF file names in its ftyp box.
constexpr const char* kHeifBrands[] = {"mif1", "mif2", "msf1", "miaf", "heic", "heix", "heim",
                                       "heis", "hevc", "hevx", "hevm", "hevs", "avif", "avis"};

// A file that starts with an ftyp box naming a brand of the HEIF family, as its major brand or
// among the compatible brands within `head`, or that libheif itself takes for HEIF. Whether it
// can be decoded is for libheif to find out: many brands it reads are not ones it calls
// supported. Other ISO media files (videos) are not read further.
bool LooksLikeHeif(ByteView head) {
    if (head.size() < 16 || std::memcmp(head.data() + 4, "ftyp", 4) != 0) return false;
    if (heif_check_filetype(head.data(), static_cast<int>(head.size())) != heif_filetype_no)
        return true;
    const size_t boxSize = std::min<size_t>(
        head.size(), uint32_t{head[0]} << 24 | uint32_t{head[1]} << 16 | head[2] << 8 | head[3]);
    for (size_t at = 8; at + 4 <= boxSize; at += at == 8 ? 8 : 4)  // major, minor, compatible
        for (const char* brand : kHeifBrands)
            if (std::memcmp(head.data() + at, brand, 4) == 0) return true;
    return false;
}

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// One picture being decoded: the file, libheif's context and the primary image's handle.
class HeifSession final : public PictureDecoder {
public:
    explicit HeifSession(ByteView file) : data_(file.data()), size_(file.size()) {}
    ~HeifSession() override {
        if (image_) heif_image_release(image_);
        if (handle_) heif_image_handle_release(handle_);
        if (context_) heif_context_free(context_);
    }
    HeifSession(const HeifSession&) = delete;
    HeifSession& operator=(const HeifSession&) = delete;

    // Reads the boxes and decodes the primary image, so that a file that cannot be decoded is
    // refused here: Rows24, or Rows32 with alpha; NotThisFormat when the file is no HEIF file,
    // TooLarge or Damaged when it is refused.
    ProbeAnswer Probe() {
        if (!LooksLikeHeif(ByteView(data_, size_))) return ProbeAnswer::NotThisFormat;
        context_ = heif_context_alloc();
        if (!context_) return ProbeAnswer::TooLarge;
        heif_context_set_maximum_image_size_limit(context_, raster::kMaxSide + 1);
        const heif_error read =
            heif_context_read_from_memory_without_copy(context_, data_, size_, nullptr);
        if (read.code == heif_error_Unsupported_filetype)
            return ProbeAnswer::NotThisFormat;  // another ISO media file
        if (!Ok(read)) return Refusal(read);
        if (!Ok(heif_context_get_primary_image_handle(context_, &handle_)))
            return ProbeAnswer::Damaged;
        width_ = heif_image_handle_get_width(handle_);
        height_ = heif_image_handle_get_height(handle_);
        if (width_ <= 0 || height_ <= 0) return ProbeAnswer::Damaged;
        alpha_ = heif_image_handle_has_alpha_channel(handle_) != 0;
        if (const auto refusal = PictureSizeRefusal(width_, height_, alpha_ ? 32 : 24, size_,
                                                    kMaxPixelsPerByte, kBytesPerPixel))
            return *refusal;
        // No side of what is decoded may outgrow the announced picture or its ispe box: a grid
        // whose output is larger than its ispe box says is refused by libheif's limit before it
        // is assembled.
        const int coded = std::max({width_, height_, heif_image_handle_get_ispe_width(handle_),
                                    heif_image_handle_get_ispe_height(handle_)});
        // The codecs decode whole coding blocks (up to 128 pixels square) before the crop.
        heif_context_set_maximum_image_size_limit(context_, (coded + 127) / 128 * 128 + 1);

        heif_decoding_options* options = heif_decoding_options_alloc();
        if (!options) return ProbeAnswer::TooLarge;
        options->convert_hdr_to_8bit = 1;
        const heif_error e = heif_decode_image(
            handle_, &image_, heif_colorspace_RGB,
            alpha_ ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
        heif_decoding_options_free(options);
        if (!Ok(e)) return Refusal(e);
        if (!image_) return ProbeAnswer::Damaged;
        plane_ = heif_image_get_plane_readonly(image_, heif_channel_interleaved, &planeStride_);
        // libheif turns and crops by the irot, imir and clap properties while decoding. The size
        // it announces is the ispe box's as transformed by the properties listed before that
        // box, so a file that names irot or clap first announces the size before the turn or the
        // crop. The decoded picture may be the announced one turned a quarter, or cropped from it;
        // never larger, so that the checks above hold for it.
        const int w = heif_image_get_width(image_, heif_channel_interleaved);
        const int h = heif_image_get_height(image_, heif_channel_interleaved);
        const bool fits = (w <= width_ && h <= height_) || (w <= height_ && h <= width_);
        if (!plane_ || w <= 0 || h <= 0 || !fits || planeStride_ < w * (alpha_ ? 4 : 3))
            return ProbeAnswer::Damaged;
        width_ = w;
        height_ = h;
        return alpha_ ? ProbeAnswer::Rows32 : ProbeAnswer::Rows24;
    }

    // Writes the decoded picture into `buffer` as blue, green, red (and alpha), in sRGB.
    DecodedRows Decode(uint8_t* buffer, int stride) override {
        const int bytes = alpha_ ? 4 : 3;
        for (int y = 0; y < height_; ++y) {
            const uint8_t* src = plane_ + static_cast<size_t>(y) * planeStride_;
            uint8_t* dst = buffer + static_cast<size_t>(y) * stride;
            for (int x = 0; x < width_; ++x, src += bytes, dst += bytes) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
                if (alpha_) dst[3] = src[3];
            }
        }
        heif_image_release(image_);
        image_ = nullptr;
        if (auto srgb = Colours(bytes))
            srgb->Apply(buffer, static_cast<size_t>(stride), width_, height_);
        return {height_, height_};
    }

    int Width() const override { return width_; }
    int Height() const override { return height_; }

    // The first Exif block: normally a four-byte offset to the TIFF header, then the data. Some
    // writers leave the offset out and start with the TIFF header itself (or with the
    // "Exif\0\0" of a JPEG segment); those blocks are taken as they are.
    std::vector<uint8_t> Exif() const override {
        heif_item_id id = 0;
        if (heif_image_handle_get_list_of_metadata_block_IDs(handle_, "Exif", &id, 1) < 1)
            return {};
        const size_t size = heif_image_handle_get_metadata_size(handle_, id);
        if (size < 4 || size > kMaxExif) return {};
        std::vector<uint8_t> block(size);
        if (!Ok(heif_image_handle_get_metadata(handle_, id, block.data()))) return {};
        static const uint8_t kIntel[4] = {'I', 'I', 42, 0}, kMotorola[4] = {'M', 'M', 0, 42};
        static const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
        if (std::memcmp(block.data(), kIntel, 4) == 0 ||
            std::memcmp(block.data(), kMotorola, 4) == 0)
            return block;
        if (size >= 6 && std::memcmp(block.data(), kExifHeader, 6) == 0) {
            block.erase(block.begin(), block.begin() + 6);
            return block;
        }
        const uint32_t offset = BigEndian32(block.data());
        if (offset > size - 4) return {};
        block.erase(block.begin(), block.begin() + 4 + offset);
        return block;
    }

private:
    // A file libheif refuses: over its security limits (a grid of too many tiles or too large
    // an output) is too large, anything else damaged.
    static ProbeAnswer Refusal(const heif_error& e) {
        return e.subcode == heif_suberror_Security_limit_exceeded ? ProbeAnswer::TooLarge
                                                                  : ProbeAnswer::Damaged;
    }

    // The conversion to sRGB the file's colour information asks for; null for none.
    std::unique_ptr<SrgbConversion> Colours(int bytesPerPixel) const {
        const size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle_);
        if (iccSize > 0) {
            std::vector<uint8_t> icc(iccSize);
            if (Ok(heif_image_handle_get_raw_color_profile(handle_, icc.data())))
                return SrgbConversion::FromIcc(icc.data(), icc.size(), bytesPerPixel,
                                               CodedColours::Rgb);
            return nullptr;
        }
        heif_color_profile_nclx* nclx = nullptr;
        // libheif may hand out a profile along with an error (unknown primaries, say).
        const bool known = Ok(heif_image_handle_get_nclx_color_profile(handle_, &nclx));
        if (!nclx) return nullptr;
        if (!known) {
            heif_nclx_color_profile_free(nclx);
            return nullptr;
        }
        const float primaries[8] = {nclx->color_primary_red_x,   nclx->color_primary_red_y,
                                    nclx->color_primary_green_x, nclx->color_primary_green_y,
                                    nclx->color_primary_blue_x,  nclx->color_primary_blue_y,
                                    nclx->color_primary_white_x, nclx->color_primary_white_y};
        const int transfer = nclx->transfer_characteristics;
        heif_nclx_color_profile_free(nclx);
        return SrgbConversion::FromPrimaries(primaries, transfer, bytesPerPixel);
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    heif_context* context_ = nullptr;
    heif_image_handle* handle_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool alpha_ = false;
    heif_image* image_ = nullptr;
    const uint8_t* plane_ = nullptr;
    int planeStride_ = 0;
};

const ImageDecoder kHeifDecoder = {.name = "HEIF",
                                   .sniff = LooksLikeHeif,
                                   .probe = ProbeWith<HeifSession>,
                                   .mediaTypes = "image/heif image/heic image/avif"};

}  // namespace

const ImageDecoder* HeifDecoder() {
    return &kHeifDecoder;
}
