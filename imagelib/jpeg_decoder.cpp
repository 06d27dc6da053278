#include "imagelib/jpeg_decoder.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <cstring>
#include <new>

#include "imagelib/exif.h"
#include "imagelib/load.h"

namespace {

// Pictures below this size are never judged by their file size.
constexpr uint64_t kSmallPicture = uint64_t{1} << 22;
// A complete JPEG spends at least one bit on every 8 x 8 block of one component, so it cannot
// describe more than 512 pixels per byte. Twice that means most of the file is missing: a bomb.
constexpr uint64_t kMaxPixelsPerByte = 1024;
// Working memory beyond the coefficient buffers of a progressive file.
constexpr size_t kJpegSlack = size_t{64} << 20;
constexpr int kMaxRowsPerRead = 16;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
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
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
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

uint8_t Mul255(unsigned a, unsigned b) {
    return static_cast<uint8_t>((a * b + 127) / 255);
}

// One picture being decoded: the library objects, the file and what the probe found.
class JpegSession {
public:
    JpegSession() {
        std::memset(&cinfo_, 0, sizeof cinfo_);
        std::memset(&source_, 0, sizeof source_);
        std::memset(&progress_, 0, sizeof progress_);
        cinfo_.err = jpeg_std_error(&errors_.pub);
        errors_.pub.error_exit = ErrorExit;
    }
    ~JpegSession() {
        if (created_) jpeg_destroy_decompress(&cinfo_);
    }
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;

    // Takes over a file read into memory.
    void Own(std::unique_ptr<uint8_t[]> file, size_t size) {
        file_ = std::move(file);
        Borrow(file_.get(), size);
    }
    // Works on memory the caller keeps alive until the session ends.
    void Borrow(const uint8_t* data, size_t size) {
        data_ = data;
        size_ = size;
    }

    // Reads the header and starts decompression. DECODE_24BIT, or 0 when refused.
    int Probe() {
        if (!data_ || size_ < 2 || data_[0] != 0xFF || data_[1] != 0xD8) return 0;
        orientation_ = ExifOrientationFromJpeg(data_, size_);
        if (!ProbeStep(this)) return 0;
        width_ = ExifSwapsSides(orientation_) ? cinfo_.output_height : cinfo_.output_width;
        height_ = ExifSwapsSides(orientation_) ? cinfo_.output_width : cinfo_.output_height;
        return DECODE_24BIT;
    }

    // Writes the upright picture into `buffer`; false when decoding stopped early.
    bool Decode(uint8_t* buffer, int stride) {
        buffer_ = buffer;
        stride_ = static_cast<size_t>(stride);
        bool ok = DecodeStep(this);
        jpeg_destroy_decompress(&cinfo_);
        created_ = false;
        return ok;
    }

    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    // The library's error exit jumps back into these two; they hold no objects with destructors.
    static bool ProbeStep(JpegSession* s) {
        if (setjmp(s->errors_.jump)) return false;
        s->created_ = true;
        jpeg_create_decompress(&s->cinfo_);
        s->Configure();
        jpeg_read_header(&s->cinfo_, TRUE);
        if (!s->Choose()) return false;
        jpeg_calc_output_dimensions(&s->cinfo_);
        if (!s->AllocateRow()) return false;
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
    }

    // Output parameters; false when the picture is refused.
    bool Choose() {
        const LoadLimits& limits = ImageLoadLimits();
        uint64_t pixels = uint64_t{cinfo_.image_width} * cinfo_.image_height;
        if (cinfo_.image_width > raster::kMaxSide || cinfo_.image_height > raster::kMaxSide ||
            !ImageLoadSizeAllowed(static_cast<int>(cinfo_.image_width),
                                  static_cast<int>(cinfo_.image_height), 24))
            return false;
        if (pixels > kSmallPicture && pixels / kMaxPixelsPerByte > size_) return false;
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
                // CMYK stays CMYK, YCCK becomes CMYK. Adobe's applications store the inks
                // inverted (0 = full ink) and mark their files with an APP14 marker.
                if (cinfo_.jpeg_color_space != JCS_CMYK && cinfo_.jpeg_color_space != JCS_YCCK)
                    return false;
                cinfo_.out_color_space = JCS_CMYK;
                cmyk_ = true;
                invertedInks_ = cinfo_.saw_Adobe_marker;
                break;
            default:
                return false;
        }
        direct_ = !cmyk_ && orientation_ == 1;
        return true;
    }

    bool AllocateRow() {
        size_t bytes = size_t{cinfo_.output_width} * cinfo_.output_components;
        row_.reset(new (std::nothrow) uint8_t[(bytes + 3) & ~size_t{3}]);
        return row_ != nullptr;
    }

    void ReadRows() {
        JDIMENSION y = cinfo_.output_scanline;
        if (direct_) {
            JSAMPROW rows[kMaxRowsPerRead];
            JDIMENSION count = cinfo_.output_height - y;
            if (count > kMaxRowsPerRead) count = kMaxRowsPerRead;
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = buffer_ + (y + i) * stride_;
            jpeg_read_scanlines(&cinfo_, rows, count);
            return;
        }
        JSAMPROW rows[1] = {row_.get()};
        if (jpeg_read_scanlines(&cinfo_, rows, 1) != 1) return;
        if (cmyk_) ConvertCmykRow();
        PlaceRow(static_cast<int>(y));
    }

    // Turns the CMYK samples of the row buffer into blue, green, red in place.
    void ConvertCmykRow() {
        uint8_t* p = row_.get();
        for (JDIMENSION x = 0; x < cinfo_.output_width; ++x) {
            unsigned c = p[x * 4], m = p[x * 4 + 1], y = p[x * 4 + 2], k = p[x * 4 + 3];
            if (!invertedInks_) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
            p[x * 3] = Mul255(y, k);
            p[x * 3 + 1] = Mul255(m, k);
            p[x * 3 + 2] = Mul255(c, k);
        }
    }

    // Copies stored row `y` (blue, green, red in the row buffer) to its upright place.
    void PlaceRow(int y) {
        const uint8_t* src = row_.get();
        int w = static_cast<int>(cinfo_.output_width), h = static_cast<int>(cinfo_.output_height);
        if (orientation_ == 1) {
            std::memcpy(buffer_ + static_cast<size_t>(y) * stride_, src,
                        static_cast<size_t>(w) * 3);
            return;
        }
        for (int x = 0; x < w; ++x) {
            int ux = 0, uy = 0;
            ExifMapPixel(orientation_, w, h, x, y, &ux, &uy);
            std::memcpy(buffer_ + static_cast<size_t>(uy) * stride_ + static_cast<size_t>(ux) * 3,
                        src + x * 3, 3);
        }
    }

    jpeg_decompress_struct cinfo_;
    ErrorManager errors_;
    MemorySource source_;
    Progress progress_;
    bool created_ = false;
    std::unique_ptr<uint8_t[]> file_;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    int orientation_ = 1;
    bool cmyk_ = false;
    bool invertedInks_ = false;
    bool direct_ = true;
    std::unique_ptr<uint8_t[]> row_;
    uint8_t* buffer_ = nullptr;
    size_t stride_ = 0;
    int width_ = 0;
    int height_ = 0;
};

using Slot = DecoderSlot<JpegSession>;

int Probe(std::FILE* stream, const char*) {
    Slot::current.reset();
    if (!stream || std::fseek(stream, 0, SEEK_END) != 0) return 0;
    long length = std::ftell(stream);
    if (length < 2 || static_cast<unsigned long>(length) > ImageLoadLimits().maxFileBytes ||
        std::fseek(stream, 0, SEEK_SET) != 0)
        return 0;
    size_t size = static_cast<size_t>(length);
    uint8_t head[2];
    if (std::fread(head, 1, 2, stream) != 2 || head[0] != 0xFF || head[1] != 0xD8) return 0;
    std::unique_ptr<uint8_t[]> file(new (std::nothrow) uint8_t[size]);
    if (!file) return 0;
    file[0] = head[0];
    file[1] = head[1];
    // A file that shrank since its length was taken is decoded as far as it goes.
    size = 2 + std::fread(file.get() + 2, 1, size - 2, stream);
    auto session = std::make_unique<JpegSession>();
    session->Own(std::move(file), size);
    int format = session->Probe();
    if (format) Slot::current = std::move(session);
    return format;
}

const ImageDecoder kJpegDecoder = {Probe, Slot::Decode, Slot::Width, Slot::Height, Slot::Discard};

}  // namespace

const ImageDecoder* JpegDecoder() {
    return &kJpegDecoder;
}

void RegisterJpegDecoder() {
    ImageRegisterDecoder(&kJpegDecoder);
}

std::unique_ptr<raster::Bitmap> JpegDecodeMemory(const uint8_t* data, size_t size) {
    JpegSession session;
    session.Borrow(data, size);
    if (!session.Probe()) return nullptr;
    auto bm = raster::Create(session.Width(), session.Height(), 24, true, false);
    if (!bm) return nullptr;
    session.Decode(bm->bits.get(), bm->stride);
    return bm;
}
