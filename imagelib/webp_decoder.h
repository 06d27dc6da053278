// The WebP decoder, through libwebp: lossy and lossless files, with or without alpha, and the
// first frame of an animation. Delivered as 24-bit rows, or 32-bit ones with alpha (the loader
// lays them on white); an embedded ICC profile is converted to sRGB. Pictures over the loader's
// limits are refused before decoding.
#pragma once

#include "imagelib/decoder.h"

// ---------------------------------------------------------------------------------------------
// WebP decoder
// ---------------------------------------------------------------------------------------------

// The format record of WebP files in the loader's format table (load.h).
const ImageDecoder* WebpDecoder();
