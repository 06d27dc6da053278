#include "imagelib/jpeg_glue.h"

// clang-format off
#include <jerror.h>
// clang-format on

#include <cstring>

#include "imagelib/load_limits.h"

namespace {

using ErrorManager = JpegGlue::ErrorManager;
using MemorySource = JpegGlue::MemorySource;
using Progress = JpegGlue::Progress;

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

}  // namespace

JpegGlue::JpegGlue(const uint8_t* data, size_t size) {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    std::memset(&source_, 0, sizeof source_);
    std::memset(&progress_, 0, sizeof progress_);
    source_.data = data;
    source_.size = size;
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

JpegGlue::~JpegGlue() {
    Destroy();
}

// The library's error exit jumps back into this frame, which holds no objects with destructors.
bool JpegGlue::Guarded(bool (*step)(void* context), void* context) {
    if (setjmp(errors_.jump)) return false;
    return step(context);
}

void JpegGlue::Create() {
    created_ = true;
    jpeg_create_decompress(&cinfo_);
    const LoadLimits& limits = ImageLoadLimits();
    source_.pub.init_source = SourceInit;
    source_.pub.fill_input_buffer = SourceFill;
    source_.pub.skip_input_data = SourceSkip;
    source_.pub.resync_to_restart = jpeg_resync_to_restart;
    source_.pub.term_source = SourceTerm;
    cinfo_.src = &source_.pub;
    progress_.pub.progress_monitor = ProgressMonitor;
    progress_.maxScans = limits.maxJpegScans;
    cinfo_.progress = &progress_.pub;
    cinfo_.mem->max_memory_to_use = static_cast<long>(limits.maxDecoderMemory);
    jpeg_save_markers(&cinfo_, JPEG_APP0 + 2, 0xFFFF);  // the ICC profile's pieces
}

void JpegGlue::Destroy() {
    if (created_) jpeg_destroy_decompress(&cinfo_);
    created_ = false;
}

JDIMENSION JpegGlue::RowsBeforeBreak() const {
    return errors_.broken ? errors_.breakRow : cinfo_.output_height;
}
