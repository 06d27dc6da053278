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

// libheif tells a HEIF or AVIF file it can decode from its first box.
bool LooksLikeHeif(ByteView head) {
    return head.size() >= 12 &&
           heif_check_filetype(head.data(), static_cast<int>(std::min(head.size(), kSniffBytes))) ==
               heif_filetype_yes_supported;
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
    // refused here. DECODE_24BIT, or DECODE_32BIT with alpha; 0 when the file is no HEIF file,
    // DECODE_TOO_LARGE or DECODE_DAMAGED when it is refused.
    int Probe() {
        if (!LooksLikeHeif(ByteView(data_, size_))) return 0;
        context_ = heif_context_alloc();
        if (!context_) return DECODE_TOO_LARGE;
        heif_context_set_maximum_image_size_limit(context_, raster::kMaxSide + 1);
        const heif_error read =
            heif_context_read_from_memory_without_copy(context_, data_, size_, nullptr);
        if (!Ok(read))
            return read.subcode == heif_suberror_Security_limit_exceeded ? DECODE_TOO_LARGE
                                                                         : DECODE_DAMAGED;
        if (!Ok(heif_context_get_primary_image_handle(context_, &handle_))) return DECODE_DAMAGED;
        width_ = heif_image_handle_get_width(handle_);
        height_ = heif_image_handle_get_height(handle_);
        if (width_ <= 0 || height_ <= 0) return DECODE_DAMAGED;
        alpha_ = heif_image_handle_has_alpha_channel(handle_) != 0;
        if (const int refusal = PictureSizeRefusal(width_, height_, alpha_ ? 32 : 24, size_,
                                                   kMaxPixelsPerByte, kBytesPerPixel))
            return refusal;

        heif_decoding_options* options = heif_decoding_options_alloc();
        if (!options) return DECODE_TOO_LARGE;
        options->convert_hdr_to_8bit = 1;
        const heif_error e = heif_decode_image(
            handle_, &image_, heif_colorspace_RGB,
            alpha_ ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
        heif_decoding_options_free(options);
        if (!Ok(e) || !image_) return DECODE_DAMAGED;
        plane_ = heif_image_get_plane_readonly(image_, heif_channel_interleaved, &planeStride_);
        // The decoded picture must be exactly what the handle announced.
        if (!plane_ || planeStride_ < width_ * (alpha_ ? 4 : 3) ||
            heif_image_get_width(image_, heif_channel_interleaved) != width_ ||
            heif_image_get_height(image_, heif_channel_interleaved) != height_)
            return DECODE_DAMAGED;
        return alpha_ ? DECODE_32BIT : DECODE_24BIT;
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
