#pragma once

#include <QByteArray>

// A seccomp program (classic BPF, as the kernel and bubblewrap's --seccomp take it)
// that refuses what an office never does: tracing or reading other processes,
// mounting, changing namespaces, loading kernel modules or BPF programs, keys,
// rebooting, setting the clock, io_uring (which would bypass the rest), sockets of
// any family but unix ones, and pushing input into a terminal (TIOCSTI). Every
// other call is allowed. A call of another architecture (32-bit calls on a 64-bit
// kernel) is refused whatever it is.
QByteArray OfficeSyscallFilter();
