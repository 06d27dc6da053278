#include "imagelib/jpeg_decoder.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "imagelib/colour_profile.h"
#include "imagelib/exif.h"
#include "imagelib/load_limits.h"

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

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    void (*libraryEmit)(j_common_ptr, int);
    bool broken;          // the data ran out or broke off inside the picture
    JDIMENSION breakRow;  // output rows complete before that
};

// The whole file in memory; running past its end supplies an end-of-image marker.
struct MemorySource {
    jpeg_source_mgr pub;
    const uint8_t* data;
    size_t size;
    bool supplied;
    JOCTET eoi[2];
};

struct Progress {
    jpeg_progress_mgr pub;
    int maxScans;
};

void ErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Notes where the picture's data ran out or broke off: the rows output before then are the ones
// really decoded. A progressive file is read whole before its first row comes out; once its
// first scan is complete, every row has its picture, only coarser.
void EmitMessage(j_common_ptr cinfo, int level) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    const int code = cinfo->err->msg_code;
    if (level < 0 && !errors->broken && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        errors->broken = true;
        errors->breakRow =
            d->progressive_mode && d->input_scan_number > 1 ? d->output_height : d->output_scanline;
    }
    errors->libraryEmit(cinfo, level);
}

void SourceInit(j_decompress_ptr) {}
void SourceTerm(j_decompress_ptr) {}

boolean SourceFill(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
    if (!src->supplied) {
        src->supplied = true;
        src->pub.next_input_byte = src->data;
        src->pub.bytes_in_buffer = src->size;
        if (src->size > 0) return TRUE;
    }
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->eoi[0] = 0xFF;
    src->eoi[1] = JPEG_EOI;
    src->pub.next_input_byte = src->eoi;
    src->pub.bytes_in_buffer = 2;
    return TRUE;
}

void SourceSkip(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
    if (count <= 0) return;
    while (static_cast<size_t>(count) > src->pub.bytes_in_buffer) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        SourceFill(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void ProgressMonitor(j_common_ptr cinfo) {
    auto* progress = reinterpret_cast<Progress*>(cinfo->progress);
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    // Each scan passes over the whole picture again: endless scans are a way to burn time.
    if (dinfo->input_scan_number > progress->maxScans)
        std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Every JPEG file starts with a start-of-image marker.
bool LooksLikeJpeg(ByteView head) {
    return head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8;
}

uint8_t Mul255(unsigned a, unsigned b) {
    return static_cast<uint8_t>((a * b + 127) / 255);
}

// One picture being decoded: the library objects, the file and what the probe found.
class JpegSession final : public PictureDecoder {
public:
    explicit JpegSession(ByteView file) : data_(file.data()), size_(file.size()) {
        std::memset(&cinfo_, 0, sizeof cinfo_);
        std::memset(&source_, 0, sizeof source_);
        std::memset(&progress_, 0, sizeof progress_);
        cinfo_.err = jpeg_std_error(&errors_.pub);
        errors_.pub.error_exit = ErrorExit;
        // A damaged file is reported by the caller in its own words (the window's message, the
        // batch's line), not by the library's text on standard error.
        errors_.pub.output_message = [](j_common_ptr) {};
        errors_.libraryEmit = errors_.pub.emit_message;
        errors_.pub.emit_message = EmitMessage;
        errors_.broken = false;
        errors_.breakRow = 0;
    }
    ~JpegSession() override {
        if (created_) jpeg_destroy_decompress(&cinfo_);
        std::free(icc_);
    }
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;

    // Reads the header and starts decompression: Rows24, NotThisFormat when not a JPEG, or a
    // refusal.
    ProbeAnswer Probe() {
        if (!LooksLikeJpeg(ByteView(data_, size_))) return ProbeAnswer::NotThisFormat;
        if (ExifFindInJpeg(data_, size_, &exifOffset_, &exifLength_))
            orientation_ = ExifOrientationFromTiff(data_ + exifOffset_, exifLength_);
        if (!ProbeStep(this)) return refusal_;
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
        // Colours converted after decoding would not be those of the reduced rows: a picture
        // with a profile to convert gets its preview from the finished picture instead.
        const CodedColours coded = cmyk_                           ? CodedColours::Cmyk
                                   : cinfo_.output_components == 1 ? CodedColours::Grey
                                                                   : CodedColours::Rgb;
        auto profile = SrgbConversion::FromIcc(icc_, iccLength_, 3, coded);
        // Inks are converted through their profile row by row as they arrive, before any
        // reduction; the other pictures once decoded.
        if (cmyk_ && profile) {
            inkRow_.reset(new (std::nothrow) uint8_t[rowBytes_]);
            if (inkRow_) inks_ = std::move(profile);
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
        const bool ok = DecodeStep(this);
        decoded_.fetch_or(kDecodeEnded, std::memory_order_release);
        decoded_.notify_all();
        if (helper.joinable()) {
            helper.join();
        } else {
            Drain();
        }
        JDIMENSION rows = ok ? cinfo_.output_height : cinfo_.output_scanline;
        if (errors_.broken && errors_.breakRow < rows) rows = errors_.breakRow;
        const DecodedRows decoded{static_cast<int>(rows), static_cast<int>(cinfo_.output_height)};
        // Converted before the undecoded part is filled, which stays neutral grey.
        if (srgb) srgb->Apply(buffer_, stride_, width_, height_);
        FillFrom(rows);
        jpeg_destroy_decompress(&cinfo_);
        created_ = false;
        previewMade = reducing && decoded.Whole() && reducer_.Done() && FinishPreview(*preview);
        return decoded;
    }

    // The library's error exit jumps back into these two; they hold no objects with destructors.
    static bool ProbeStep(JpegSession* s) {
        if (setjmp(s->errors_.jump)) return false;
        s->created_ = true;
        jpeg_create_decompress(&s->cinfo_);
        s->Configure();
        jpeg_read_header(&s->cinfo_, TRUE);
        if (!s->Choose()) return false;
        if (!jpeg_read_icc_profile(&s->cinfo_, &s->icc_, &s->iccLength_)) s->iccLength_ = 0;
        jpeg_calc_output_dimensions(&s->cinfo_);
        s->rowBytes_ = size_t{s->cinfo_.output_width} * s->cinfo_.output_components;
        if (!s->AllocateRing()) return false;
        jpeg_start_decompress(&s->cinfo_);
        return true;
    }

    static bool DecodeStep(JpegSession* s) {
        if (setjmp(s->errors_.jump)) return false;
        while (s->cinfo_.output_scanline < s->cinfo_.output_height)
            s->ReadRows();
        jpeg_finish_decompress(&s->cinfo_);
        return true;
    }

    void Configure() {
        const LoadLimits& limits = ImageLoadLimits();
        source_.pub.init_source = SourceInit;
        source_.pub.fill_input_buffer = SourceFill;
        source_.pub.skip_input_data = SourceSkip;
        source_.pub.resync_to_restart = jpeg_resync_to_restart;
        source_.pub.term_source = SourceTerm;
        source_.data = data_;
        source_.size = size_;
        cinfo_.src = &source_.pub;
        progress_.pub.progress_monitor = ProgressMonitor;
        progress_.maxScans = limits.maxJpegScans;
        cinfo_.progress = &progress_.pub;
        cinfo_.mem->max_memory_to_use = static_cast<long>(limits.maxDecoderMemory);
        jpeg_save_markers(&cinfo_, JPEG_APP0 + 2, 0xFFFF);  // the ICC profile's pieces
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
        ring_.reset(new (std::nothrow) uint8_t[rowBytes_ * kRingRows]);
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
            if (cmyk_) ConvertCmykRow(RingRow(y));
            if (reducing_) reducer_.Add(RingRow(y));
        }
        PlaceRows(y0, y1);
    }

    // Turns the inverted CMYK samples of a row into blue, green, red in place: through the
    // file's CMYK profile when it has one, else taking an inverted ink as the light its colour
    // lets through, dimmed by the inverted black.
    void ConvertCmykRow(uint8_t* p) {
        if (inks_) {
            std::memcpy(inkRow_.get(), p, rowBytes_);
            inks_->ConvertRow(inkRow_.get(), p, static_cast<int>(cinfo_.output_width));
            return;
        }
        for (JDIMENSION x = 0; x < cinfo_.output_width; ++x) {
            unsigned c = p[x * 4], m = p[x * 4 + 1], y = p[x * 4 + 2], k = p[x * 4 + 3];
            p[x * 3] = Mul255(y, k);
            p[x * 3 + 1] = Mul255(m, k);
            p[x * 3 + 2] = Mul255(c, k);
        }
    }

    // Fills stored rows `from` to the last with grey, each at its upright place.
    void FillFrom(JDIMENSION from) {
        if (from >= cinfo_.output_height) return;
        const int w = static_cast<int>(cinfo_.output_width);
        if (orientation_ == 1) {
            FillUndecodedRows(buffer_, static_cast<int>(stride_), w,
                              static_cast<int>(cinfo_.output_height), static_cast<int>(from), 3);
            return;
        }
        for (int y = static_cast<int>(from); y < static_cast<int>(cinfo_.output_height); ++y)
            for (int x = 0; x < w; ++x)
                std::memset(buffer_ + UprightOffset(x, y), kUndecodedGrey, 3);
    }

    // Byte offset in the upright picture of stored pixel (x, y).
    ptrdiff_t UprightOffset(int x, int y) const {
        int ux = 0, uy = 0;
        ExifMapPixel(orientation_, static_cast<int>(cinfo_.output_width),
                     static_cast<int>(cinfo_.output_height), x, y, &ux, &uy);
        return static_cast<ptrdiff_t>(uy) * static_cast<ptrdiff_t>(stride_) + ptrdiff_t{ux} * 3;
    }

    // Copies stored rows [y0, y1) of the ring (blue, green, red) to their upright places. A
    // turned picture is copied in tiles of 16 columns, so that each upright row receives a run
    // of consecutive pixels while the strip's rows stay in the cache.
    void PlaceRows(int y0, int y1) {
        const int w = static_cast<int>(cinfo_.output_width);
        if (orientation_ == 1) {
            for (int y = y0; y < y1; ++y)
                std::memcpy(buffer_ + static_cast<size_t>(y) * stride_, RingRow(y),
                            static_cast<size_t>(w) * 3);
            return;
        }
        // Stored (x, y) lands at origin + x * stepX + y * stepY.
        const ptrdiff_t origin = UprightOffset(0, 0);
        const ptrdiff_t stepX = w > 1 ? UprightOffset(1, 0) - origin : 0;
        const ptrdiff_t stepY = UprightOffset(0, y0 + 1) - UprightOffset(0, y0);
        if (!ExifSwapsSides(orientation_)) {
            for (int y = y0; y < y1; ++y) {
                const uint8_t* src = RingRow(y);
                uint8_t* dst = buffer_ + origin + y * stepY;
                for (int x = 0; x < w; ++x, src += 3, dst += stepX)
                    std::memcpy(dst, src, 3);
            }
            return;
        }
        const uint8_t* rows[kStripRows];
        const int n = y1 - y0;
        for (int i = 0; i < n; ++i)
            rows[i] = RingRow(y0 + i);
        // Each stored column of the strip becomes a run of n consecutive pixels of one upright
        // row. A tile of the strip is first copied together row by row, so that gathering the
        // runs touches one page rather than one page per stored row; each run is then written
        // pixel by pixel in memory order, four bytes for three: the fourth lands under the next
        // pixel and is written over by it, and the run's last pixel is written as three, so that
        // nothing past the run is touched. Each tile row has a spare byte for the fourth.
        constexpr int kTile = 32;
        uint8_t tile[kStripRows][kTile * 3 + 1];
        const bool backwards = stepY < 0;
        const int first = backwards ? y1 - 1 : y0;  // the run's first pixel in memory order
        for (int x0 = 0; x0 < w; x0 += kTile) {
            const int width = std::min(w - x0, kTile);
            // Copies of a constant size compile to a few vector moves.
            for (int i = 0; i < n; ++i) {
                if (width == kTile) {
                    std::memcpy(tile[i], rows[i] + static_cast<size_t>(x0) * 3, kTile * 3);
                } else {
                    std::memcpy(tile[i], rows[i] + static_cast<size_t>(x0) * 3,
                                static_cast<size_t>(width) * 3);
                }
            }
            for (int c = 0; c < width; ++c) {
                uint8_t* out = buffer_ + origin + (x0 + c) * stepX + first * stepY;
                const uint8_t* const column = &tile[0][0] + c * 3;
                constexpr size_t kTileRow = sizeof tile[0];
                if (backwards) {
                    for (int i = n - 1; i > 0; --i, out += 3)
                        std::memcpy(out, column + i * kTileRow, 4);
                    std::memcpy(out, column, 3);
                } else {
                    for (int i = 0; i < n - 1; ++i, out += 3)
                        std::memcpy(out, column + i * kTileRow, 4);
                    std::memcpy(out, column + (n - 1) * kTileRow, 3);
                }
            }
        }
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
        if (!stored_) return true;
        const int n = preview.BytesPerPixel();
        for (int y = 0; y < stored_->height; ++y) {
            const uint8_t* src = stored_->Row(y);
            for (int x = 0; x < stored_->width; ++x, src += n) {
                int ux = 0, uy = 0;
                ExifMapPixel(orientation_, stored_->width, stored_->height, x, y, &ux, &uy);
                std::memcpy(preview.Row(uy) + static_cast<size_t>(ux) * n, src, n);
            }
        }
        return true;
    }

    jpeg_decompress_struct cinfo_;
    ErrorManager errors_;
    MemorySource source_;
    Progress progress_;
    bool created_ = false;
    ProbeAnswer refusal_ = ProbeAnswer::Damaged;  // the probe's answer when the file is refused
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    int orientation_ = 1;
    size_t exifOffset_ = 0;
    size_t exifLength_ = 0;
    JOCTET* icc_ = nullptr;  // from malloc
    unsigned iccLength_ = 0;
    bool cmyk_ = false;
    std::unique_ptr<SrgbConversion> inks_;  // the file's CMYK profile to sRGB
    std::unique_ptr<uint8_t[]> inkRow_;     // one row of inks, converted from
    bool direct_ = true;
    size_t rowBytes_ = 0;              // one stored row as decoded
    std::unique_ptr<uint8_t[]> ring_;  // kStrips strips of kStripRows stored rows
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
