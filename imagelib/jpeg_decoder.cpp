#include "imagelib/jpeg_decoder.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "imagelib/cmyk_rows.h"
#include "imagelib/colour_profile.h"
#include "imagelib/exif.h"
#include "imagelib/jpeg_glue.h"
#include "imagelib/load_limits.h"
#include "imagelib/upright_rows.h"

namespace {

// A complete JPEG spends at least one bit on every 8 x 8 block of one component, so it cannot
// describe more than 512 pixels per byte. Twice that means most of the file is missing: a bomb.
constexpr uint64_t kMaxPixelsPerByte = 1024;
// Working memory beyond the coefficient buffers of a progressive file.
constexpr size_t kJpegSlack = size_t{64} << 20;
constexpr int kMaxRowsPerRead = 16;
// Rows that go through the strip ring rather than straight into the picture (CMYK samples, or
// an orientation other than upright) are placed by the second thread a strip at a time, while
// the decoder goes on with the next strips.
constexpr int kStripRows = 64;
constexpr int kStrips = 3;
constexpr int kRingRows = kStripRows * kStrips;
// Set in the published row count once decoding has stopped, at the end or early.
constexpr int kDecodeEnded = 1 << 30;
static_assert(kStripRows <= UprightRows::kMaxRows);

// Every JPEG file starts with a start-of-image marker.
bool LooksLikeJpeg(ByteView head) {
    return head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8;
}

// One picture being decoded: the library objects, the file and what the probe found.
class JpegSession final : public PictureDecoder {
public:
    explicit JpegSession(ByteView file) : data_(file.data()), size_(file.size()) {}
    ~JpegSession() override { std::free(icc_); }
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;

    // Reads the header and starts decompression: Rows24, NotThisFormat when not a JPEG, or a
    // refusal.
    ProbeAnswer Probe() {
        if (!LooksLikeJpeg(ByteView(data_, size_))) return ProbeAnswer::NotThisFormat;
        if (ExifFindInJpeg(data_, size_, &exifOffset_, &exifLength_))
            orientation_ = ExifOrientationFromTiff(data_ + exifOffset_, exifLength_);
        if (!glue_.Guarded(ProbeStep, this)) return refusal_;
        width_ = ExifSwapsSides(orientation_) ? cinfo_.output_height : cinfo_.output_width;
        height_ = ExifSwapsSides(orientation_) ? cinfo_.output_width : cinfo_.output_height;
        return ProbeAnswer::Rows24;
    }

    // Writes the upright picture into `buffer`. When the data breaks off, the rows output before
    // the break stay and the rest is filled with grey; they are the rows reported decoded. With
    // `preview`, also reduces the upright picture onto the whole of it (the drawing surface's
    // halftone stretch) while the rows arrive; *previewMade tells whether that worked.
    DecodedRows Decode(uint8_t* buffer, int stride) override {
        bool made = false;
        return DecodeRows(buffer, stride, nullptr, made);
    }
    bool ReducesWhileDecoding() const override { return true; }
    DecodedRows DecodeWithPreview(uint8_t* buffer, int stride, raster::Bitmap& preview,
                                  bool& previewMade) override {
        return DecodeRows(buffer, stride, &preview, previewMade);
    }

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    std::vector<uint8_t> Exif() const override {
        if (!exifLength_) return {};
        return std::vector<uint8_t>(data_ + exifOffset_, data_ + exifOffset_ + exifLength_);
    }

private:
    DecodedRows DecodeRows(uint8_t* buffer, int stride, raster::Bitmap* preview,
                           bool& previewMade) {
        buffer_ = buffer;
        stride_ = static_cast<size_t>(stride);
        upright_ = UprightRows(orientation_, static_cast<int>(cinfo_.output_width),
                               static_cast<int>(cinfo_.output_height), buffer_, stride_);
        // Colours converted after decoding would not be those of the reduced rows: a picture
        // with a profile to convert gets its preview from the finished picture instead.
        const CodedColours coded = cmyk_                           ? CodedColours::Cmyk
                                   : cinfo_.output_components == 1 ? CodedColours::Grey
                                                                   : CodedColours::Rgb;
        auto profile = SrgbConversion::FromIcc(icc_, iccLength_, 3, coded);
        // Inks are converted through their profile row by row as they arrive, before any
        // reduction; the other pictures once decoded.
        if (cmyk_) {
            inks_.emplace(static_cast<int>(cinfo_.output_width));
            inks_->UseProfile(std::move(profile));
        }
        const auto srgb = cmyk_ ? nullptr : std::move(profile);
        const bool reducing = preview && !srgb && StartPreview(*preview);
        // The second thread places strips and reduces rows; without one, the decoding thread
        // does the same work between its reads.
        std::thread helper;
        if ((reducing || !direct_) && std::thread::hardware_concurrency() > 1) {
            try {
                helper = std::thread([this] { Work(); });
                threaded_ = true;
            } catch (const std::system_error&) {
                threaded_ = false;
            }
        }
        const bool ok = glue_.Guarded(DecodeStep, this);
        decoded_.fetch_or(kDecodeEnded, std::memory_order_release);
        decoded_.notify_all();
        if (helper.joinable()) {
            helper.join();
        } else {
            Drain();
        }
        JDIMENSION rows = ok ? cinfo_.output_height : cinfo_.output_scanline;
        rows = std::min(rows, glue_.RowsBeforeBreak());
        const DecodedRows decoded{static_cast<int>(rows), static_cast<int>(cinfo_.output_height)};
        // Converted before the undecoded part is filled, which stays neutral grey.
        if (srgb) srgb->Apply(buffer_, stride_, width_, height_);
        upright_.FillFrom(static_cast<int>(rows));
        glue_.Destroy();
        previewMade = reducing && decoded.Whole() && reducer_.Done() && FinishPreview(*preview);
        return decoded;
    }

    // Run under the library's error exit; they hold no objects with destructors.
    static bool ProbeStep(void* context) {
        auto* s = static_cast<JpegSession*>(context);
        s->glue_.Create();
        jpeg_read_header(&s->cinfo_, TRUE);
        if (!s->Choose()) return false;
        if (!jpeg_read_icc_profile(&s->cinfo_, &s->icc_, &s->iccLength_)) s->iccLength_ = 0;
        jpeg_calc_output_dimensions(&s->cinfo_);
        s->rowBytes_ = size_t{s->cinfo_.output_width} * s->cinfo_.output_components;
        if (!s->AllocateRing()) return false;
        jpeg_start_decompress(&s->cinfo_);
        return true;
    }

    static bool DecodeStep(void* context) {
        auto* s = static_cast<JpegSession*>(context);
        while (s->cinfo_.output_scanline < s->cinfo_.output_height)
            s->ReadRows();
        jpeg_finish_decompress(&s->cinfo_);
        return true;
    }

    // Output parameters; false when the picture is refused.
    bool Choose() {
        const LoadLimits& limits = ImageLoadLimits();
        uint64_t pixels = uint64_t{cinfo_.image_width} * cinfo_.image_height;
        const std::optional<ProbeAnswer> refusal =
            cinfo_.image_width > raster::kMaxSide || cinfo_.image_height > raster::kMaxSide
                ? ProbeAnswer::TooLarge
                : PictureSizeRefusal(static_cast<int>(cinfo_.image_width),
                                     static_cast<int>(cinfo_.image_height), 24, CodedBytes(),
                                     kMaxPixelsPerByte, 0);
        if (refusal) {
            refusal_ = *refusal;
            return false;
        }
        // Coefficient buffers of a multi-scan file take 2 bytes per sample; allow them plus slack.
        size_t need = static_cast<size_t>(pixels) * 2 * cinfo_.num_components + kJpegSlack;
        if (need < limits.maxDecoderMemory) cinfo_.mem->max_memory_to_use = static_cast<long>(need);

        cinfo_.dct_method = JDCT_ISLOW;
        switch (cinfo_.num_components) {
            case 1:
            case 3:
                cinfo_.out_color_space = JCS_EXT_BGR;
                break;
            case 4:
                // CMYK stays CMYK, YCCK becomes CMYK. The inks are taken as inverted (0 = full
                // ink) with or without Adobe's APP14 marker: practically every writer of CMYK
                // JPEGs stores them so, and the common decoders read every such file that way.
                if (cinfo_.jpeg_color_space != JCS_CMYK && cinfo_.jpeg_color_space != JCS_YCCK)
                    return false;
                cinfo_.out_color_space = JCS_CMYK;
                cmyk_ = true;
                break;
            default:
                return false;
        }
        direct_ = !cmyk_ && orientation_ == 1;
        return true;
    }

    // The file's bytes less its application and comment segments before the first scan: those
    // (EXIF, profiles, thumbnails, padding) describe no pixels of the picture.
    size_t CodedBytes() const {
        size_t metadata = 0;
        for (size_t at = 2; at + 4 <= size_ && data_[at] == 0xFF;) {
            const uint8_t marker = data_[at + 1];
            if (marker == 0xFF) {  // fill byte
                ++at;
                continue;
            }
            if (marker == 0xDA) break;  // start of scan
            const size_t length = size_t{data_[at + 2]} << 8 | data_[at + 3];
            if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE)
                metadata += std::min(2 + length, size_ - at);
            at += 2 + length;
        }
        return size_ - metadata;
    }

    // The ring of strips for rows that are not decoded straight into the picture.
    bool AllocateRing() {
        if (direct_) return true;
        // The decoder writes the whole ring within its first strips: a few huge pages fault in
        // at once where hundreds of small ones would each stop it.
        ring_ = raster::AllocateHugeWorkingMemory(rowBytes_ * kRingRows);
        return ring_ != nullptr;
    }

    uint8_t* RingRow(int y) const {
        return ring_.get() + static_cast<size_t>(y % kRingRows) * rowBytes_;
    }

    // Decodes the next rows: straight into the picture when it is upright BGR, else into the
    // next free rows of the ring. Makes them known to the second thread.
    void ReadRows() {
        const int y = static_cast<int>(cinfo_.output_scanline);
        int count = std::min<int>(static_cast<int>(cinfo_.output_height) - y, kMaxRowsPerRead);
        JSAMPROW rows[kMaxRowsPerRead];
        if (direct_) {
            for (int i = 0; i < count; ++i)
                rows[i] = buffer_ + static_cast<size_t>(y + i) * stride_;
        } else {
            // Within one strip, into rows the second thread is done with.
            count = std::min(count, kStripRows - y % kStripRows);
            for (;;) {
                const int finished = finished_.load(std::memory_order_acquire);
                if (finished + kRingRows >= y + count) break;
                if (threaded_) {
                    finished_.wait(finished, std::memory_order_acquire);
                } else if (!Drain()) {
                    break;
                }
            }
            for (int i = 0; i < count; ++i)
                rows[i] = RingRow(y + i);
        }
        jpeg_read_scanlines(&cinfo_, rows, static_cast<JDIMENSION>(count));
        decoded_.store(static_cast<int>(cinfo_.output_scanline), std::memory_order_release);
        if (threaded_) {
            decoded_.notify_one();
        } else if (direct_ || cinfo_.output_scanline % kStripRows == 0) {
            Drain();
        }
    }

    // The second thread: takes on decoded rows until decoding has ended and all are done.
    void Work() {
        for (;;) {
            const int published = decoded_.load(std::memory_order_acquire);
            if (Drain()) continue;
            if (published & kDecodeEnded) return;
            decoded_.wait(published, std::memory_order_acquire);
        }
    }

    // Takes on the rows decoded since the last call: whole strips, or every row once decoding
    // has ended. Returns true when it did any work.
    bool Drain() {
        const int published = decoded_.load(std::memory_order_acquire);
        const bool ended = published & kDecodeEnded;
        const int decoded = published & ~kDecodeEnded;
        int upTo = decoded;
        if (!direct_ && !ended) upTo -= decoded % kStripRows;
        const int from = finished_.load(std::memory_order_relaxed);
        if (upTo <= from) return false;
        for (int y = from; y < upTo;) {
            const int end = direct_ ? upTo : std::min(upTo, (y / kStripRows + 1) * kStripRows);
            TakeRows(y, end);
            y = end;
        }
        finished_.store(upTo, std::memory_order_release);
        finished_.notify_one();
        return true;
    }

    // Stored rows [y0, y1): converted from CMYK, reduced into the preview, put upright.
    void TakeRows(int y0, int y1) {
        if (direct_) {
            if (reducing_)
                for (int y = y0; y < y1; ++y)
                    reducer_.Add(buffer_ + static_cast<size_t>(y) * stride_);
            return;
        }
        for (int y = y0; y < y1; ++y) {
            if (cmyk_) inks_->ConvertRow(RingRow(y));
            if (reducing_) reducer_.Add(RingRow(y));
        }
        upright_.Place(RingRow(y0), rowBytes_, y0, y1);
    }

    // Prepares the reduction of the rows as they are stored into `preview` (turned back
    // upright at the end), when it gives exactly the pixels of the upright picture's stretch.
    bool StartPreview(raster::Bitmap& preview) {
        const int w = static_cast<int>(cinfo_.output_width);
        const int h = static_cast<int>(cinfo_.output_height);
        raster::Bitmap* target = &preview;
        if (orientation_ != 1) {
            // Reduced as stored, then turned: the same figures as turning first, because every
            // area weight is symmetric, but only while both sides are reduced.
            const bool swap = ExifSwapsSides(orientation_);
            const int sw = swap ? preview.height : preview.width;
            const int sh = swap ? preview.width : preview.height;
            if (sw > w || sh > h) return false;
            stored_ = raster::Create(sw, sh, preview.bpp, true, preview.screen);
            if (!stored_) return false;
            target = stored_.get();
        }
        reducing_ = reducer_.Start(*target, w, h, 24);
        return reducing_;
    }

    // Turns the preview reduced as stored upright.
    bool FinishPreview(raster::Bitmap& preview) {
        if (stored_) TurnUpright(*stored_, orientation_, preview);
        return true;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    JpegGlue glue_{data_, size_};  // made after the file's bytes it reads
    jpeg_decompress_struct& cinfo_ = glue_.Info();
    ProbeAnswer refusal_ = ProbeAnswer::Damaged;  // the probe's answer when the file is refused
    int orientation_ = 1;
    size_t exifOffset_ = 0;
    size_t exifLength_ = 0;
    JOCTET* icc_ = nullptr;  // from malloc
    unsigned iccLength_ = 0;
    bool cmyk_ = false;
    std::optional<CmykRows> inks_;  // converts the inks of a CMYK file
    bool direct_ = true;
    size_t rowBytes_ = 0;       // one stored row as decoded
    raster::PixelMemory ring_;  // kStrips strips of kStripRows stored rows
    // Rows decoded so far (kDecodeEnded added once decoding stopped), and rows taken on by the
    // second thread (or between reads when there is none).
    std::atomic<int> decoded_{0};
    std::atomic<int> finished_{0};
    bool threaded_ = false;
    raster::RowReducer reducer_;
    bool reducing_ = false;
    std::unique_ptr<raster::Bitmap> stored_;  // the preview as stored, before it is turned
    uint8_t* buffer_ = nullptr;
    size_t stride_ = 0;
    UprightRows upright_;  // places the stored rows in the picture
    int width_ = 0;
    int height_ = 0;
};

const ImageDecoder kJpegDecoder = {.name = "JPEG",
                                   .sniff = LooksLikeJpeg,
                                   .probe = ProbeWith<JpegSession>,
                                   .mediaTypes = "image/jpeg"};

}  // namespace

const ImageDecoder* JpegDecoder() {
    return &kJpegDecoder;
}