// The loader's side of the confined helper's answer, as a helper under a file's control could
// send it: any packet, with no descriptor, a memfd of any size sealed or not, or several; with
// flag 32 two packets, the first (a reply's length, as a picture's announcement) with the
// descriptors and the rest without. Input: one byte of flags, four bytes of memfd size, then
// the packets.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "fuzz_common.h"
#include "imagelib/byte_order.h"
#include "imagelib/confined_decode.h"
#include "imagelib/decode_protocol.h"

namespace {

int PixelFile(size_t bytes, bool sealed, uint8_t fill) {
    const int fd = memfd_create("fuzz-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return -1;
    if (ftruncate(fd, static_cast<off_t>(bytes)) == 0 && bytes > 0) {
        void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) {
            std::memset(map, fill, bytes);
            munmap(map, bytes);
        }
    }
    if (sealed) fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    if (size < 5) return 0;
    const uint8_t flags = data[0];
    const size_t bytes = U32(data + 1) % (size_t{16} << 20);
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return 0;
    int fds[3] = {-1, -1, -1};
    int count = 0;
    if (flags & 1) fds[count++] = PixelFile(bytes, flags & 2, flags);
    if (flags & 4) fds[count++] = PixelFile(bytes / 2, true, 0);
    if (flags & 8) fds[count++] = dup(pair[1]);  // a descriptor that is no memfd
    const size_t first = (flags & 32) ? std::min(size - 5, confined::kReplyBytes) : size - 5;
    iovec io = {const_cast<uint8_t*>(data + 5), first};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof fds)] = {};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    if (count > 0) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(sizeof(int) * count);
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int) * count);
        std::memcpy(CMSG_DATA(c), fds, sizeof(int) * count);
    }
    if (!(flags & 16)) sendmsg(pair[1], &msg, MSG_NOSIGNAL);
    if ((flags & 32) && !(flags & 16))
        send(pair[1], data + 5 + first, size - 5 - first, MSG_NOSIGNAL);
    for (int i = 0; i < count; ++i)
        if (fds[i] >= 0) close(fds[i]);
    close(pair[1]);  // nothing sent: the helper ended without a word
    Probed probed = ConfinedReadReply(pair[0], 1000);
    if (probed.decoder) {
        FuzzTouch(probed.decoder->TakeBitmap());
        volatile size_t exif = probed.decoder->Exif().size();
        (void)exif;
    }
    close(pair[0]);
    return 0;
}
