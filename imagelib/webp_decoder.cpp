#include "imagelib/webp_decoder.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <new>
#include <vector>

#include "imagelib/colour_profile.h"
#include "imagelib/exif.h"
#include "imagelib/load_limits.h"

namespace {

// Even a lossless file of one flat colour spends a little on every few thousand pixels; a large
// picture from a tiny file is a bomb.
constexpr uint64_t kMaxPixelsPerByte = 8192;

bool LooksLikeWebp(ByteView head) {
    return head.size() >= 12 && std::memcmp(head.data(), "RIFF", 4) == 0 &&
           std::memcmp(head.data() + 8, "WEBP", 4) == 0;
}

struct DemuxDeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct IncrementalDeleter {
    void operator()(WebPIDecoder* d) const { WebPIDelete(d); }
};
struct AnimDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

// One picture being decoded: the file and, from the probe on, its pixels in blue, green, red,
// alpha.
class WebpSession final : public PictureDecoder {
public:
    explicit WebpSession(ByteView file) : data_(file.data()), size_(file.size()) {}

    // Reads the header and decodes the picture (the first frame of an animation), so that a file
    // that cannot be decoded is refused here: Rows24, or Rows32 with alpha; NotThisFormat when the
    // file is no WebP file, TooLarge or Damaged when it is refused.
    ProbeAnswer Probe() {
        if (!LooksLikeWebp(ByteView(data_, size_))) return ProbeAnswer::NotThisFormat;
        WebPBitstreamFeatures features;
        if (WebPGetFeatures(data_, size_, &features) != VP8_STATUS_OK) return ProbeAnswer::Damaged;
        const WebPData whole = {data_, size_};
        // A file cut short still has its header: its picture loads as far as the data goes.
        WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
        std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&whole, &state));
        if (!demux || state < WEBP_DEMUX_PARSED_HEADER) return ProbeAnswer::Damaged;
        width_ = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
        height_ = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
        alpha_ = features.has_alpha != 0;
        // An animation keeps two canvases of its own besides ours.
        const uint64_t working = features.has_animation ? 12 : 4;
        if (const auto refusal =
                PictureSizeRefusal(width_, height_, alpha_ ? 32 : 24, CodedBytes(demux.get()),
                                   kMaxPixelsPerByte, working))
            return *refusal;
        ReadChunks(demux.get());
        const uint64_t pixels = uint64_t(width_) * uint64_t(height_);
        pixels_.reset(new (std::nothrow) uint8_t[pixels * 4]);
        if (!pixels_) return ProbeAnswer::TooLarge;
        if (features.has_animation) {
            WebPAnimDecoderOptions options;
            if (!WebPAnimDecoderOptionsInit(&options)) return ProbeAnswer::Damaged;
            options.color_mode = MODE_BGRA;
            options.use_threads = 0;
            std::unique_ptr<WebPAnimDecoder, AnimDeleter> anim(
                WebPAnimDecoderNew(&whole, &options));
            WebPAnimInfo info;
            uint8_t* frame = nullptr;
            int timestamp = 0;
            if (!anim || !WebPAnimDecoderGetInfo(anim.get(), &info) ||
                info.canvas_width != static_cast<uint32_t>(width_) ||
                info.canvas_height != static_cast<uint32_t>(height_) ||
                !WebPAnimDecoderGetNext(anim.get(), &frame, &timestamp) || !frame)
                return ProbeAnswer::Damaged;
            std::memcpy(pixels_.get(), frame, pixels * 4);
            decodedRows_ = height_;
        } else if (features.width != width_ || features.height != height_) {
            return ProbeAnswer::Damaged;
        } else {
            decodedRows_ = DecodeStill(pixels * 4);
            if (decodedRows_ <= 0) return ProbeAnswer::Damaged;
        }
        return alpha_ ? ProbeAnswer::Rows32 : ProbeAnswer::Rows24;
    }

    // Writes the upright picture into `buffer` as blue, green, red (and alpha), in sRGB; the rows
    // a cut file did not hold are grey.
    DecodedRows Decode(uint8_t* buffer, int stride) override {
        const int bytes = alpha_ ? 4 : 3;
        FillUndecodedRows(pixels_.get(), width_ * 4, width_, height_, decodedRows_, 4);
        for (int y = 0; y < height_; ++y) {
            const uint8_t* src = pixels_.get() + static_cast<size_t>(y) * width_ * 4;
            if (orientation_ != 1) {
                // Packed to the picture's bytes per pixel in place, then turned.
                uint8_t* packed = pixels_.get() + static_cast<size_t>(y) * width_ * 4;
                for (int x = 0; bytes == 3 && x < width_; ++x)
                    std::memmove(packed + x * 3, src + x * 4, 3);
                PlaceStoredRow(packed, y, width_, height_, bytes, orientation_, buffer, stride);
                continue;
            }
            uint8_t* dst = buffer + static_cast<size_t>(y) * stride;
            for (int x = 0; x < width_; ++x, src += 4, dst += bytes)
                std::memcpy(dst, src, bytes);
        }
        pixels_.reset();
        if (auto srgb = SrgbConversion::FromIcc(icc_.data(), icc_.size(), bytes, CodedColours::Rgb))
            srgb->Apply(buffer, static_cast<size_t>(stride), Width(),
                        orientation_ == 1 ? decodedRows_ : Height());
        return {decodedRows_, height_};
    }

    int Width() const override { return ExifSwapsSides(orientation_) ? height_ : width_; }
    int Height() const override { return ExifSwapsSides(orientation_) ? width_ : height_; }
    std::vector<uint8_t> Exif() const override { return exif_; }

private:
    // The coded image data of every frame: padding and unknown chunks describe no pixels.
    static uint64_t CodedBytes(WebPDemuxer* demux) {
        uint64_t total = 0;
        WebPIterator frame;
        if (!WebPDemuxGetFrame(demux, 1, &frame)) return 0;
        do {
            total += frame.fragment.size;
        } while (WebPDemuxNextFrame(&frame));
        WebPDemuxReleaseIterator(&frame);
        return total;
    }

    // Decodes a still picture into the pixels as far as the file goes: the rows decoded, 0 when
    // none could be. The incremental decoder keeps the rows it finished when the data runs out.
    int DecodeStill(size_t bytes) {
        WebPDecBuffer output;
        if (!WebPInitDecBuffer(&output)) return 0;
        output.colorspace = MODE_BGRA;
        output.is_external_memory = 1;
        output.u.RGBA.rgba = pixels_.get();
        output.u.RGBA.stride = width_ * 4;
        output.u.RGBA.size = bytes;
        std::unique_ptr<WebPIDecoder, IncrementalDeleter> decoder(WebPINewDecoder(&output));
        if (!decoder) return 0;
        const VP8StatusCode status = WebPIUpdate(decoder.get(), data_, size_);
        if (status == VP8_STATUS_OK) return height_;
        int rows = 0;
        // Only data that ran out leaves the rows above it good; a broken bitstream may not.
        if (status != VP8_STATUS_SUSPENDED ||
            !WebPIDecGetRGB(decoder.get(), &rows, nullptr, nullptr, nullptr))
            return 0;
        return rows < height_ ? rows : 0;
    }

    // The ICC profile and EXIF data of an extended file, and the orientation the EXIF data
    // gives, applied as for a JPEG file with the same tags.
    void ReadChunks(WebPDemuxer* demux) {
        if (!(WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & (ICCP_FLAG | EXIF_FLAG))) return;
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) {
            icc_.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
        if (WebPDemuxGetChunk(demux, "EXIF", 1, &chunk)) {
            exif_.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
            // Some writers keep the "Exif\0\0" of a JPEG segment in front of the TIFF data.
            static const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
            const size_t skip =
                exif_.size() >= 6 && std::memcmp(exif_.data(), kExifHeader, 6) == 0 ? 6 : 0;
            orientation_ = ExifOrientationFromTiff(exif_.data() + skip, exif_.size() - skip);
        }
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool alpha_ = false;
    int orientation_ = 1;
    int decodedRows_ = 0;
    std::unique_ptr<uint8_t[]> pixels_;  // as stored, 4 bytes per pixel
    std::vector<uint8_t> icc_;
    std::vector<uint8_t> exif_;
};

const ImageDecoder kWebpDecoder = {.name = "WebP",
                                   .sniff = LooksLikeWebp,
                                   .probe = ProbeWith<WebpSession>,
                                   .mediaTypes = "image/webp"};

}  // namespace

const ImageDecoder* WebpDecoder() {
    return &kWebpDecoder;
}
