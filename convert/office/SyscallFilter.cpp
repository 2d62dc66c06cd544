#include "convert/office/SyscallFilter.h"

#include <cerrno>
#include <cstddef>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <vector>

namespace {

#if defined(__x86_64__)
constexpr unsigned kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArchitecture = AUDIT_ARCH_AARCH64;
#elif defined(__i386__)
constexpr unsigned kArchitecture = AUDIT_ARCH_I386;
#elif defined(__powerpc64__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned kArchitecture = AUDIT_ARCH_PPC64LE;
#elif defined(__s390x__)
constexpr unsigned kArchitecture = AUDIT_ARCH_S390X;
#elif defined(__riscv) && __riscv_xlen == 64
constexpr unsigned kArchitecture = AUDIT_ARCH_RISCV64;
#else
#error "the office's system call filter does not know this architecture"
#endif

// Calls that exist on this architecture; those it lacks are left out at compile time.
const std::vector<unsigned> &refusedCalls()
{
    static const std::vector<unsigned> calls = {
#define REFUSE(name) static_cast<unsigned>(__NR_##name)
#ifdef __NR_ptrace
        REFUSE(ptrace),
#endif
        REFUSE(process_vm_readv), REFUSE(process_vm_writev), REFUSE(mount), REFUSE(umount2),
        REFUSE(pivot_root), REFUSE(chroot), REFUSE(unshare), REFUSE(setns), REFUSE(kexec_load),
#ifdef __NR_kexec_file_load
        REFUSE(kexec_file_load),
#endif
        REFUSE(bpf), REFUSE(keyctl), REFUSE(add_key), REFUSE(request_key), REFUSE(init_module),
        REFUSE(finit_module), REFUSE(delete_module), REFUSE(reboot), REFUSE(swapon), REFUSE(swapoff),
        REFUSE(acct), REFUSE(perf_event_open), REFUSE(userfaultfd), REFUSE(open_by_handle_at),
        REFUSE(name_to_handle_at), REFUSE(settimeofday), REFUSE(clock_settime), REFUSE(clock_adjtime),
        REFUSE(adjtimex), REFUSE(quotactl), REFUSE(syslog), REFUSE(vhangup), REFUSE(sethostname),
        REFUSE(setdomainname), REFUSE(fanotify_init),
#ifdef __NR_uselib
        REFUSE(uselib),
#endif
#ifdef __NR_ioperm
        REFUSE(ioperm), REFUSE(iopl),
#endif
#ifdef __NR_io_uring_setup
        REFUSE(io_uring_setup), REFUSE(io_uring_enter), REFUSE(io_uring_register),
#endif
#ifdef __NR_open_tree
        REFUSE(open_tree), REFUSE(move_mount), REFUSE(fsopen), REFUSE(fsconfig), REFUSE(fsmount), REFUSE(fspick),
#endif
#ifdef __NR_mount_setattr
        REFUSE(mount_setattr),
#endif
#undef REFUSE
    };
    return calls;
}

sock_filter statement(unsigned short code, unsigned value)
{
    return BPF_STMT(code, value);
}

sock_filter jump(unsigned short code, unsigned value, unsigned char ifTrue, unsigned char ifFalse)
{
    return BPF_JUMP(code, value, ifTrue, ifFalse);
}

constexpr unsigned kAllow = SECCOMP_RET_ALLOW;
constexpr unsigned refuse(int error)
{
    return SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & SECCOMP_RET_DATA);
}

// The low 32 bits of a call's argument (the kernel's ABI for int arguments).
unsigned argumentOffset(int index)
{
    const unsigned offset = offsetof(seccomp_data, args) + 8 * static_cast<unsigned>(index);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return offset + 4;
#else
    return offset;
#endif
}

} // namespace

QByteArray OfficeSyscallFilter()
{
    std::vector<sock_filter> program;
    program.push_back(statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
    program.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, kArchitecture, 1, 0));
    program.push_back(statement(BPF_RET | BPF_K, refuse(EPERM)));
    program.push_back(statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
#if defined(__x86_64__)
    // The x32 calls, numbered from 0x40000000 under the same architecture.
    program.push_back(jump(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1));
    program.push_back(statement(BPF_RET | BPF_K, refuse(EPERM)));
#endif
    for (const unsigned call : refusedCalls()) {
        program.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, call, 0, 1));
        program.push_back(statement(BPF_RET | BPF_K, refuse(EPERM)));
    }
#ifdef __NR_socket
    // Only unix sockets: the office's own pipe to the program.
    program.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 4));
    program.push_back(statement(BPF_LD | BPF_W | BPF_ABS, argumentOffset(0)));
    program.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, AF_UNIX, 1, 0));
    program.push_back(statement(BPF_RET | BPF_K, refuse(EAFNOSUPPORT)));
    program.push_back(statement(BPF_RET | BPF_K, kAllow));
#endif
    program.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, __NR_ioctl, 0, 4));
    program.push_back(statement(BPF_LD | BPF_W | BPF_ABS, argumentOffset(1)));
    program.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, TIOCSTI, 0, 1));
    program.push_back(statement(BPF_RET | BPF_K, refuse(EPERM)));
    program.push_back(statement(BPF_RET | BPF_K, kAllow));
    program.push_back(statement(BPF_RET | BPF_K, kAllow));
    return QByteArray(reinterpret_cast<const char *>(program.data()),
                      static_cast<qsizetype>(program.size() * sizeof(sock_filter)));
}
