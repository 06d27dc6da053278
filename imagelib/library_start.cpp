#include "imagelib/library_start.h"

#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"

void ImageLibraryStart() {
    ImageInit();
    RegisterJpegEncoder();
}
