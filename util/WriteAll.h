#pragma once

#include <cstddef>

// Writes all of `size` bytes to `fd`, or fails with errno set. A write that takes
// fewer bytes than given is tried on with the rest, one cut short by a signal is
// tried again, and one that takes none at all means the disk is full (ENOSPC).
bool WriteAll(int fd, const char *data, std::size_t size);
