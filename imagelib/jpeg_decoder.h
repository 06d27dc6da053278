// The JPEG decoder: whole files held in memory, decoded with the accurate integer DCT into
// 24-bit rows. Greyscale comes out as equal red, green and blue; four-component files (CMYK,
// YCCK, inverted Adobe files included) are converted to RGB; an EXIF orientation is applied so
// the picture comes out upright. A file that breaks off keeps the rows decoded before the break
// and is grey after it. It can reduce the rows into the preview while they arrive.
#pragma once

#include "imagelib/decoder.h"

// ---------------------------------------------------------------------------------------------
// JPEG decoder
// ---------------------------------------------------------------------------------------------

// The format record of JPEG files in the loader's format table (load.h).
const ImageDecoder* JpegDecoder();
