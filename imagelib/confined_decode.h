// Decoding in a confined helper process. The formats whose decoding runs through large external
// libraries are decoded in a fresh kadrovo-decode process per file (decode_helper.cpp; the
// next one starts up on the second core while one decodes, not inside the next load), so that
// a fault in a library costs that file and never the program: the helper gets the file's bytes
// in a sealed memfd, decodes under memory and time limits with no access to files or the network
// (confinement.h), and hands the finished rows back in a memfd that becomes the bitmap's pixel
// memory without a copy.
#pragma once

#include <string>

#include "imagelib/decode_protocol.h"
#include "imagelib/decoder.h"

// ---------------------------------------------------------------------------------------------
// Confined decoding
// ---------------------------------------------------------------------------------------------

// True when files of `format` go through the helper: HEIF and WebP, while the limits in force
// ask for confinement.
bool ImageDecodesConfined(const ImageDecoder& format);
// Probes and decodes `file` with `format` in a fresh helper; answers as ImageDecoder.probe does,
// its decoder handing over the finished bitmap (TakeBitmap) and the EXIF data. A helper that
// crashes, breaks its protocol or is stopped at the time limit gives Damaged; one that runs out
// of memory or cannot be started TooLarge. Without a helper (see
// ConfinedHelperPath) the file is decoded in this process.
// `sealed`, when given, is a memfd from ConfinedFileBytes holding exactly `file`, handed to the
// helper instead of a copy.
Probed ConfinedProbe(const ImageDecoder& format, ByteView file, int sealed = -1);
// The first `size` bytes of the open file `fd` (fewer when it is shorter), copied by the kernel
// into a memfd sealed against every change, so that a loader that reads the file from there
// hands the helper the very bytes it probes without copying them again; -1 when it cannot be
// had. The caller closes it.
int ConfinedFileBytes(int fd, uint64_t size);
// The helper program: beside the running program, in ../libexec/kadrovo from it (the installed
// layout), or where the build put it. Empty when none is there.
const std::string& ConfinedHelperPath();

// The loader's side of a helper's reply on `socket`, waiting at most timeoutMs for it: the
// reply checked, the pixel memfd checked and mapped. Answers as ConfinedProbe does. (Fuzzers
// play the helper through it.)
Probed ConfinedReadReply(int socket, int timeoutMs);
// Starts the spare helper that the next confined decode takes, unless one is there, and waits
// until it is ready; false when there is none. Benchmarks use it so that a helper's start-up
// does not fall on the next measured open; a program may call it at start.
bool ConfinedHelperReady();

// Test hook: the next confined decode's helper does `fault` instead of decoding.
void ConfinedFaultForTest(confined::Fault fault);
