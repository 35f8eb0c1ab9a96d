// SPDX-License-Identifier: GPL-2.0-or-later
// The init of a real old kernel (Linux 1.2 to 2.4, on i386 and the old
// ports) booted under QEMU: runs /usr/sbin/korrin as an administrator would
// and reports each check on the console, then restarts the machine, which
// ends QEMU. It is built on korrin's own runtime, since no C library of
// today starts on these kernels, and makes only calls that Linux 1.2 has.
//
// /etc/korrin-console names where to report: a device (the serial port on
// 1.2 and 2.0, which have no serial console), or a file on the root disk
// (PowerPC 2.2, whose console shows nothing), which then gets the kernel's
// log too and is written out before the restart.
//
// /etc/korrin-scenario says what this kernel does with the flush call,
// "daemon" (the daemon call keeps its caller: 1.2), "flush" (it returns at
// once, and flushes return 0: 2.0, 2.2) or "ends" (the first flush ends the
// caller: 2.4), the kernel's clock ticks a second, then the nine values
// that the display lists after boot.
//
// /etc/korrin-power, in its place, makes the run a power cut's first half:
// WORKLOAD, SIZE, the data disk's device and korrin's arguments, or "-" for
// no korrin. The data disk is mounted and synced, korrin started with those
// arguments (if any), and a second later the workload begins:
// - "write": SIZE bytes to a new file and 4 kB over an existing one,
//   without a sync; then init says so and waits for the power to go;
// - "fill": the same, a write larger than the memory, and then what is left
//   of korrin's processes;
// - "stream": the same while a child streams data to a third file, made
//   anew at every 32 MB; "record": while a child writes one file for good,
//   64 kB every tenth of a second;
// - "idle", "rewrite", "append": init says it begins, then writes nothing,
//   or every second 4 kB over the existing file, or 512 bytes at the end of
//   a log, while the host counts what the disk receives.
// Where the report is a file, a line that says it is about to write is
// synced before the write, for the host to read from the disk.
#include "runtime/runtime.h"
#include "runtime/sys.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

using namespace rt::arch;

enum : long { sighup = 1, sigint = 2, sigkill = 9, sigterm = 15 };

template <long n>
long sys(long a = 0, long b = 0, long c = 0, long d = 0, long e = 0)
{
    return raw(call5<n>(a, b, c, d, e));
}

// Two descriptors; mips, sparc and alpha answer them in two registers, but
// alpha's 2.4 leaves its second (a4) as it was: there the write end is the
// next descriptor that takes a write.
void open_pipe(long* fds)
{
    if constexpr (pipe_in_registers) {
        long second = -1;
        fds[0] = raw(call5<nr_pipe>(0, 0, 0, 0, -1, &second));
        fds[1] = second;
        for (long fd = fds[0] + 1; fds[1] < 0 && fd < 32; ++fd)
            if (sys<nr_write>(fd, reinterpret_cast<long>(""), 0) == 0)
                fds[1] = fd;
    } else {
        int pair[2] = {-1, -1};
        sys<nr_pipe>(reinterpret_cast<long>(pair));
        fds[0] = pair[0];
        fds[1] = pair[1];
    }
}

long wait_for(long pid, int* status)
{
    return sys<nr_wait4>(pid, reinterpret_cast<long>(status), 0, 0);
}

// A 32-bit word as the kernel reads an int: sign-extended where a long is
// wider (alpha).
long as_int(unsigned value)
{
    return static_cast<int>(value);
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

// Unsigned arithmetic: alpha's runtime divides only so.
void nap(unsigned long milliseconds)
{
    Timeval timeout{};
    timeout.seconds = static_cast<decltype(timeout.seconds)>(milliseconds / 1000);
    timeout.microseconds = static_cast<decltype(timeout.microseconds)>(milliseconds % 1000 * 1000);
    select_timeout(&timeout);
}

// A small file whole, zeros and all; its length, or -1.
long slurp(const char* path, char* buffer, long size)
{
    long const fd = sys<nr_open>(word(path), O_RDONLY);
    if (fd < 0)
        return -1;
    long length = 0, n;
    while (length < size - 1 && (n = sys<nr_read>(fd, word(buffer + length), size - 1 - length)) > 0)
        length += n;
    close(static_cast<int>(fd));
    buffer[length] = '\0';
    return length;
}

struct Run {
    char out[4096], err[4096];
    long status;
};

// Runs korrin with this argument vector (argv[0] its path, ended by a null
// entry), as nobody if asked, waits for it and keeps what it printed.
Run run(const char* const* argv, bool nobody = false)
{
    long out[2], err[2];
    open_pipe(out);
    open_pipe(err);
    long const pid = fork();
    if (pid == 0) {
        sys<nr_dup2>(out[1], 1);
        sys<nr_dup2>(err[1], 2);
        for (long fd : {out[0], out[1], err[0], err[1]})
            close(static_cast<int>(fd));
        if (nobody) {
            sys<nr_setgid>(65534);
            sys<nr_setuid>(65534);
        }
        const char* const environment[] = {"TERM=dumb", nullptr};
        sys<nr_execve>(word(korrin), word(argv), word(environment));
        exit(127);
    }
    close(static_cast<int>(out[1]));
    close(static_cast<int>(err[1]));
    // What it printed is all in the pipes once it has ended; they are read
    // without waiting for their end, which mips 2.4 never reports here once
    // a writer's last descriptor has gone with its exit.
    Run r;
    int status = 0;
    wait_for(pid, &status);
    r.status = (status & 0x7f) != 0 ? -(status & 0x7f) : (status >> 8) & 0xff;
    for (auto [fd, text] : {std::pair{out[0], r.out}, std::pair{err[0], r.err}}) {
        long length = 0, n;
        sys<nr_fcntl>(fd, F_SETFL, O_NONBLOCK);
        while (length < 4095 && (n = sys<nr_read>(fd, word(text + length), 4095 - length)) > 0)
            length += n;
        text[length] = '\0';
        close(static_cast<int>(fd));
    }
    return r;
}

Run run(std::initializer_list<const char*> arguments, bool nobody = false)
{
    const char* argv[8] = {};
    int argc = 0;
    for (const char* argument : arguments)
        argv[argc++] = argument;
    return run(argv, nobody);
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
    sys<nr_kill>(pid, signal);
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
    wait_for(pid, nullptr);
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

char* first_line(char* text)
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

void daemons(const char* kind, long hz)
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
    check("and sleeping between flushes: under 0.2 s of processor time", process(update[0]).ticks * 5 < hz, true);
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

// The seconds since boot, as /proc/uptime gives them.
const char* now()
{
    static char text[64];
    slurp("/proc/uptime", text, sizeof text);
    char* p = text;
    while (*p != '\0' && *p != ' ')
        ++p;
    *p = '\0';
    return text;
}

void uptime(const char* moment)
{
    std::printf("korrin-vm: %s at %s s\n", moment, now());
}

// Fills SIZE bytes with the alphabet from FIRST, as the host does.
void pattern(char* buffer, unsigned long size, char first)
{
    for (unsigned long i = 0; i < size; ++i)
        buffer[i] = static_cast<char>(first + i % 26);
}

bool write_file(const char* path, int flags, char first, long size)
{
    // 4 kB a write, each going on with the alphabet where the last ended.
    static char chunk[4096 + 26];
    pattern(chunk, sizeof chunk, first);
    long const fd = sys<nr_open>(word(path), flags, 0644);
    if (fd < 0)
        return false;
    bool written = true;
    for (unsigned long done = 0; done < static_cast<unsigned long>(size) && written;) {
        unsigned long const left = static_cast<unsigned long>(size) - done;
        long const part = static_cast<long>(left < 4096 ? left : 4096);
        written = sys<nr_write>(fd, word(chunk + done % 26), part) == part;
        done += static_cast<unsigned long>(part);
    }
    close(static_cast<int>(fd));
    return written;
}

// The next word of P, ended with a zero; P moves past it and its blanks.
char* next_word(char*& p)
{
    char* const word = p;
    while (*p > ' ')
        ++p;
    while (*p == ' ')
        *p++ = '\0';
    return word;
}

// The streaming writer, for good: 64 kB a write to /data/stream, made anew
// at every 32 MB, as much as the guest's whole memory, so that the disk
// does not fill. It says how far it has come at every 4 MB, and what a
// write that came back short returned, before it starts the file anew.
// The recorder instead writes one file, /data/record, for as long as the
// disk has room: 64 kB every tenth of a second, as a program that records
// or logs does, and stops at the first write that comes back short.
void stream(bool record)
{
    if (fork() != 0)
        return;
    static char chunk[65536 + 26];
    pattern(chunk, sizeof chunk, 'a');
    if (record) {
        long const fd = sys<nr_open>(word("/data/record"), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        unsigned long done = 0;
        long written = fd;
        while (fd >= 0 && (written = sys<nr_write>(fd, word(chunk + done % 26), 65536)) == 65536) {
            done += 65536;
            if (done % (4UL << 20) == 0)
                std::printf("korrin-vm: recorded %lu kB at %s s\n", done >> 10, now());
            nap(100);
        }
        std::printf("korrin-vm: record: %s returned %ld after %lu kB at %s s\n", fd < 0 ? "open" : "a write", written,
                    done >> 10, now());
        for (;;)
            nap(1000);
    }
    for (;;) {
        long const fd = sys<nr_open>(word("/data/stream"), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        unsigned long done = 0;
        long written = fd;
        while (fd >= 0 && done < 32UL << 20 && (written = sys<nr_write>(fd, word(chunk + done % 26), 65536)) == 65536) {
            done += 65536;
            if (done % (4UL << 20) == 0)
                std::printf("korrin-vm: streamed %lu kB at %s s\n", done >> 10, now());
        }
        close(static_cast<int>(fd));
        if (done < 32UL << 20) {
            std::printf("korrin-vm: stream: %s returned %ld after %lu kB at %s s\n", fd < 0 ? "open" : "a write",
                        written, done >> 10, now());
            nap(1000);
        }
    }
}

// Every second, 4 kB over the file "old" (rewrite) or 512 bytes at the end
// of "log" (append), for good.
[[noreturn]] void every_second(bool rewrite)
{
    static char text[4096];
    pattern(text, sizeof text, 'A');
    for (;;) {
        long const fd = rewrite ? sys<nr_open>(word("/data/old"), O_WRONLY)
                                : sys<nr_open>(word("/data/log"), O_WRONLY | O_CREAT | O_APPEND, 0644);
        sys<nr_write>(fd, word(text), rewrite ? 4096 : 512);
        close(static_cast<int>(fd));
        nap(1000);
    }
}

// What the guest does before a power cut, or while the host counts what
// its data disk receives (see the top of this file).
[[noreturn]] void power(char* setting, bool to_file)
{
    int error = 0;
    char* p = setting;
    const char* const workload = next_word(p);
    long const size = rt::to_long(p, &p, error);
    while (*p == ' ')
        ++p;
    const char* const disk = next_word(p);
    bool const start = !(p[0] == '-' && p[1] <= ' ');
    const char* argv[12] = {korrin};
    for (int argc = 1; start && argc < 11 && *p > ' ';)
        argv[argc++] = next_word(p);
    if (sys<nr_mount>(word(disk), word("/data"), word("ext2"), 0xc0ed0000L, 0) != 0)
        std::printf("korrin-power: cannot mount %s\n", disk);
    // The mount's own writes go before korrin starts: from here on the disk
    // has nothing to write but what the workload gives it.
    sync();
    long const before = last_pid();
    if (start) {
        Run const r = run(argv);
        std::printf("korrin-power: korrin exited with %ld%s%s\n", r.status, r.err[0] != '\0' ? ": " : "", r.err);
        nap(1000);
    }
    bool const streams = same(workload, "stream") || same(workload, "record");
    if (!same(workload, "write") && !streams && !same(workload, "fill")) {
        uptime("measuring");
        if (same(workload, "rewrite") || same(workload, "append"))
            every_second(same(workload, "rewrite"));
        for (;;)
            nap(1000);
    }
    if (streams) {
        stream(same(workload, "record"));
        nap(1000);
    }
    if (to_file) {
        // The host reads this line from the disk as the guest runs.
        uptime("ready");
        sync();
    }
    uptime("writing");
    bool const made = write_file("/data/new", O_WRONLY | O_CREAT | O_TRUNC, 'a', size);
    bool const over = write_file("/data/old", O_WRONLY, 'A', 4096);
    // What a writer that filled the memory has left of korrin's processes.
    if (same(workload, "fill"))
        std::printf("korrin-vm: after the write, %d update (bdflush), %d update (sync), %d bdflush (daemon)\n",
                    titled("update (bdflush)", before), titled("update (sync)", before),
                    titled("bdflush (daemon)", before));
    uptime(made && over ? "written" : "cannot write");
    for (;;)
        nap(1000);
}

// Where the report goes; a file is made anew.
bool open_console(const char* path)
{
    bool const file = !starts_with(path, "/dev/");
    for (int fd = 0; fd < 3; ++fd) {
        close(fd);
        sys<nr_open>(word(path), file ? O_WRONLY | O_CREAT | (fd == 0 ? O_TRUNC : 0) : O_RDWR, 0644);
    }
    return file;
}

// The kernel's log, after the report, where nothing else would show it.
void kernel_log()
{
    static char text[16384];
    long const length = sys<nr_syslog>(3, word(text), sizeof text);
    if (length > 0) {
        std::printf("--- the kernel's log\n");
        sys<nr_write>(1, word(text), length);
    }
}

}

int main()
{
    char console[64] = "/dev/ttyS0";
    if (slurp("/etc/korrin-console", console, sizeof console) > 0)
        first_line(console);
    bool const to_file = open_console(console);
    sys<nr_mount>(word("proc"), word("/proc"), word("proc"), 0xc0ed0000L, 0);
    uptime("start");

    char scenario[256];
    if (slurp("/etc/korrin-power", scenario, sizeof scenario) > 0)
        power(first_line(scenario), to_file);
    long values[9] = {}, hz = 100;
    char kind[16] = {};
    if (slurp("/etc/korrin-scenario", scenario, sizeof scenario) > 0) {
        char* p = scenario;
        for (std::size_t i = 0; *p > ' ' && i < sizeof kind - 1; ++i)
            kind[i] = *p++;
        int error = 0;
        hz = rt::to_long(p, &p, error);
        for (long& value : values)
            value = rt::to_long(p, &p, error);
    }
    tuning(values);
    daemons(kind, hz);

    char names[6 * 65] = {};
    sys<nr_uname>(word(names));
    uptime("end");
    std::printf("korrin on Linux %s: %d passed, %d failed\n", names + 2 * 65, passed, failed);
    if (to_file)
        kernel_log();
    sync();
    sys<nr_reboot>(as_int(0xfee1dead), 672274793, 0x01234567);
    for (;;)
        nap(1000);
}
