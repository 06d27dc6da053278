// kadrovo-decode: decodes one picture file for the loader, confined (see confinement.h). It is
// started with its end of a SOCK_SEQPACKET socket as descriptor 3, receives one request with the
// file's bytes in a memfd, answers with one reply (decode_protocol.h) and ends.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "imagelib/confinement.h"
#include "imagelib/decode_protocol.h"
#include "imagelib/decoder.h"
#include "imagelib/load_limits.h"
#include "platform/raster.h"

namespace {

constexpr int kSocket = 3;

// The request and the memfd with the file's bytes, or -1.
int Receive(confined::Request& request) {
    uint8_t packet[confined::kRequestBytes + 1];
    iovec io = {packet, sizeof packet};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(kSocket, &msg, MSG_CMSG_CLOEXEC);
    const cmsghdr* c = CMSG_FIRSTHDR(&msg);
    if (got < 0 || !c || c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS ||
        c->cmsg_len != CMSG_LEN(sizeof(int)))
        return -1;
    int fd;
    std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
    if ((msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) ||
        !confined::DecodeRequest(ByteView(packet, static_cast<size_t>(got)), request)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool Send(const confined::Reply& reply) {
    return confined::SendPacket(kSocket, confined::EncodeReply(reply), -1);
}

// Only the refusal is sent back.
bool Refuse(ProbeAnswer answer) {
    confined::Reply reply;
    reply.answer = answer;
    return Send(reply);
}

// Makes the pages of a shared mapping present and writable without touching what they hold, a
// huge page's worth at a time from the top, so that the rows written first are ready first;
// stops early once `stop` is set.
void Populate(uint8_t* bits, size_t bytes, const std::atomic<bool>* stop = nullptr) {
#ifdef MADV_POPULATE_WRITE
    constexpr size_t kChunk = size_t{2} << 20;
    for (size_t at = 0; at < bytes && !(stop && *stop); at += kChunk)
        if (madvise(bits + at, std::min(kChunk, bytes - at), MADV_POPULATE_WRITE) != 0) return;
#else
    (void)bits;
    (void)bytes;
    (void)stop;
#endif
}

// A pixel memfd made and populated on a second thread while the decoder works, as large as the
// loader's previous picture: the decode leaves the second core mostly idle, and rows written
// into pages that are there already finish sooner (shared memory comes in small pages, each
// allocated and zeroed on its first touch). Never the memory of another picture: the memfd is
// this helper's own, made fresh.
class Prepared {
public:
    // At most this much is prepared: a guess from a much larger previous picture would otherwise
    // hold hundreds of megabytes for the length of a decode before they are cut off. A larger
    // picture grows the memfd, the rest of it made present as the rows are written.
    static constexpr uint64_t kMaxBytes = uint64_t{64} << 20;

    ~Prepared() { Finish(); }
    void Start(uint64_t bytes) {
        bytes = std::min(bytes, kMaxBytes);
        if (bytes == 0) return;
        try {
            thread_ = std::thread([this, bytes] { Make(bytes); });
        } catch (const std::system_error&) {
            // Then the memfd is made once the picture's size is known.
        }
    }
    // The memfd cut or grown to exactly `bytes`, mapped at `map`; -1 when none was prepared or
    // it could not be resized.
    int Take(uint64_t bytes, uint8_t*& map) {
        Finish();
        if (fd_ < 0) return -1;
        if (bytes > bytes_) {
            void* grown = ftruncate(fd_, static_cast<off_t>(bytes)) == 0
                              ? mremap(map_, bytes_, bytes, MREMAP_MAYMOVE)
                              : MAP_FAILED;
            if (grown == MAP_FAILED) return -1;
            map_ = static_cast<uint8_t*>(grown);
        } else if (bytes < bytes_ && ftruncate(fd_, static_cast<off_t>(bytes)) != 0) {
            return -1;
        }
        map = map_;
        return std::exchange(fd_, -1);
    }

private:
    void Finish() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    void Make(uint64_t bytes) {
        const int fd = memfd_create("kadrovo-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd < 0) return;
        void* map = ftruncate(fd, static_cast<off_t>(bytes)) == 0
                        ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                        : MAP_FAILED;
        if (map == MAP_FAILED) {
            close(fd);
            return;
        }
        fd_ = fd;
        map_ = static_cast<uint8_t*>(map);
        bytes_ = bytes;
        Populate(map_, bytes, &stop_);
    }

    std::thread thread_;
    std::atomic<bool> stop_{false};
    int fd_ = -1;  // these three are the thread's until Finish
    uint8_t* map_ = nullptr;
    uint64_t bytes_ = 0;
};

// Probes and decodes the file into a new memfd: the rows as the loader's bitmap lays them out,
// then the EXIF data. The memfd is sealed against any change of its size, so that the loader's
// mapping of it stays whole, and announced before the rows are written, so that the loader maps
// its small pages while they are.
bool Decode(const ImageDecoder& format, ByteView file, Prepared& prepared) {
    Probed probed = format.probe(file);
    if (!Accepted(probed.answer)) return Refuse(probed.answer);
    PictureDecoder& d = *probed.decoder;
    confined::Reply reply;
    reply.answer = probed.answer;
    reply.width = d.Width();
    reply.height = d.Height();
    const int bpp = RowBits(probed.answer);
    if (!ImageLoadSizeAllowed(reply.width, reply.height, bpp)) return Refuse(ProbeAnswer::TooLarge);
    reply.stride = static_cast<int>(raster::StrideFor(reply.width, bpp));
    std::vector<uint8_t> exif = d.Exif();
    if (exif.size() > confined::kMaxExif) exif.clear();
    reply.exifBytes = static_cast<uint32_t>(exif.size());
    const uint64_t rowBytes = uint64_t(reply.stride) * uint64_t(reply.height);
    const uint64_t bytes = rowBytes + exif.size();
    uint8_t* pixels = nullptr;
    int fd = prepared.Take(bytes, pixels);
    if (fd < 0) {
        fd = memfd_create("kadrovo-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0)
            return Refuse(ProbeAnswer::TooLarge);
        void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED) return Refuse(ProbeAnswer::TooLarge);
        pixels = static_cast<uint8_t*>(map);
    }
    if (fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0)
        return Refuse(ProbeAnswer::Damaged);
    if (!confined::SendPacket(kSocket, confined::EncodeAnnouncement(reply), fd)) return false;
    close(fd);
    // The memfd's pages are made present by a second thread while the decoder writes the rows,
    // as the loader does for its own pictures: shared memory comes in small pages, and faulting
    // them in one by one from the decoder's writes would hold up the decode.
    std::thread populate;
    try {
        populate = std::thread([pixels, bytes] { Populate(pixels, bytes); });
    } catch (const std::system_error&) {
        // Without the thread the decoder's writes fault the pages in.
    }
    // A decode that breaks off before its first row leaves nothing worth showing.
    reply.rows = d.Decode(pixels, reply.stride);
    if (populate.joinable()) populate.join();
    if (reply.rows.decoded <= 0) return Refuse(ProbeAnswer::Damaged);
    if (!exif.empty()) std::memcpy(pixels + rowBytes, exif.data(), exif.size());
    // The mapping stays: unmapping its small pages one by one would hold up the reply, and the
    // helper ends as soon as the reply is sent.
    return Send(reply);
}

[[noreturn]] void Exhaust() {
    std::vector<void*> blocks;
    for (;;) {
        void* p = ::operator new (size_t{64} << 20);
        blocks.push_back(p);
    }
}

// Tries what confinement must refuse; decodes only when all of it was refused.
bool Escaped() {
    const int file = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    const int net = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (file >= 0 || net >= 0) return true;
    char* const argv[] = {const_cast<char*>("true"), nullptr};
    execv("/bin/true", argv);
    return false;
}

// Ends without the exit handlers, which may make calls the filter refuses.
[[noreturn]] void End(bool ok) {
    _exit(ok ? 0 : 2);
}

}  // namespace

int main() {
    // Nothing but the socket and the standard streams stays open.
    close_range(kSocket + 1, ~0U, 0);
    if (send(kSocket, &confined::kReady, 1, MSG_NOSIGNAL) != 1) End(false);
    confined::Request request;
    const int memfd = Receive(request);
    if (memfd < 0) End(false);
    void* bytes = request.fileBytes
                      ? mmap(nullptr, request.fileBytes, PROT_READ, MAP_PRIVATE, memfd, 0)
                      : nullptr;
    close(memfd);
    if (bytes == MAP_FAILED) End(false);
    ImageSetLoadLimits(request.limits);
    const ImageDecoder& format = *confined::Formats()[request.format];
    if (!EnterConfinement(request.limits, request.fileBytes, kSocket)) End(false);
    const ByteView file(static_cast<const uint8_t*>(bytes), request.fileBytes);
    Prepared prepared;
    if (request.fault == confined::Fault::None) prepared.Start(request.pixelBytesHint);
    try {
        switch (request.fault) {
            case confined::Fault::None:
                break;
            case confined::Fault::Crash:
                std::raise(SIGSEGV);
                break;
            case confined::Fault::Hang:
                for (;;)
                    asm volatile("");
            case confined::Fault::Exhaust:
                Exhaust();
            case confined::Fault::Escape:
                if (!Escaped()) End(Refuse(ProbeAnswer::Damaged));
                break;
        }
        End(Decode(format, file, prepared));
    } catch (const std::bad_alloc&) {
        End(Refuse(ProbeAnswer::TooLarge));
    } catch (...) {
        End(Refuse(ProbeAnswer::Damaged));
    }
}
