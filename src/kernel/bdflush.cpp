// SPDX-License-Identifier: GPL-2.0-or-later
#include "kernel/bdflush.h"

#if defined(KORRIN_OWN_RUNTIME)
#include "runtime/sys.h"
#else
#include <sys/syscall.h>
#include <unistd.h>
#endif

int bdflush(int function, long data)
{
#if defined(KORRIN_OWN_RUNTIME)
    if constexpr (rt::arch::nr_bdflush < 0) {
        // This machine has no flush call; every caller takes its failure path.
        (void)function;
        (void)data;
        errno = ENOSYS;
        return -1;
    } else {
        rt::arch::Answer const answer = rt::arch::call<rt::arch::nr_bdflush>(function, data);
        if constexpr (rt::arch::error_flag) {
            // The kernel's flag, not the value, says whether the call failed.
            if (answer.error) {
                errno = static_cast<int>(answer.value);
                return -1;
            }
            return static_cast<int>(answer.value);
        }
        return bdflush_result(answer.value);
    }
#elif defined(__i386__)
    long raw;
    asm volatile("int $0x80" : "=a"(raw) : "0"(134L), "b"(function), "c"(data) : "memory");
    return bdflush_result(raw);
#elif defined(SYS_bdflush) && (defined(__mips__) || defined(__powerpc__) || defined(__sparc__) || defined(__alpha__))
    // The kernel flags a failure apart from the value, and syscall() gives
    // -1 and errno exactly when it did.
    return static_cast<int>(syscall(SYS_bdflush, function, data));
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
    // This machine has no flush call; every caller takes its failure path.
    (void)function;
    (void)data;
    errno = ENOSYS;
    return -1;
#endif
}
