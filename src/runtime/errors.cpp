// SPDX-License-Identifier: GPL-2.0-or-later
#include "runtime/runtime.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace rt {

namespace {

// glibc 2.36's texts (Debian 12), each ended by a zero, in the order of the
// x86 error numbers from 0 to 133, then the one for a separate EDEADLOCK; an
// empty one where glibc says "Unknown error N" on x86. Walked, not indexed:
// only a failure reads them, and a table of pointers would cost more than
// the walk ever will.
constexpr char texts[] =
    "Success\0"
    "Operation not permitted\0"
    "No such file or directory\0"
    "No such process\0"
    "Interrupted system call\0"
    "Input/output error\0"
    "No such device or address\0"
    "Argument list too long\0"
    "Exec format error\0"
    "Bad file descriptor\0"
    "No child processes\0"
    "Resource temporarily unavailable\0"
    "Cannot allocate memory\0"
    "Permission denied\0"
    "Bad address\0"
    "Block device required\0"
    "Device or resource busy\0"
    "File exists\0"
    "Invalid cross-device link\0"
    "No such device\0"
    "Not a directory\0"
    "Is a directory\0"
    "Invalid argument\0"
    "Too many open files in system\0"
    "Too many open files\0"
    "Inappropriate ioctl for device\0"
    "Text file busy\0"
    "File too large\0"
    "No space left on device\0"
    "Illegal seek\0"
    "Read-only file system\0"
    "Too many links\0"
    "Broken pipe\0"
    "Numerical argument out of domain\0"
    "Numerical result out of range\0"
    "Resource deadlock avoided\0"
    "File name too long\0"
    "No locks available\0"
    "Function not implemented\0"
    "Directory not empty\0"
    "Too many levels of symbolic links\0"
    "\0"
    "No message of desired type\0"
    "Identifier removed\0"
    "Channel number out of range\0"
    "Level 2 not synchronized\0"
    "Level 3 halted\0"
    "Level 3 reset\0"
    "Link number out of range\0"
    "Protocol driver not attached\0"
    "No CSI structure available\0"
    "Level 2 halted\0"
    "Invalid exchange\0"
    "Invalid request descriptor\0"
    "Exchange full\0"
    "No anode\0"
    "Invalid request code\0"
    "Invalid slot\0"
    "\0"
    "Bad font file format\0"
    "Device not a stream\0"
    "No data available\0"
    "Timer expired\0"
    "Out of streams resources\0"
    "Machine is not on the network\0"
    "Package not installed\0"
    "Object is remote\0"
    "Link has been severed\0"
    "Advertise error\0"
    "Srmount error\0"
    "Communication error on send\0"
    "Protocol error\0"
    "Multihop attempted\0"
    "RFS specific error\0"
    "Bad message\0"
    "Value too large for defined data type\0"
    "Name not unique on network\0"
    "File descriptor in bad state\0"
    "Remote address changed\0"
    "Can not access a needed shared library\0"
    "Accessing a corrupted shared library\0"
    ".lib section in a.out corrupted\0"
    "Attempting to link in too many shared libraries\0"
    "Cannot exec a shared library directly\0"
    "Invalid or incomplete multibyte or wide character\0"
    "Interrupted system call should be restarted\0"
    "Streams pipe error\0"
    "Too many users\0"
    "Socket operation on non-socket\0"
    "Destination address required\0"
    "Message too long\0"
    "Protocol wrong type for socket\0"
    "Protocol not available\0"
    "Protocol not supported\0"
    "Socket type not supported\0"
    "Operation not supported\0"
    "Protocol family not supported\0"
    "Address family not supported by protocol\0"
    "Address already in use\0"
    "Cannot assign requested address\0"
    "Network is down\0"
    "Network is unreachable\0"
    "Network dropped connection on reset\0"
    "Software caused connection abort\0"
    "Connection reset by peer\0"
    "No buffer space available\0"
    "Transport endpoint is already connected\0"
    "Transport endpoint is not connected\0"
    "Cannot send after transport endpoint shutdown\0"
    "Too many references: cannot splice\0"
    "Connection timed out\0"
    "Connection refused\0"
    "Host is down\0"
    "No route to host\0"
    "Operation already in progress\0"
    "Operation now in progress\0"
    "Stale file handle\0"
    "Structure needs cleaning\0"
    "Not a XENIX named type file\0"
    "No XENIX semaphores available\0"
    "Is a named type file\0"
    "Remote I/O error\0"
    "Disk quota exceeded\0"
    "No medium found\0"
    "Wrong medium type\0"
    "Operation canceled\0"
    "Required key not available\0"
    "Key has expired\0"
    "Key has been revoked\0"
    "Key was rejected by service\0"
    "Owner died\0"
    "State not recoverable\0"
    "Operation not possible due to RF-kill\0"
    "Memory page has hardware error\0"
    "File locking deadlock error\0"
    ;

// This machine's number for each text, by its name in the machine's own
// headers: most machines number them as x86 does, but mips, alpha and sparc
// do not. 0 where the text has no number here.
constexpr unsigned short numbers[] = {
    0,
    EPERM, ENOENT, ESRCH, EINTR, EIO, ENXIO, E2BIG, ENOEXEC, EBADF, ECHILD, EAGAIN, ENOMEM, EACCES,
    EFAULT, ENOTBLK, EBUSY, EEXIST, EXDEV, ENODEV, ENOTDIR, EISDIR, EINVAL, ENFILE, EMFILE, ENOTTY,
    ETXTBSY, EFBIG, ENOSPC, ESPIPE, EROFS, EMLINK, EPIPE, EDOM, ERANGE, EDEADLK, ENAMETOOLONG,
    ENOLCK, ENOSYS, ENOTEMPTY, ELOOP, 0, ENOMSG, EIDRM, ECHRNG, EL2NSYNC, EL3HLT, EL3RST, ELNRNG,
    EUNATCH, ENOCSI, EL2HLT, EBADE, EBADR, EXFULL, ENOANO, EBADRQC, EBADSLT, 0, EBFONT, ENOSTR,
    ENODATA, ETIME, ENOSR, ENONET, ENOPKG, EREMOTE, ENOLINK, EADV, ESRMNT, ECOMM, EPROTO, EMULTIHOP,
    EDOTDOT, EBADMSG, EOVERFLOW, ENOTUNIQ, EBADFD, EREMCHG, ELIBACC, ELIBBAD, ELIBSCN, ELIBMAX,
    ELIBEXEC, EILSEQ, ERESTART, ESTRPIPE, EUSERS, ENOTSOCK, EDESTADDRREQ, EMSGSIZE, EPROTOTYPE,
    ENOPROTOOPT, EPROTONOSUPPORT, ESOCKTNOSUPPORT, EOPNOTSUPP, EPFNOSUPPORT, EAFNOSUPPORT,
    EADDRINUSE, EADDRNOTAVAIL, ENETDOWN, ENETUNREACH, ENETRESET, ECONNABORTED, ECONNRESET, ENOBUFS,
    EISCONN, ENOTCONN, ESHUTDOWN, ETOOMANYREFS, ETIMEDOUT, ECONNREFUSED, EHOSTDOWN, EHOSTUNREACH,
    EALREADY, EINPROGRESS, ESTALE, EUCLEAN, ENOTNAM, ENAVAIL, EISNAM, EREMOTEIO, EDQUOT, ENOMEDIUM,
    EMEDIUMTYPE, ECANCELED, ENOKEY, EKEYEXPIRED, EKEYREVOKED, EKEYREJECTED, EOWNERDEAD,
    ENOTRECOVERABLE, ERFKILL, EHWPOISON,
    EDEADLOCK != EDEADLK ? EDEADLOCK : 0,
};

constexpr unsigned count = sizeof numbers / sizeof numbers[0];

constexpr bool one_number_a_text()
{
    // The literal's own terminating zero ends no text.
    return std::count(std::begin(texts), std::end(texts), '\0') - 1 == count;
}
static_assert(one_number_a_text());

// Numbered as on x86: the number is the index, and the table is not needed.
constexpr bool x86_numbers()
{
    for (unsigned i = 0; i < count; ++i)
        if (numbers[i] != 0 && numbers[i] != i)
            return false;
    return numbers[count - 1] == 0;
}
#if defined(__i386__) || defined(__x86_64__)
static_assert(x86_numbers(), "x86's numbers, in x86's order");
#endif

}

const char* error_text(int number)
{
    if (number < 0)
        return nullptr;
    unsigned index = 0;
    if constexpr (x86_numbers()) {
        // The last text is a separate EDEADLOCK's, which x86 has not.
        if (number >= static_cast<int>(count) - 1)
            return nullptr;
        index = static_cast<unsigned>(number);
    } else if (number != 0) {
        while (++index < count && numbers[index] != number) {
        }
        if (index == count)
            return nullptr;
    }
    const char* text = texts;
    for (; index > 0; --index)
        while (*text++ != '\0')
            ;
    return *text != '\0' ? text : nullptr;
}

}
