#include "imagelib/webp_decoder.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <new>
#include <vector>

#include "imagelib/colour_profile.h"
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
struct AnimDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

// One picture being decoded: the file and, from the probe on, its pixels in blue, green, red,
// alpha.
class WebpSession final : public PictureDecoder {
public:
    explicit WebpSession(ByteView file) : data_(file.data()), size_(file.size()) {}

    // Reads the header and decodes the picture (the first frame of an animation), so that a file
    // that cannot be decoded is refused here. DECODE_24BIT, or DECODE_32BIT with alpha; 0 when
    // the file is no WebP file, DECODE_TOO_LARGE or DECODE_DAMAGED when it is refused.
    int Probe() {
        if (!LooksLikeWebp(ByteView(data_, size_))) return 0;
        WebPBitstreamFeatures features;
        if (WebPGetFeatures(data_, size_, &features) != VP8_STATUS_OK) return DECODE_DAMAGED;
        width_ = features.width;
        height_ = features.height;
        alpha_ = features.has_alpha != 0;
        if (const int refusal =
                PictureSizeRefusal(width_, height_, alpha_ ? 32 : 24, size_, kMaxPixelsPerByte, 4))
            return refusal;
        const uint64_t pixels = uint64_t(width_) * uint64_t(height_);
        pixels_.reset(new (std::nothrow) uint8_t[pixels * 4]);
        if (!pixels_) return DECODE_TOO_LARGE;
        const WebPData whole = {data_, size_};
        if (features.has_animation) {
            WebPAnimDecoderOptions options;
            if (!WebPAnimDecoderOptionsInit(&options)) return DECODE_DAMAGED;
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
                return DECODE_DAMAGED;
            std::memcpy(pixels_.get(), frame, pixels * 4);
        } else if (!WebPDecodeBGRAInto(data_, size_, pixels_.get(), pixels * 4, width_ * 4)) {
            return DECODE_DAMAGED;
        }
        ReadChunks(&whole);
        return alpha_ ? DECODE_32BIT : DECODE_24BIT;
    }

    // Writes the picture into `buffer` as blue, green, red (and alpha), in sRGB.
    DecodedRows Decode(uint8_t* buffer, int stride) override {
        const int bytes = alpha_ ? 4 : 3;
        for (int y = 0; y < height_; ++y) {
            const uint8_t* src = pixels_.get() + static_cast<size_t>(y) * width_ * 4;
            uint8_t* dst = buffer + static_cast<size_t>(y) * stride;
            for (int x = 0; x < width_; ++x, src += 4, dst += bytes)
                std::memcpy(dst, src, bytes);
        }
        pixels_.reset();
        if (auto srgb = SrgbConversion::FromIcc(icc_.data(), icc_.size(), bytes))
            srgb->Apply(buffer, static_cast<size_t>(stride), width_, height_);
        return {height_, height_};
    }

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    std::vector<uint8_t> Exif() const override { return exif_; }

private:
    // The ICC profile and EXIF data of an extended file.
    void ReadChunks(const WebPData* whole) {
        std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(whole));
        if (!demux || !(WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & (ICCP_FLAG | EXIF_FLAG)))
            return;
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
            icc_.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
        if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
            exif_.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool alpha_ = false;
    std::unique_ptr<uint8_t[]> pixels_;
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
