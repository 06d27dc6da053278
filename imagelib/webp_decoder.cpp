#include "imagelib/webp_decoder.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <new>
#include <vector>

#include "imagelib/colour_profile.h"
#include "imagelib/load.h"

namespace {

// Pictures below this size are never judged by their file size.
constexpr uint64_t kSmallPicture = uint64_t{1} << 22;
// Even a lossless file of one flat colour spends a little on every few thousand pixels; a large
// picture from a tiny file is a bomb.
constexpr uint64_t kMaxPixelsPerByte = 8192;

bool LooksLikeWebp(const uint8_t* data, size_t size) {
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

struct DemuxDeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct AnimDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

// One picture being decoded: the file and, from the probe on, its pixels in blue, green, red,
// alpha.
class WebpSession {
public:
    void Own(std::unique_ptr<uint8_t[]> file, size_t size) {
        file_ = std::move(file);
        Borrow(file_.get(), size);
    }
    void Borrow(const uint8_t* data, size_t size) {
        data_ = data;
        size_ = size;
    }

    // Reads the header and decodes the picture (the first frame of an animation), so that a file
    // that cannot be decoded is refused here. DECODE_24BIT, or DECODE_32BIT with alpha; 0 when
    // the file is no WebP file, DECODE_TOO_LARGE or DECODE_DAMAGED when it is refused.
    int Probe() {
        if (!data_ || !LooksLikeWebp(data_, size_)) return 0;
        WebPBitstreamFeatures features;
        if (WebPGetFeatures(data_, size_, &features) != VP8_STATUS_OK) return DECODE_DAMAGED;
        width_ = features.width;
        height_ = features.height;
        alpha_ = features.has_alpha != 0;
        if (!ImageLoadSizeAllowed(width_, height_, alpha_ ? 32 : 24)) return DECODE_TOO_LARGE;
        const uint64_t pixels = uint64_t(width_) * uint64_t(height_);
        if (pixels > kSmallPicture && pixels / kMaxPixelsPerByte > size_) return DECODE_DAMAGED;
        if (pixels * 4 > ImageLoadLimits().maxDecoderMemory) return DECODE_TOO_LARGE;
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
    bool Decode(uint8_t* buffer, int stride) {
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
        return true;
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::vector<uint8_t> Exif() const { return exif_; }

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

    std::unique_ptr<uint8_t[]> file_;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool alpha_ = false;
    std::unique_ptr<uint8_t[]> pixels_;
    std::vector<uint8_t> icc_;
    std::vector<uint8_t> exif_;
};

using Slot = DecoderSlot<WebpSession>;

int Probe(std::FILE* stream, const char*) {
    Slot::current.reset();
    if (!stream) return 0;
    uint8_t head[12];
    if (std::fread(head, 1, sizeof head, stream) != sizeof head || !LooksLikeWebp(head, 12))
        return 0;
    if (std::fseek(stream, 0, SEEK_END) != 0) return DECODE_DAMAGED;
    const long length = std::ftell(stream);
    if (length < 12 || std::fseek(stream, 0, SEEK_SET) != 0) return DECODE_DAMAGED;
    if (static_cast<unsigned long>(length) > ImageLoadLimits().maxFileBytes)
        return DECODE_TOO_LARGE;
    size_t size = static_cast<size_t>(length);
    std::unique_ptr<uint8_t[]> file(new (std::nothrow) uint8_t[size]);
    if (!file) return DECODE_TOO_LARGE;
    size = std::fread(file.get(), 1, size, stream);
    auto session = std::make_unique<WebpSession>();
    session->Own(std::move(file), size);
    const int format = session->Probe();
    if (format > 0) Slot::current = std::move(session);
    return format;
}

const ImageDecoder kWebpDecoder = {Probe,         Slot::Decode, Slot::Width, Slot::Height,
                                   Slot::Discard, nullptr,      Slot::Exif};

}  // namespace

const ImageDecoder* WebpDecoder() {
    return &kWebpDecoder;
}

void RegisterWebpDecoder() {
    ImageRegisterDecoder(&kWebpDecoder);
}

std::unique_ptr<raster::Bitmap> WebpDecodeMemory(const uint8_t* data, size_t size) {
    WebpSession session;
    session.Borrow(data, size);
    const int format = session.Probe();
    if (format <= 0) return nullptr;
    auto bm = raster::Create(session.Width(), session.Height(), format == DECODE_32BIT ? 32 : 24,
                             true, false);
    if (!bm) return nullptr;
    session.Decode(bm->bits.get(), bm->stride);
    return bm;
}
