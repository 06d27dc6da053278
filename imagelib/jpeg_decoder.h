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

// The format record that RegisterJpegDecoder (load.h) registers.
const ImageDecoder* JpegDecoder();
