// Runs a program with openat2 answered "not implemented", as kernels before 5.6 and system
// call filters that do not know it answer: the library's opens must then take the walk
// that stands in for the kernel's lookup. Exits 77 (skipped) where no filter can be set,
// as under an emulator.

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__x86_64__)
constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#elif defined(__arm__)
constexpr unsigned kArch = AUDIT_ARCH_ARM;
#else
#error "no audit architecture known for this machine"
#endif

namespace {

bool refuseOpenat2() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{sizeof filter / sizeof filter[0], filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: without-openat2 PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    if (!refuseOpenat2()) {
        std::perror("without-openat2: no system call filter here");
        return 77;
    }
    // The filter must answer as a kernel without openat2 does, or the run proves nothing.
    if (syscall(__NR_openat2, AT_FDCWD, ".", nullptr, 0) != -1 || errno != ENOSYS) {
        std::fprintf(stderr, "without-openat2: openat2 is still there\n");
        return 1;
    }
    execv(argv[1], argv + 1);
    std::perror("without-openat2: exec");
    return 127;
}
