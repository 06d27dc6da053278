#include "imagelib/decode_protocol.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "imagelib/byte_order.h"
#include "imagelib/heif_decoder.h"
#include "imagelib/jpeg_decoder.h"
#include "imagelib/png_decoder.h"
#include "imagelib/webp_decoder.h"
#include "platform/raster.h"

namespace confined {

namespace {

constexpr uint32_t kRequestMagic = 0x4B445251;       // "QRDK"
constexpr uint32_t kReplyMagic = 0x4B445250;         // "PRDK"
constexpr uint32_t kAnnouncementMagic = 0x4B445241;  // "ARDK"

void Put64(uint8_t* p, uint64_t v) {
    Put32(p, static_cast<uint32_t>(v));
    Put32(p + 4, static_cast<uint32_t>(v >> 32));
}
uint64_t U64(const uint8_t* p) {
    return U32(p) | uint64_t{U32(p + 4)} << 32;
}
int32_t S32(const uint8_t* p) {
    return static_cast<int32_t>(U32(p));
}

}  // namespace

std::span<const ImageDecoder* const> Formats() {
    static const ImageDecoder* const formats[] = {JpegDecoder(), PngDecoder(), HeifDecoder(),
                                                  WebpDecoder()};
    return formats;
}

int FormatIndex(const ImageDecoder& format) {
    const auto all = Formats();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == &format) return static_cast<int>(i);
    return -1;
}

std::array<uint8_t, kRequestBytes> EncodeRequest(const Request& r) {
    std::array<uint8_t, kRequestBytes> p{};
    Put32(&p[0], kRequestMagic);
    Put32(&p[4], r.format);
    Put64(&p[8], r.fileBytes);
    Put64(&p[16], r.limits.maxPixels);
    Put64(&p[24], r.limits.maxDecoderMemory);
    Put64(&p[32], r.limits.maxFileBytes);
    Put32(&p[40], static_cast<uint32_t>(r.limits.maxJpegScans));
    Put32(&p[44], static_cast<uint32_t>(r.limits.decodeSeconds));
    Put32(&p[48], static_cast<uint32_t>(r.fault));
    p[52] = r.limits.pngIgnoreChecksums ? 1 : 0;
    Put64(&p[56], r.pixelBytesHint);
    return p;
}

bool DecodeRequest(ByteView p, Request& r) {
    if (p.size() != kRequestBytes || U32(&p[0]) != kRequestMagic) return false;
    r.format = U32(&p[4]);
    r.fileBytes = U64(&p[8]);
    r.limits.maxPixels = U64(&p[16]);
    r.limits.maxDecoderMemory = U64(&p[24]);
    r.limits.maxFileBytes = U64(&p[32]);
    r.limits.maxJpegScans = S32(&p[40]);
    r.limits.decodeSeconds = S32(&p[44]);
    r.limits.decodeConfined = false;  // the helper decodes in itself
    const uint32_t fault = U32(&p[48]);
    r.fault = static_cast<Fault>(fault);
    r.limits.pngIgnoreChecksums = p[52] != 0;
    r.pixelBytesHint = U64(&p[56]);
    const uint64_t pixels = r.limits.maxPixels;
    return pixels <= (uint64_t{1} << 60) && r.pixelBytesHint <= pixels * 4 + kMaxExif &&
           r.format < Formats().size() && fault <= static_cast<uint32_t>(Fault::Escape) &&
           r.fileBytes <= r.limits.maxFileBytes && r.limits.maxJpegScans > 0 &&
           r.limits.decodeSeconds > 0 && p[52] <= 1;
}

std::array<uint8_t, kReplyBytes> EncodeReply(const Reply& r) {
    std::array<uint8_t, kReplyBytes> p{};
    Put32(&p[0], kReplyMagic);
    Put32(&p[4], static_cast<uint32_t>(r.answer));
    Put32(&p[8], static_cast<uint32_t>(r.width));
    Put32(&p[12], static_cast<uint32_t>(r.height));
    Put32(&p[16], static_cast<uint32_t>(r.stride));
    Put32(&p[20], r.exifBytes);
    Put32(&p[24], static_cast<uint32_t>(r.rows.decoded));
    Put32(&p[28], static_cast<uint32_t>(r.rows.total));
    return p;
}

std::array<uint8_t, kReplyBytes> EncodeAnnouncement(const Reply& r) {
    Reply announced = r;
    announced.rows = {};
    std::array<uint8_t, kReplyBytes> p = EncodeReply(announced);
    Put32(&p[0], kAnnouncementMagic);
    return p;
}

bool DecodeAnnouncement(ByteView p, Reply& r) {
    if (p.size() != kReplyBytes || U32(&p[0]) != kAnnouncementMagic || U32(&p[24]) != 0 ||
        U32(&p[28]) != 0)
        return false;
    // Checked as the picture's reply will be, with its first row decoded.
    std::array<uint8_t, kReplyBytes> reply;
    std::memcpy(reply.data(), p.data(), kReplyBytes);
    Put32(&reply[0], kReplyMagic);
    Put32(&reply[24], 1);
    Put32(&reply[28], U32(&p[12]));
    if (!DecodeReply(ByteView(reply.data(), reply.size()), r) || !Accepted(r.answer)) return false;
    r.rows = {};
    return true;
}

bool KeepsAnnouncement(const Reply& r, const Reply& a) {
    return r.answer == a.answer && r.width == a.width && r.height == a.height &&
           r.stride == a.stride && r.exifBytes == a.exifBytes;
}

bool DecodeReply(ByteView p, Reply& r) {
    if (p.size() != kReplyBytes || U32(&p[0]) != kReplyMagic || U32(&p[32]) != 0) return false;
    r.answer = static_cast<ProbeAnswer>(S32(&p[4]));
    r.width = S32(&p[8]);
    r.height = S32(&p[12]);
    r.stride = S32(&p[16]);
    r.exifBytes = U32(&p[20]);
    r.rows = {S32(&p[24]), S32(&p[28])};
    if (!Accepted(r.answer))
        return (Refused(r.answer) || r.answer == ProbeAnswer::NotThisFormat) && r.width == 0 &&
               r.height == 0 && r.stride == 0 && r.exifBytes == 0 && r.rows.decoded == 0 &&
               r.rows.total == 0;
    const int bpp = RowBits(r.answer);
    return ImageLoadSizeAllowed(r.width, r.height, bpp) &&
           static_cast<size_t>(r.stride) == raster::StrideFor(r.width, bpp) &&
           r.exifBytes <= kMaxExif && r.rows.decoded > 0 && r.rows.decoded <= r.rows.total &&
           (r.rows.total == r.height || r.rows.total == r.width);
}

uint64_t PixelFileBytes(const Reply& r) {
    return uint64_t(r.stride) * uint64_t(r.height) + r.exifBytes;
}

bool SendPacket(int socket, std::span<const uint8_t> packet, int fd) {
    iovec io = {const_cast<uint8_t*>(packet.data()), packet.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    if (fd >= 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    ssize_t sent;
    do {
        sent = sendmsg(socket, &msg, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(packet.size());
}

}  // namespace confined
