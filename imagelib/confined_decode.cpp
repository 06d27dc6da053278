#include "imagelib/confined_decode.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "imagelib/heif_decoder.h"
#include "imagelib/load_limits.h"
#include "imagelib/webp_decoder.h"
#include "platform/raster.h"

extern char** environ;

namespace {

// The descriptor the helper finds its socket under.
constexpr int kHelperSocket = 3;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) reset(std::exchange(o.fd_, -1));
        return *this;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Helpers that were stopped but had not ended yet. A helper's end (the kernel freeing its
// memory, the picture's small pages among it) takes milliseconds the loader need not wait for:
// they are reaped at the next start of a helper, and waited for where a caller needs them gone.
class Stopped {
public:
    // Reaps `pid` now if it has ended, else later.
    void Add(pid_t pid) {
        if (waitpid(pid, nullptr, WNOHANG) != 0) return;
        std::lock_guard lock(mutex_);
        pids_.push_back(pid);
    }
    // Reaps the helpers that have ended, or (`wait`) all of them.
    void Reap(bool wait) {
        std::lock_guard lock(mutex_);
        std::erase_if(pids_, [wait](pid_t pid) {
            pid_t got;
            do {
                got = waitpid(pid, nullptr, wait ? 0 : WNOHANG);
            } while (got < 0 && errno == EINTR);
            return got != 0;
        });
    }

private:
    std::mutex mutex_;
    std::vector<pid_t> pids_;
};

// A started helper and the loader's end of its socket; stopped when it goes, and reaped (see
// Stopped), so that no helper outlives its file and none is left a zombie.
class Helper {
public:
    Helper() = default;
    Helper(pid_t pid, Fd socket) : pid_(pid), socket_(std::move(socket)) {}
    ~Helper() { Stop(); }
    Helper(Helper&& o) noexcept : pid_(std::exchange(o.pid_, -1)), socket_(std::move(o.socket_)) {}
    Helper& operator=(Helper&& o) noexcept {
        if (this != &o) {
            Stop();
            pid_ = std::exchange(o.pid_, -1);
            socket_ = std::move(o.socket_);
        }
        return *this;
    }
    explicit operator bool() const { return pid_ > 0; }
    int Socket() const { return socket_.get(); }

private:
    void Stop() {
        socket_.reset();
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        Reaper().Add(pid_);
        pid_ = -1;
    }
    static Stopped& Reaper();

    pid_t pid_ = -1;
    Fd socket_;
};

// `fd` sealed against every change of its size and bytes; none when the seals cannot be set.
Fd Sealed(Fd fd) {
    if (fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        return Fd();
    return fd;
}

// The file's bytes in a memfd sealed against every change.
Fd SealedCopy(ByteView file) {
    Fd fd(memfd_create("kadrovo-file", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd || ftruncate(fd.get(), static_cast<off_t>(file.size())) != 0) return Fd();
    for (size_t done = 0; done < file.size();) {
        const ssize_t n =
            pwrite(fd.get(), file.data() + done, file.size() - done, static_cast<off_t>(done));
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return Fd();
        }
        done += static_cast<size_t>(n);
    }
    return Sealed(std::move(fd));
}

// Starts the helper with `socket` as its descriptor 3, every signal at its default and none
// blocked; the process id, or -1.
pid_t SpawnOn(const std::string& helper, int socket) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    pid_t pid = -1;
    char name[] = "kadrovo-decode";
    char* const argv[] = {name, nullptr};
    const bool ready =
        posix_spawn_file_actions_adddup2(&actions, socket, kHelperSocket) == 0 &&
        posix_spawnattr_setsigmask(&attr, &none) == 0 &&
        posix_spawnattr_setsigdefault(&attr, &all) == 0 &&
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    if (!ready || posix_spawn(&pid, helper.c_str(), &actions, &attr, argv, environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// A new helper; it starts up (the dynamic linking of the decoding libraries is most of that)
// while the loader goes on, and says when it is ready for a request.
Helper Spawn(const std::string& helper) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return Helper();
    Fd ours(pair[0]);
    // Above the standard streams and the helper's 3, so that the move to 3 drops close-on-exec.
    Fd theirs(fcntl(pair[1], F_DUPFD_CLOEXEC, kHelperSocket + 1));
    close(pair[1]);
    if (!theirs) return Helper();
    const pid_t pid = SpawnOn(helper, theirs.get());
    if (pid <= 0) return Helper();
    return Helper(pid, std::move(ours));
}

// The loader's side of confinement, one per process: the helpers stopped but not yet reaped, one
// helper started ahead, so that its start-up falls between loads rather than inside one, and the
// fault the next helper is told to make (a test hook).
struct ConfinedState {
    Stopped stopped;  // first, so that it outlives the spare, which it may reap
    std::mutex mutex;
    Helper helper;  // the spare, guarded by `mutex`
    std::atomic<confined::Fault> fault{confined::Fault::None};
    std::atomic<uint64_t> lastPixelBytes{0};  // the last picture's pixel memfd (a helper's hint)
};
ConfinedState g_confined;

Stopped& Helper::Reaper() {
    return g_confined.stopped;
}

// The spare helper, or a new one when there is none.
Helper TakeHelper(const std::string& path) {
    {
        std::lock_guard lock(g_confined.mutex);
        if (g_confined.helper) return std::move(g_confined.helper);
    }
    return Spawn(path);
}

// Starts the next spare, unless one is there.
void StartSpare(const std::string& path) {
    g_confined.stopped.Reap(false);
    {
        std::lock_guard lock(g_confined.mutex);
        if (g_confined.helper) return;
    }
    Helper next = Spawn(path);
    std::lock_guard lock(g_confined.mutex);
    if (!g_confined.helper) g_confined.helper = std::move(next);
}

// Waits until `socket` has a packet, the helper ended or the deadline passed; true for a packet.
bool AwaitPacket(int socket, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return false;
        pollfd p = {socket, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0 && (p.revents & POLLIN);
    }
}

// The helper's word that it is ready: one byte.
bool AwaitReady(const Helper& helper, std::chrono::steady_clock::time_point deadline) {
    uint8_t word[2];
    return AwaitPacket(helper.Socket(), deadline) &&
           recv(helper.Socket(), word, sizeof word, MSG_DONTWAIT) == 1 &&
           word[0] == confined::kReady;
}

bool SendRequest(int socket, const confined::Request& request, int file) {
    return confined::SendPacket(socket, confined::EncodeRequest(request), file);
}

// One packet of the helper's answer: at most a reply's bytes, and the descriptors beside it.
struct Packet {
    uint8_t bytes[confined::kReplyBytes];
    size_t size = 0;
    std::vector<Fd> fds;
    ByteView View() const { return ByteView(bytes, size); }
};

// Waits until the helper's next packet arrives, the helper ends or the deadline passes. False
// without a whole packet (one longer than a reply is cut short).
bool ReceivePacket(int socket, std::chrono::steady_clock::time_point deadline, Packet& packet) {
    packet.fds.clear();
    if (!AwaitPacket(socket, deadline)) return false;
    iovec io = {packet.bytes, sizeof packet.bytes};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 8)];
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = recvmsg(socket, &msg, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return false;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const size_t n = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < n; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            packet.fds.emplace_back(fd);
        }
    }
    packet.size = static_cast<size_t>(got);
    return !(msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC));
}

// One picture decoded by the helper: its bitmap over the helper's pixel memfd, its EXIF data and
// how far the decode got.
class ConfinedPicture final : public PictureDecoder {
public:
    ConfinedPicture(std::unique_ptr<raster::Bitmap> bitmap, std::vector<uint8_t> exif,
                    DecodedRows rows)
        : width_(bitmap->width),
          height_(bitmap->height),
          bitmap_(std::move(bitmap)),
          exif_(std::move(exif)),
          rows_(rows) {}
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    std::vector<uint8_t> Exif() const override { return exif_; }
    DecodedRows Decode(uint8_t*, int) override { return {}; }
    std::unique_ptr<raster::Bitmap> TakeBitmap() override { return std::move(bitmap_); }
    DecodedRows ReadyRows(int) const override { return rows_; }

private:
    int width_, height_;
    std::unique_ptr<raster::Bitmap> bitmap_;
    std::vector<uint8_t> exif_;
    DecodedRows rows_;
};

// A confined picture's pixels go back to the system on a thread of their own: shared memory
// comes in small pages, and unmapping and freeing the nine thousand of a 12-megapixel picture
// takes 3 ms and more, while a picture is let go inside the next open, as that one is taken.
void UnmapPixels(uint8_t* bits, size_t size) {
    try {
        std::thread([bits, size] { munmap(bits, size); }).detach();
        return;
    } catch (const std::system_error&) {
        // Without the thread the caller waits for it.
    }
    munmap(bits, size);
}

// Maps an announced picture's pixel memfd as a bitmap's memory, its pages made present: only a
// memfd sealed against any change of its size, so that no page of the mapping can vanish under
// the loader and none be added beyond it, and exactly as large as the picture. Null when it
// is not such a memfd or cannot be mapped (`answer` says which).
raster::PixelMemory MapPixels(const confined::Reply& announced, const Fd& pixels,
                              ProbeAnswer& answer) {
    const uint64_t bytes = confined::PixelFileBytes(announced);
    struct stat st;
    const int seals = fcntl(pixels.get(), F_GET_SEALS);
    answer = ProbeAnswer::Damaged;
    if (seals < 0 || (seals & (F_SEAL_SHRINK | F_SEAL_GROW)) != (F_SEAL_SHRINK | F_SEAL_GROW) ||
        fstat(pixels.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) != bytes)
        return nullptr;
    answer = ProbeAnswer::TooLarge;
    void* map =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, pixels.get(), 0);
    if (map == MAP_FAILED) return nullptr;
    return raster::PixelMemory(static_cast<uint8_t*>(map),
                               raster::PixelRelease{UnmapPixels, bytes});
}

// The picture of a reply over its mapped pixel memfd.
Probed Adopt(const confined::Reply& reply, raster::PixelMemory pixels) {
    auto bm = std::make_unique<raster::Bitmap>();
    bm->width = reply.width;
    bm->height = reply.height;
    bm->bpp = RowBits(reply.answer);
    bm->stride = reply.stride;
    bm->bits = std::move(pixels);
    const uint8_t* exif = bm->bits.get() + bm->ByteSize();
    std::vector<uint8_t> tags(exif, exif + reply.exifBytes);
    return Probed{reply.answer,
                  std::make_unique<ConfinedPicture>(std::move(bm), std::move(tags), reply.rows)};
}

// The helper's answer: a refusal, or a picture's announcement with its pixel memfd, which is
// mapped while the helper writes the rows, then its reply. A helper that crashed, broke the
// protocol or ran out of time gives Damaged: the file did that to it.
Probed ReadReply(int socket, std::chrono::steady_clock::time_point deadline) {
    const auto answer = [](ProbeAnswer a) { return Probed{a, nullptr}; };
    const ProbeAnswer damaged = ProbeAnswer::Damaged;
    Packet packet;
    confined::Reply announced, reply;
    if (!ReceivePacket(socket, deadline, packet)) return answer(damaged);
    if (confined::DecodeReply(packet.View(), reply))  // a refusal, with nothing beside it
        return answer(Accepted(reply.answer) || !packet.fds.empty() ? damaged : reply.answer);
    if (!confined::DecodeAnnouncement(packet.View(), announced) || packet.fds.size() != 1)
        return answer(damaged);
    ProbeAnswer failed;
    raster::PixelMemory pixels = MapPixels(announced, packet.fds.front(), failed);
    if (!pixels) return answer(failed);
    if (!ReceivePacket(socket, deadline, packet) || !packet.fds.empty() ||
        !confined::DecodeReply(packet.View(), reply))
        return answer(damaged);
    if (!Accepted(reply.answer)) return answer(reply.answer);
    if (!confined::KeepsAnnouncement(reply, announced)) return answer(damaged);
    g_confined.lastPixelBytes = confined::PixelFileBytes(reply);
    return Adopt(reply, std::move(pixels));
}

Probed Decode(const std::string& path, uint32_t format, ByteView file, int sealed) {
    Fd bytes = sealed < 0 ? SealedCopy(file) : Fd();
    if (sealed < 0 && !bytes) return Probed{ProbeAnswer::TooLarge, nullptr};
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(ImageLoadLimits().decodeSeconds);
    Helper helper = TakeHelper(path);
    bool ready = helper && AwaitReady(helper, deadline);
    if (!ready) {  // a spare that died while it waited is replaced once
        helper = Spawn(path);
        ready = helper && AwaitReady(helper, deadline);
    }
    if (!ready) return Probed{ProbeAnswer::TooLarge, nullptr};
    confined::Request request;
    request.format = format;
    request.fileBytes = file.size();
    request.limits = ImageLoadLimits();
    request.fault = g_confined.fault.exchange(confined::Fault::None);
    request.pixelBytesHint = g_confined.lastPixelBytes;
    if (!SendRequest(helper.Socket(), request, sealed < 0 ? bytes.get() : sealed))
        return Probed{ProbeAnswer::Damaged, nullptr};
    bytes.reset();
    // The next file's helper starts up now, on the second core while this one decodes, rather
    // than after the reply, where its start-up would compete with the loader's preview.
    StartSpare(path);
    return ReadReply(helper.Socket(), deadline);
}

std::string FindHelper() {
    std::vector<std::string> candidates;
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        const std::string path(self, static_cast<size_t>(n));
        const std::string dir = path.substr(0, path.rfind('/'));
        candidates = {dir + "/kadrovo-decode", dir + "/../libexec/kadrovo/kadrovo-decode"};
    }
#ifdef KADROVO_DECODE_HELPER
    candidates.emplace_back(KADROVO_DECODE_HELPER);
#endif
    for (const std::string& c : candidates)
        if (access(c.c_str(), X_OK) == 0) return c;
    return {};
}

}  // namespace

bool ImageDecodesConfined(const ImageDecoder& format) {
    // JPEG and PNG stay in this process: the JPEG decoder reduces the preview on a second thread
    // while the rows arrive, which the helper cannot, and a 24-megapixel JPEG took 13 % longer
    // to open confined (bench_open).
    return ImageLoadLimits().decodeConfined &&
           (&format == HeifDecoder() || &format == WebpDecoder());
}

Probed ConfinedProbe(const ImageDecoder& format, ByteView file, int sealed) {
    const int index = confined::FormatIndex(format);
    const std::string& path = ConfinedHelperPath();
    if (index < 0 || path.empty()) return format.probe(file);
    Probed probed = Decode(path, static_cast<uint32_t>(index), file, sealed);
    StartSpare(path);
    return probed;
}

int ConfinedFileBytes(int fd, uint64_t size) {
    Fd bytes(memfd_create("kadrovo-file", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!bytes) return -1;
    off_t at = 0;
    while (static_cast<uint64_t>(at) < size) {
        const ssize_t n = sendfile(bytes.get(), fd, &at, size - static_cast<uint64_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;  // the file is shorter now: as far as it goes
    }
    return Sealed(std::move(bytes)).release();
}

const std::string& ConfinedHelperPath() {
    static const std::string path = FindHelper();
    return path;
}

Probed ConfinedReadReply(int socket, int timeoutMs) {
    return ReadReply(socket,
                     std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs));
}

bool ConfinedHelperReady() {
    const std::string& path = ConfinedHelperPath();
    if (path.empty()) return false;
    g_confined.stopped.Reap(true);
    StartSpare(path);
    std::lock_guard lock(g_confined.mutex);
    if (!g_confined.helper) return false;
    pollfd p = {g_confined.helper.Socket(), POLLIN, 0};
    const int waitMs = ImageLoadLimits().decodeSeconds * 1000;
    while (poll(&p, 1, waitMs) < 0 && errno == EINTR) {
    }
    return (p.revents & POLLIN) != 0;
}

void ConfinedFaultForTest(confined::Fault fault) {
    g_confined.fault = fault;
}
