// The confinement of the decoding helper, entered once it holds everything it needs (its socket,
// the file's bytes) and before it parses a byte of the file: limits on memory and processor
// time, then a system-call filter under which it can compute, allocate, create a memfd for the
// pixels and talk over its socket, and nothing else: no files, no network, no new programs.
#pragma once

#include <cstdint>

#include "imagelib/load_limits.h"

// ---------------------------------------------------------------------------------------------
// Confinement
// ---------------------------------------------------------------------------------------------

// The address space the helper may use for one file: the file, the largest picture the limits
// allow and the decoder's working memory, plus room for the program and its libraries.
uint64_t ConfinedAddressSpace(const LoadLimits& limits, uint64_t fileBytes);
// Sets the memory limit (not in an AddressSanitizer build, whose shadow memory reserves terabytes
// of address space) and the processor-time limit, then installs the system-call filter, which
// lets `socket` (the helper's end of its socket) be written to. False when any of it failed;
// the helper must then not decode.
[[nodiscard]] bool EnterConfinement(const LoadLimits& limits, uint64_t fileBytes, int socket);
