#include "imagelib/confinement.h"

#include <fcntl.h>
#include <linux/memfd.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

#if defined(__SANITIZE_ADDRESS__)
#define KADROVO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KADROVO_ASAN 1
#endif
#endif

// Why seccomp and not Landlock: Landlock confines file-system access (and, from a later kernel
// than Debian 12's, TCP ports) only; a decoder under an attacker's control could still create
// sockets of other families, start programs, signal or trace other processes. A seccomp filter
// allows only the calls decoding needs and works on every kernel the program runs on, without
// privileges (through no_new_privs).

namespace {

// Program, libraries, thread stacks and allocator slack beyond what the limits count.
constexpr uint64_t kBaseAddressSpace = uint64_t{512} << 20;

class Filter {
public:
    explicit Filter(uint32_t defaultAction)
        : default_(defaultAction), ctx_(seccomp_init(defaultAction)) {}
    ~Filter() { seccomp_release(ctx_); }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    bool Allow(std::initializer_list<int> calls) {
        for (int call : calls)
            if (call >= 0 && seccomp_rule_add(ctx_, SCMP_ACT_ALLOW, call, 0) != 0) return false;
        return true;
    }
    bool Deny(int error, std::initializer_list<int> calls) {
        // libseccomp refuses a rule whose action is the default one; such a call is denied
        // that way already.
        if (SCMP_ACT_ERRNO(error) == default_) return true;
        for (int call : calls)
            if (call >= 0 && seccomp_rule_add(ctx_, SCMP_ACT_ERRNO(error), call, 0) != 0)
                return false;
        return true;
    }
    template <class... Args>
    bool AllowIf(int call, Args... comparisons) {
        return seccomp_rule_add(ctx_, SCMP_ACT_ALLOW, call, sizeof...(Args), comparisons...) == 0;
    }
    bool Load() { return ctx_ && seccomp_load(ctx_) == 0; }
    explicit operator bool() const { return ctx_ != nullptr; }

private:
    uint32_t default_;
    scmp_filter_ctx ctx_;
};

bool InstallFilter(int socket) {
#ifdef KADROVO_ASAN
    // The sanitizer's report on a fault needs calls the decoders never make (reading its own
    // memory map, say); refused rather than fatal, so that the report still comes out.
    Filter f(SCMP_ACT_ERRNO(ENOSYS));
#else
    Filter f(SCMP_ACT_KILL_PROCESS);
#endif
    if (!f) return false;
    const auto fd = [](int n) { return SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(n)); };
    bool ok =
        // Memory, threads (libheif decodes with several) and their synchronisation, time.
        f.Allow({SCMP_SYS(brk),
                 SCMP_SYS(mmap),
                 SCMP_SYS(munmap),
                 SCMP_SYS(mremap),
                 SCMP_SYS(mprotect),
                 SCMP_SYS(madvise),
                 SCMP_SYS(futex),
                 SCMP_SYS(set_robust_list),
                 SCMP_SYS(rseq),
                 SCMP_SYS(sched_yield),
                 SCMP_SYS(sched_getaffinity),
                 SCMP_SYS(clock_gettime),
                 SCMP_SYS(clock_nanosleep),
                 SCMP_SYS(nanosleep),
                 SCMP_SYS(gettimeofday),
                 SCMP_SYS(getpid),
                 SCMP_SYS(gettid),
                 SCMP_SYS(getrandom),
                 SCMP_SYS(rt_sigreturn),
                 SCMP_SYS(rt_sigprocmask),
                 SCMP_SYS(rt_sigaction),
                 SCMP_SYS(sigaltstack),
                 SCMP_SYS(exit),
                 SCMP_SYS(exit_group),
                 SCMP_SYS(close),
                 SCMP_SYS(fstat),
                 SCMP_SYS(lseek),
                 SCMP_SYS(getrlimit),
                 SCMP_SYS(prlimit64),
                 SCMP_SYS(sysinfo)}) &&
        // New threads only, never new processes; glibc falls back from clone3, whose flags a
        // filter cannot see, to clone.
        f.AllowIf(SCMP_SYS(clone), SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)) &&
        f.Deny(ENOSYS, {SCMP_SYS(clone3)}) &&
        // Decoding threads name themselves.
        f.AllowIf(SCMP_SYS(prctl), SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME)) &&
        // abort() on the helper itself.
        f.AllowIf(SCMP_SYS(tgkill), SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(getpid()))) &&
        // fstat through fstatat on a descriptor, never on a path.
        f.AllowIf(SCMP_SYS(newfstatat), SCMP_A3(SCMP_CMP_EQ, AT_EMPTY_PATH)) &&
        // The pixel memfd: made, sized, sealed.
        f.Allow({SCMP_SYS(memfd_create), SCMP_SYS(ftruncate)}) &&
        f.AllowIf(SCMP_SYS(fcntl), SCMP_A1(SCMP_CMP_EQ, F_ADD_SEALS)) &&
        // The libraries' messages and the reply.
        f.AllowIf(SCMP_SYS(write), fd(2)) && f.AllowIf(SCMP_SYS(writev), fd(2)) &&
        f.AllowIf(SCMP_SYS(sendmsg), fd(socket)) &&
        // Files and sockets are refused with an error a library can take (some look for
        // optional files), not by ending the helper.
        f.Deny(EACCES, {SCMP_SYS(open), SCMP_SYS(openat), SCMP_SYS(socket), SCMP_SYS(socketpair)});
#ifdef KADROVO_ASAN
    // The sanitizers test whether memory is readable by writing it into a pipe, and name the
    // program from /proc when they report; without these every dynamic type check fails.
    ok = ok && f.Allow({SCMP_SYS(pipe2), SCMP_SYS(pipe), SCMP_SYS(write), SCMP_SYS(read),
                        SCMP_SYS(readlink), SCMP_SYS(ioctl)});
#endif
    return ok && f.Load();
}

}  // namespace

uint64_t ConfinedAddressSpace(const LoadLimits& limits, uint64_t fileBytes) {
    return kBaseAddressSpace + fileBytes + limits.maxPixels * 4 + limits.maxDecoderMemory;
}

bool EnterConfinement(const LoadLimits& limits, uint64_t fileBytes, int socket) {
#ifndef KADROVO_ASAN
    const rlim_t space = ConfinedAddressSpace(limits, fileBytes);
    const rlimit memory = {space, space};
    if (setrlimit(RLIMIT_AS, &memory) != 0) return false;
#else
    (void)fileBytes;
#endif
    // Processor time over all threads; the loader's wall-clock limit is the one that counts, this
    // one stops a helper that the loader no longer watches.
    const rlim_t seconds = static_cast<rlim_t>(limits.decodeSeconds) * 2;
    const rlimit cpu = {seconds, seconds + 1};
    // No core files: they would be written by the kernel outside the filter.
    const rlimit core = {0, 0};
    if (setrlimit(RLIMIT_CPU, &cpu) != 0 || setrlimit(RLIMIT_CORE, &core) != 0) return false;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    return InstallFilter(socket);
}
