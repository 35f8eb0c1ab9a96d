// SPDX-License-Identifier: GPL-2.0-or-later
// The init of a real old i386 kernel (Linux 1.2 to 2.4) booted under QEMU:
// runs /usr/sbin/korrin as an administrator would and reports each check on
// the serial port, then restarts the machine, which ends QEMU. It is built on
// korrin's own runtime, since no C library of today starts on these kernels,
// and makes only calls that Linux 1.2 has. /etc/korrin-scenario says what
// this kernel does with the flush call, "daemon" (the daemon call keeps its
// caller: 1.2), "flush" (it returns at once, and flushes return 0: 2.0, 2.2)
// or "ends" (the first flush ends the caller: 2.4), then the nine values that
// the display lists after boot.
#include "runtime/runtime.h"
#include "runtime/sys.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <utility>

namespace {

using namespace rt::arch;

enum : long {
    nr_read = 3,
    nr_open = 5,
    nr_waitpid = 7,
    nr_execve = 11,
    nr_mount = 21,
    nr_setuid = 23,
    nr_kill = 37,
    nr_pipe = 42,
    nr_setgid = 46,
    nr_dup2 = 63,
    nr_reboot = 88,
    nr_uname = 122,
};
enum : long { sighup = 1, sigint = 2, sigkill = 9, sigterm = 15 };

long syscall5(long n, long a, long b, long c, long d, long e)
{
    long r;
    asm volatile("int $0x80" : "=a"(r) : "0"(n), "b"(a), "c"(b), "d"(c), "S"(d), "D"(e) : "memory");
    return r;
}

template <typename T>
long word(T* pointer)
{
    return reinterpret_cast<long>(pointer);
}

const char* const korrin = "/usr/sbin/korrin";
int passed, failed;

bool starts_with(const char* text, const char* start)
{
    while (*start != '\0' && *start == *text)
        ++start, ++text;
    return *start == '\0';
}

bool same(const char* a, const char* b)
{
    return starts_with(a, b) && starts_with(b, a);
}

void check(const char* what, const char* got, const char* wanted)
{
    if (same(got, wanted)) {
        ++passed;
        return;
    }
    ++failed;
    std::printf("not ok - %s\n  got:    %s\n  wanted: %s\n", what, got, wanted);
}

void check(const char* what, long got, long wanted)
{
    char text[2][24];
    for (int i = 0; i < 2; ++i) {
        rt::Output out{-1, text[i], sizeof text[i] - 1};
        rt::format(out, "%ld", i == 0 ? got : wanted);
        text[i][out.used] = '\0';
    }
    check(what, text[0], text[1]);
}

void nap(long milliseconds)
{
    Timeval timeout{milliseconds / 1000, milliseconds % 1000 * 1000};
    select_timeout(&timeout);
}

// A small file whole, zeros and all; its length, or -1.
long slurp(const char* path, char* buffer, long size)
{
    long const fd = syscall<nr_open>(word(path), 0);
    if (fd < 0)
        return -1;
    long length = 0, n;
    while (length < size - 1 && (n = syscall<nr_read>(fd, word(buffer + length), size - 1 - length)) > 0)
        length += n;
    close(static_cast<int>(fd));
    buffer[length] = '\0';
    return length;
}

struct Run {
    char out[4096], err[4096];
    long status;
};

// Runs korrin with this argument vector (argv[0] its path), as nobody if
// asked, waits for it and keeps what it printed.
Run run(std::initializer_list<const char*> arguments, bool nobody = false)
{
    const char* argv[8] = {};
    int argc = 0;
    for (const char* argument : arguments)
        argv[argc++] = argument;
    long out[2], err[2];
    syscall<nr_pipe>(word(out));
    syscall<nr_pipe>(word(err));
    long const pid = fork();
    if (pid == 0) {
        syscall<nr_dup2>(out[1], 1);
        syscall<nr_dup2>(err[1], 2);
        for (long fd : {out[0], out[1], err[0], err[1]})
            close(static_cast<int>(fd));
        if (nobody) {
            syscall<nr_setgid>(65534);
            syscall<nr_setuid>(65534);
        }
        const char* const environment[] = {"TERM=dumb", nullptr};
        syscall<nr_execve>(word(korrin), word(argv), word(environment));
        exit(127);
    }
    close(static_cast<int>(out[1]));
    close(static_cast<int>(err[1]));
    Run r;
    long status = 0;
    syscall<nr_waitpid>(pid, word(&status), 0);
    r.status = (status & 0x7f) != 0 ? -(status & 0x7f) : (status >> 8) & 0xff;
    for (auto [fd, text] : {std::pair{out[0], r.out}, std::pair{err[0], r.err}}) {
        long length = 0, n;
        while (length < 4095 && (n = syscall<nr_read>(fd, word(text + length), 4095 - length)) > 0)
            length += n;
        text[length] = '\0';
        close(static_cast<int>(fd));
    }
    return r;
}

// What /proc shows of a live process: its command line, zeros as "|" but
// for the last (which Linux 2.2 does not show), and the clock ticks it has
// run for. A process that has ended, or is a zombie, shows nothing.
struct Process {
    bool alive = false;
    long ticks = 0;
    char cmdline[256] = {};
};
Process process(long pid)
{
    Process p;
    char path[32], stat[512];
    auto proc = [&](const char* name) {
        rt::Output out{-1, path, sizeof path - 1};
        rt::format(out, "/proc/%ld/%s", pid, name);
        path[out.used] = '\0';
        return path;
    };
    if (slurp(proc("stat"), stat, sizeof stat) <= 0)
        return p;
    char* s = stat;
    while (*s != '\0' && !(s[0] == ')' && s[1] == ' '))
        ++s;
    if (*s != ')' || s[2] == 'Z')
        return p;
    p.alive = true;
    // After the name: the state and ten more fields, then utime and stime.
    for (int spaces = 0; spaces < 12 && *s != '\0'; ++s)
        spaces += *s == ' ';
    int error = 0;
    p.ticks = rt::to_long(s, &s, error);
    p.ticks += rt::to_long(s, &s, error);
    long n = slurp(proc("cmdline"), p.cmdline, sizeof p.cmdline);
    if (n > 0 && p.cmdline[n - 1] == '\0')
        p.cmdline[--n] = '\0';
    for (long i = 0; i < n; ++i)
        if (p.cmdline[i] == '\0')
            p.cmdline[i] = '|';
    return p;
}

bool alive(long pid)
{
    return process(pid).alive;
}

void signal_to(long pid, long signal)
{
    syscall<nr_kill>(pid, signal);
}

// The live processes after FROM whose command line starts with TITLE. Here
// PIDs are handed out one after the other: nothing else is running.
int titled(const char* title, long from, long* pids = nullptr)
{
    int found = 0;
    for (long pid = from + 1; pid < from + 64; ++pid) {
        Process const p = process(pid);
        if (p.alive && starts_with(p.cmdline, title)) {
            if (pids != nullptr)
                pids[found] = pid;
            ++found;
        }
    }
    return found;
}

// The PID that the last process got: the next ones follow it.
long last_pid()
{
    long const pid = fork();
    if (pid == 0)
        exit(0);
    syscall<nr_waitpid>(pid, 0, 0);
    return pid;
}

// Waits up to TENTHS tenths of a second for PID to end; whether it has.
bool ends_within(long pid, int tenths)
{
    for (; tenths > 0 && alive(pid); --tenths)
        nap(100);
    return !alive(pid);
}

void listing(char* text, std::size_t size, const long* values)
{
    static const char* const descriptions[] = {
        "Max fraction of LRU list to examine for dirty blocks",
        "Max number of dirty blocks to write each time bdflush activated",
        "Num of clean buffers to be loaded onto free list by refill_freelist",
        "Dirty block threshold for activating bdflush in refill_freelist",
        "Percentage of cache to scan for free clusters",
        "Time for data buffers to age before flushing",
        "Time for non-data (dir, bitmap, etc) buffers to age before flushing",
        "Time buffer cache load average constant",
        "LAV ratio (used to determine threshold for buffer fratricide).",
    };
    rt::Output out{-1, text, size - 1};
    rt::format(out, "korrin version 1.4\n");
    for (int i = 0; i < 9; ++i)
        rt::format(out, "%d: %5ld %s\n", i, values[i], descriptions[i]);
    text[out.used] = '\0';
}

const char* first_line(char* text)
{
    for (char* p = text; *p != '\0'; ++p)
        if (*p == '\n')
            *p = '\0';
    return text;
}

void tuning(const long* values)
{
    char wanted[2048];
    Run r = run({korrin, "-d"});
    listing(wanted, sizeof wanted, values);
    check("-d: status", r.status, 0);
    check("-d lists the kernel's values", r.out, wanted);
    check("-d: nothing on stderr", r.err, "");

    r = run({korrin, "-7", "5", "-d"});
    long changed[9];
    for (int i = 0; i < 9; ++i)
        changed[i] = i == 7 ? 5 : values[i];
    listing(wanted, sizeof wanted, changed);
    check("-7 5 -d: status", r.status, 0);
    check("-7 5 -d: the new value is read back", r.out, wanted);

    r = run({korrin, "-1", "1000000"});
    check("a setting outside the range: status", r.status, 1);
    check("a setting outside the range is refused", r.err, "drennet: bdflush(5,1000000)=-1 22\n");

    r = run({korrin, "-h"});
    check("-h: status", r.status, 1);
    check("-h: the usage", first_line(r.err), "usage: /usr/sbin/korrin [-012345678] [-d] [-s sync-delay] [-f flush-delay]");
    r = run({korrin, "-9"});
    check("-9: status", r.status, 1);
    r = run({korrin, "-d", "-s"});
    check("-s without its argument: status", r.status, 1);
    check("-s without its argument", first_line(r.err), "Option -s requires an argument!");

    long const before = last_pid();
    r = run({korrin, "-d"}, true);
    check("nobody's -d is refused", r.err, "drennet:(0) bdflush(00000002,&d)=-1 1\nbdflush: Operation not permitted\n");
    r = run({korrin, "-f", "1"}, true);
    check("nobody: status", r.status, 0);
    check("nobody: one flush and one sync", r.err,
          "/usr/sbin/korrin: not run as superuser, bdflush() and sync() called.\n");
    check("nobody: nothing left", titled("", before), 0);
}

void daemons(const char* kind)
{
    bool const stays = !same(kind, "ends");
    long const before = last_pid();
    Run r = run({korrin, "-f", "1", "-s", "1"});
    check("the launch", r.status, 0);
    check("the launch is silent", r.err, "");
    nap(500);
    long update[2] = {}, kernel_daemon[2] = {};
    check("update (bdflush) is there", titled("update (bdflush)|", before, update), 1);
    check("the title fits in argv[0]", process(update[0]).cmdline, "update (bdflush)|-f|1|-s|1");
    int const daemon_processes = titled("bdflush (daemon)|", before, kernel_daemon);
    if (same(kind, "daemon")) {
        check("bdflush (daemon) stays in the kernel", daemon_processes, 1);
    } else {
        check("the kernel-daemon process is gone at once", daemon_processes, 0);
    }
    if (!stays) {
        check("the kernel ends the update process at its first flush", ends_within(update[0], 20), true);
        check("nothing left", titled("", before + 1), 0);
        return;
    }
    nap(3000);
    check("after four flush-delays: update (bdflush), flushing", process(update[0]).cmdline,
          "update (bdflush)|-f|1|-s|1");
    check("and sleeping between flushes: under 0.2 s of processor time", process(update[0]).ticks < 20, true);
    signal_to(update[0], sigterm);
    signal_to(update[0], sigint);
    nap(300);
    check("SIGTERM and SIGINT do not end it", alive(update[0]), true);

    int updates = 1;
    if (same(kind, "daemon")) {
        long const second = last_pid();
        r = run({korrin, "-f", "1", "-s", "1"});
        check("a second launch", r.status, 0);
        nap(500);
        check("a second update process", titled("update (bdflush)|", second, update + 1), 1);
        check("a second kernel-daemon process is refused (EBUSY)", titled("bdflush (daemon)|", second), 0);
        check("the first stays", alive(kernel_daemon[0]), true);
        updates = 2;
    }
    for (int i = 0; i < updates; ++i) {
        signal_to(update[i], sighup);
        check("SIGHUP ends the update process", ends_within(update[i], 10), true);
    }
    if (daemon_processes > 0) {
        signal_to(kernel_daemon[0], sighup);
        signal_to(kernel_daemon[0], sigterm);
        nap(300);
        check("the kernel's flush daemon outlives SIGHUP and SIGTERM", alive(kernel_daemon[0]), true);
        signal_to(kernel_daemon[0], sigkill);
        check("SIGKILL ends it", ends_within(kernel_daemon[0], 10), true);
    }
    check("nothing left", titled("", before + 1), 0);
}

void uptime(const char* moment)
{
    char text[64];
    slurp("/proc/uptime", text, sizeof text);
    char* p = text;
    while (*p != '\0' && *p != ' ')
        ++p;
    *p = '\0';
    std::printf("korrin-vm: %s at %s s\n", moment, text);
}

}

int main()
{
    // 1.2 and 2.0 have no serial console: the port itself, for everything.
    for (int fd = 0; fd < 3; ++fd) {
        close(fd);
        syscall<nr_open>(word("/dev/ttyS0"), 2);
    }
    syscall5(nr_mount, word("proc"), word("/proc"), word("proc"), 0xc0ed0000L, 0);
    uptime("start");

    char scenario[256];
    long values[9] = {};
    char kind[16] = {};
    if (slurp("/etc/korrin-scenario", scenario, sizeof scenario) > 0) {
        char* p = scenario;
        for (std::size_t i = 0; *p > ' ' && i < sizeof kind - 1; ++i)
            kind[i] = *p++;
        int error = 0;
        for (long& value : values)
            value = rt::to_long(p, &p, error);
    }
    tuning(values);
    daemons(kind);

    char names[6 * 65] = {};
    syscall<nr_uname>(word(names));
    uptime("end");
    std::printf("korrin on Linux %s: %d passed, %d failed\n", names + 2 * 65, passed, failed);
    sync();
    syscall<nr_reboot>(0xfee1dead, 672274793, 0x01234567);
    for (;;)
        nap(1000);
}
