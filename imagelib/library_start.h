// Starting the image library: above the image table and the encoders, so that neither needs the
// other to be started.
#pragma once

// ---------------------------------------------------------------------------------------------
// Start
// ---------------------------------------------------------------------------------------------

// Starts the image library: the image table (ImageInit) and the JPEG encoder; the formats of the
// format table (load.h) read from the start. Run once at start; a second run starts afresh.
void ImageLibraryStart();
