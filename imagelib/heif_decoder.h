// The HEIF decoder, through libheif: HEIC (HEVC) and AVIF (AV1) files. The primary image is the
// one loaded, turned and mirrored as its irot and imir boxes say, delivered as 24-bit rows,
// or 32-bit ones with alpha (the loader lays them on white). Colours described by an ICC profile or
// by primaries and a transfer curve are converted to sRGB. Pictures over the loader's limits, and
// large ones from too little coded image data (padding in other boxes counts for nothing), are
// refused before decoding.
#pragma once

#include "imagelib/decoder.h"

// ---------------------------------------------------------------------------------------------
// HEIF decoder
// ---------------------------------------------------------------------------------------------

// The format record of HEIF files in the loader's format table (load.h).
const ImageDecoder* HeifDecoder();
