// SPDX-License-Identifier: GPL-2.0-or-later
#include "kernel/bdflush.h"

#include <sys/syscall.h>
#include <unistd.h>

int bdflush(int function, long data)
{
#if defined(__i386__)
    long raw;
    asm volatile("int $0x80" : "=a"(raw) : "0"(134L), "b"(function), "c"(data) : "memory");
    return bdflush_result(raw);
#elif defined(SYS_bdflush)
    // syscall() folds -4095..-1 into -1 and errno; undo that so the narrower
    // test above decides, and leave errno as it was for what it lets through.
    int const saved = errno;
    long raw = syscall(SYS_bdflush, function, data);
    if (raw == -1)
        raw = -errno;
    errno = saved;
    return bdflush_result(raw);
#else
    // This platform has no flush call; every caller takes its failure path.
    (void)function;
    (void)data;
    errno = ENOSYS;
    return -1;
#endif
}
