// SPDX-License-Identifier: GPL-2.0-or-later
// The C library's names that korrin calls, on korrin's own runtime. The
// declarations are the system's headers'; only what korrin uses is here.
#include "runtime/runtime.h"
#define KORRIN_RUNTIME_START
#include "runtime/sys.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

namespace {

int error_number;

// The kernel's answer as the C library gives it: -1 and errno for
// -4095..-1, anything else as it is.
long with_errno(long raw)
{
    if (raw < 0 && raw >= -4095) {
        error_number = static_cast<int>(-raw);
        return -1;
    }
    return raw;
}

rt::Getopt options;

bool in_environment(const char* name)
{
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::size_t i = 0;
        while (name[i] != '\0' && (*entry)[i] == name[i])
            ++i;
        if (name[i] == '\0' && (*entry)[i] == '=')
            return true;
    }
    return false;
}

}

// The program's main, which C++ does not let the runtime call by its name.
int program_main(int argc, char** argv) asm("main");

extern "C" {

char** environ;
char* optarg;
int optind = 1;
int opterr = 1;
int optopt = '?';

int* __errno_location() noexcept
{
    return &error_number;
}

[[noreturn, gnu::used]] void korrin_start(long* stack)
{
    int const argc = static_cast<int>(stack[0]);
    char** const argv = reinterpret_cast<char**>(stack + 1);
    environ = argv + argc + 1;
    exit(program_main(argc, argv));
}

void exit(int status) noexcept
{
    rt::flush_standard_output();
    // A single-threaded process: exit, not exit_group (Linux 2.5).
    for (;;)
        rt::arch::syscall<rt::arch::nr_exit>(status);
}

pid_t fork() noexcept
{
    return static_cast<pid_t>(with_errno(rt::arch::syscall<rt::arch::nr_fork>()));
}

pid_t setsid() noexcept
{
    return static_cast<pid_t>(with_errno(rt::arch::syscall<rt::arch::nr_setsid>()));
}

uid_t geteuid() noexcept
{
    return static_cast<uid_t>(rt::arch::effective_user());
}

int chdir(const char* path) noexcept
{
    return static_cast<int>(with_errno(rt::arch::syscall<rt::arch::nr_chdir>(reinterpret_cast<long>(path))));
}

int close(int fd)
{
    return static_cast<int>(with_errno(rt::arch::syscall<rt::arch::nr_close>(fd)));
}

int close_range(unsigned first, unsigned last, int flags) noexcept
{
    // The kernel reads the words back as unsigned.
    return static_cast<int>(with_errno(rt::arch::syscall<rt::arch::nr_close_range>(static_cast<long>(first),
                                                          static_cast<long>(last), flags)));
}

void sync() noexcept
{
    rt::arch::syscall<rt::arch::nr_sync>();
}

long sysconf(int name) noexcept
{
    if (name != _SC_OPEN_MAX) {
        error_number = EINVAL;
        return -1;
    }
    struct {
        unsigned long current, maximum;
    } limit{};
    if (with_errno(rt::arch::syscall<rt::arch::nr_getrlimit>(RLIMIT_NOFILE, reinterpret_cast<long>(&limit))) != 0)
        return -1;
    return limit.current > LONG_MAX ? LONG_MAX : static_cast<long>(limit.current);
}

__sighandler_t signal(int number, __sighandler_t handler) noexcept
{
    if (handler != SIG_IGN && handler != SIG_DFL) {
        error_number = EINVAL;
        return SIG_ERR;
    }
    long previous = 0;
    if (with_errno(rt::arch::raw(rt::arch::set_disposition(number, handler == SIG_IGN, previous))) != 0)
        return SIG_ERR;
    // The kernel gives the previous disposition as a word.
    return reinterpret_cast<__sighandler_t>(previous); // NOLINT(performance-no-int-to-ptr)
}

// Whole seconds, however many: nanosleep takes at most 2^31 - 1 of them in
// its 32-bit field. A kernel without it (Linux 1.2), or one that refuses it,
// gets select with a timeout instead, from then on; old kernels turn its
// seconds into 32-bit counts of clock ticks, hence at most 10^6 (11.6 days) a
// call. A sleep stopped and continued on a kernel that does not restart it
// goes on for the time that was left, so it never ends early: the result is 0.
unsigned sleep(unsigned seconds)
{
    static bool no_nanosleep;
    do {
        if (!no_nanosleep) {
            unsigned const part = seconds < INT_MAX ? seconds : INT_MAX;
            long left[2] = {static_cast<long>(part), 0};
            long r;
            while ((r = rt::arch::syscall<rt::arch::nr_nanosleep>(reinterpret_cast<long>(left),
                                           reinterpret_cast<long>(left))) == -EINTR) {
            }
            if (r == 0) {
                seconds -= part;
                continue;
            }
            no_nanosleep = true;
        }
        unsigned const part = seconds < 1000000U ? seconds : 1000000U;
        rt::arch::Timeval timeout{};
        timeout.seconds = static_cast<decltype(timeout.seconds)>(part);
        while (rt::arch::raw(rt::arch::select_timeout(&timeout)) == -EINTR) {
        }
        seconds -= part;
    } while (seconds > 0);
    return 0;
}

int getopt(int argc, char* const* argv, const char* optstring) noexcept
{
    options.optind = optind;
    int const result = rt::getopt(options, argc, const_cast<char**>(argv), optstring,
                                  in_environment("POSIXLY_CORRECT"));
    optind = options.optind;
    optarg = options.optarg;
    optopt = options.optopt;
    return result;
}

long strtol(const char* text, char** end, int base) noexcept
{
    if (base != 10) {
        // korrin reads decimal numbers only.
        error_number = EINVAL;
        if (end != nullptr)
            *end = const_cast<char*>(text);
        return 0;
    }
    return rt::to_long(text, end, error_number);
}

// What the compiler may call for copies and clears, and what korrin calls.
void* memcpy(void* to, const void* from, std::size_t n) noexcept
{
    auto* d = static_cast<char*>(to);
    auto const* s = static_cast<const char*>(from);
    while (n-- > 0)
        *d++ = *s++;
    return to;
}

void* memset(void* to, int c, std::size_t n) noexcept
{
    auto* d = static_cast<char*>(to);
    while (n-- > 0)
        *d++ = static_cast<char>(c);
    return to;
}

std::size_t strlen(const char* s) noexcept
{
    std::size_t n = 0;
    while (s[n] != '\0')
        ++n;
    return n;
}

#if defined(__arm__)
// What ARM's division helpers in libgcc call on a division by zero, which
// korrin never makes (its divisors are constants): no signal to raise.
int __aeabi_idiv0(int result)
{
    return result;
}

long long __aeabi_ldiv0(long long result)
{
    return result;
}
#endif

std::size_t strnlen(const char* s, std::size_t most) noexcept
{
    std::size_t n = 0;
    while (n < most && s[n] != '\0')
        ++n;
    return n;
}

}
