// SPDX-License-Identifier: GPL-2.0-or-later
// Standard output and standard error for korrin: output is written when its
// buffer (given by setvbuf) is full, when it is flushed and at exit; error,
// like glibc's, is unbuffered, each call one write.
#include "runtime/runtime.h"

#include <cerrno>
#include <cstdio>

namespace {

// Only their addresses are used: they tell the two streams apart.
FILE standard_files[2];

// Without a buffer (size 0) until setvbuf gives one.
rt::Output output{1, nullptr, 0};
rt::Output error{2, nullptr, 0};

rt::Output* stream(const FILE* file)
{
    return file == stdout ? &output : file == stderr ? &error : nullptr;
}

// A stream without a buffer takes the text in chunks of this one's size.
// Returns the bytes written, or EOF when a write failed.
int write_formatted(rt::Output& out, const char* format, std::va_list arguments)
{
    char chunk[256];
    rt::Output direct{out.fd, chunk, sizeof chunk};
    rt::Output& to = out.size != 0 ? out : direct;
    std::size_t const before = to.count;
    rt::vformat(to, format, arguments);
    if (&to == &direct)
        rt::flush(direct);
    return to.failed ? EOF : static_cast<int>(to.count - before);
}

}

namespace rt {

void flush_standard_output()
{
    flush(output);
}

}

extern "C" {

FILE* stdout = &standard_files[0];
FILE* stderr = &standard_files[1];

int setvbuf(FILE* file, char* buffer, int mode, std::size_t size) noexcept
{
    rt::Output* const out = stream(file);
    if (out == nullptr || (mode != _IONBF && (buffer == nullptr || size == 0))) {
        errno = EINVAL;
        return EOF;
    }
    rt::flush(*out);
    *out = mode == _IONBF ? rt::Output{out->fd, nullptr, 0} : rt::Output{out->fd, buffer, size};
    out->line_buffered = mode == _IOLBF;
    return 0;
}

int fflush(FILE* file)
{
    rt::Output* const out = file == nullptr ? &output : stream(file);
    return out != nullptr && rt::flush(*out) ? 0 : EOF;
}

int vfprintf(FILE* file, const char* format, std::va_list arguments)
{
    rt::Output* const out = stream(file);
    return out == nullptr ? EOF : write_formatted(*out, format, arguments);
}

int fprintf(FILE* file, const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    int const result = vfprintf(file, format, arguments);
    va_end(arguments);
    return result;
}

int printf(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    int const result = vfprintf(stdout, format, arguments);
    va_end(arguments);
    return result;
}

int fputs(const char* text, FILE* file)
{
    return fprintf(file, "%s", text);
}

// glibc's words for errno, after the text and a colon when there is one, in
// one write.
void perror(const char* text)
{
    int const number = errno;
    const char* const message = rt::error_text(number);
    bool const prefix = text != nullptr && *text != '\0';
    char chunk[256];
    rt::Output out{error.fd, chunk, sizeof chunk};
    rt::format(out, "%s%s", prefix ? text : "", prefix ? ": " : "");
    if (message != nullptr)
        rt::format(out, "%s\n", message);
    else
        rt::format(out, "Unknown error %d\n", number);
    rt::flush(out);
}

}
