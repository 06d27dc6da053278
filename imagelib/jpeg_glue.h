// The libjpeg glue: the library's decompression objects over a whole file held in memory, its
// error exit turned into a jump back into one guarded call, a limit on the number of scans, and
// the place where the picture's data ran out noted. Nothing else jumps: every call into the
// library that can fail goes through Guarded.
#pragma once

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Decompression objects
// ---------------------------------------------------------------------------------------------

class JpegGlue {
public:
    // Prepares the error manager for `size` bytes at `data`, which outlive the glue; the library
    // objects are created only by Create.
    JpegGlue(const uint8_t* data, size_t size);
    // Destroys the library objects when they exist.
    ~JpegGlue();
    JpegGlue(const JpegGlue&) = delete;
    JpegGlue& operator=(const JpegGlue&) = delete;

    // Runs `step(context)` with the library's error exit jumping back here: the step's answer,
    // false when the library failed. The step holds no objects with destructors.
    bool Guarded(bool (*step)(void* context), void* context);

    // Inside a guarded step: creates the decompression objects over the file with the load
    // limits' scan count and memory, keeping the ICC profile's markers.
    void Create();
    // Destroys the library objects now (the destructor then has nothing to do).
    void Destroy();

    jpeg_decompress_struct& Info() { return cinfo_; }
    const jpeg_decompress_struct& Info() const { return cinfo_; }
    // The output rows complete before the data ran out or broke off inside the picture; the
    // height when it did not.
    JDIMENSION RowsBeforeBreak() const;

    // The library's objects with what its callbacks reach through them.
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

private:
    jpeg_decompress_struct cinfo_;
    ErrorManager errors_;
    MemorySource source_;
    Progress progress_;
    bool created_ = false;
};
