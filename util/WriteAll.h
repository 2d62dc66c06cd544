#pragma once

#include <cstddef>

// Writes all of `size` bytes to `fd`, or fails with errno set. A write that takes
// fewer bytes than given is tried on with the rest, one cut short by a signal is
// tried again, and one that takes none at all means the disk is full (ENOSPC).
bool WriteAll(int fd, const char *data, std::size_t size);

// The same, for a descriptor whose reader may stop reading (a pipe, a FIFO, a
// terminal): it waits until `fd` takes bytes, writing no more at once than a pipe
// takes whole, so that no write blocks, and gives up (errno EINTR) once `stop` is
// readable while `fd` takes nothing. A `stop` of -1 is never readable.
bool WriteAllUnlessStopped(int fd, const char *data, std::size_t size, int stop);
