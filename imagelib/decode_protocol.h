// The messages between the loader and its confined decoding helper (kadrovo-decode): a ready
// byte from the helper once it has started, then one request and its answer over a
// SOCK_SEQPACKET socket, each packet of fixed layout (little-endian fields) with its file
// descriptors beside it. The request comes with the file's bytes in a sealed memfd. A refusal is
// one reply. A decoded picture is announced as soon as its size is known, with the memfd that
// will hold the pixel rows (the bitmap's layout, top-down), then the EXIF data, so that the
// loader maps it while the helper writes the rows; the reply follows once they are written.
// The loader trusts nothing in a reply: the helper has run a decoder over hostile bytes and may be
// under the file's control.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "imagelib/decoder.h"
#include "imagelib/load_limits.h"

namespace confined {

// What the helper does instead of decoding; only tests ask for anything but None.
enum class Fault : uint32_t {
    None,
    Crash,    // dies of a segmentation fault
    Hang,     // spins until it is stopped
    Exhaust,  // allocates until memory runs out
    Escape,   // tries to open a file, a socket and a program before decoding
};

struct Request {
    uint32_t format = 0;     // index into Formats()
    uint64_t fileBytes = 0;  // the file's length, the size of its memfd
    LoadLimits limits;
    Fault fault = Fault::None;
    // The pixel memfd's size of the loader's previous confined picture (0: none): the helper
    // prepares one of that size while it decodes, as the next picture is often as large.
    uint64_t pixelBytesHint = 0;
};

// The decode's outcome as the helper saw it.
struct Reply {
    ProbeAnswer answer = ProbeAnswer::NotThisFormat;  // the probe's
    int32_t width = 0;                                // the rest only when it accepted the file
    int32_t height = 0;
    int32_t stride = 0;
    uint32_t exifBytes = 0;  // stored after stride * height bytes of pixels
    DecodedRows rows;        // how far the decode got
};

// The helper's first packet, once it has started up: one byte.
constexpr uint8_t kReady = 'R';
constexpr size_t kRequestBytes = 64;
constexpr size_t kReplyBytes = 36;
// EXIF blocks larger than this are not a camera's.
constexpr uint32_t kMaxExif = uint32_t{1} << 20;

// ---------------------------------------------------------------------------------------------
// Formats
// ---------------------------------------------------------------------------------------------

// The formats decoded in the helper, by index.
std::span<const ImageDecoder* const> Formats();
// The index of `format` in Formats(), or -1.
int FormatIndex(const ImageDecoder& format);

// ---------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------

std::array<uint8_t, kRequestBytes> EncodeRequest(const Request& request);
// False unless `packet` is a whole request naming a known format, fault and sane limits, and
// a pixel size hint within them.
[[nodiscard]] bool DecodeRequest(ByteView packet, Request& request);

std::array<uint8_t, kReplyBytes> EncodeReply(const Reply& reply);
// The announcement of a picture: its reply as it will be, without the rows (ignored).
std::array<uint8_t, kReplyBytes> EncodeAnnouncement(const Reply& reply);
// False unless `packet` is a whole reply that can be believed: a known answer; for a picture,
// sides the load limits in force allow, the stride of its depth, EXIF data of at most kMaxExif
// bytes and some of its stored rows (as many as one of its sides) decoded; for a refusal,
// nothing else.
[[nodiscard]] bool DecodeReply(ByteView packet, Reply& reply);
// The bytes the pixel memfd of a believed picture reply holds at least.
uint64_t PixelFileBytes(const Reply& reply);
// False unless `packet` is a whole announcement that can be believed: a picture as DecodeReply
// believes it, no row counted yet.
[[nodiscard]] bool DecodeAnnouncement(ByteView packet, Reply& reply);
// True when `reply` is the picture `announced` said it would be.
bool KeepsAnnouncement(const Reply& reply, const Reply& announced);

// Sends one packet over `socket` with the descriptor `fd` beside it (none when fd < 0), again
// when a signal interrupts it; true when the whole packet went.
bool SendPacket(int socket, std::span<const uint8_t> packet, int fd);

}  // namespace confined
