// Defines read(2) in the executable. The dynamic linker binds the library's calls of `read` to
// the first definition it finds, and the executable comes before libc (and before any
// sanitizer runtime); this one hands every call on to the definition it hides, ends reads of
// descriptor 0 at a newline and notes their result. libc's own streams read through an
// internal entry point and are not seen.
//
// With _FORTIFY_SOURCE, <unistd.h> defines an inline read of its own, which would clash with
// this one: the checks are left out of this file.
#undef _FORTIFY_SOURCE

#include "InputWatch.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace
{

hxask::LastRead g_lastInputRead;

using ReadFunction = ssize_t (*)(int, void*, size_t);

ReadFunction HiddenRead()
{
    static ReadFunction next = reinterpret_cast<ReadFunction>(dlsym(RTLD_NEXT, "read"));
    return next;
}

// A pipe cannot give back what was read past the newline: a byte at a time.
ssize_t ReadBytewise(ReadFunction next, int fd, char* buf, size_t count)
{
    size_t got = 0;
    while (got < count) {
        ssize_t result = next(fd, buf + got, 1);
        if (result <= 0)
            return got > 0 ? static_cast<ssize_t>(got) : result;
        if (buf[got++] == '\n')
            break;
    }
    return static_cast<ssize_t>(got);
}

// One read of at most `count` bytes that ends at the first newline.
ssize_t ReadToNewline(ReadFunction next, int fd, char* buf, size_t count)
{
    // Canonical mode hands out one line at most, and keeps the rest of it for the next read.
    if (count == 0 || isatty(fd))
        return next(fd, buf, count);
    off_t start = lseek(fd, 0, SEEK_CUR);
    if (start < 0)
        return ReadBytewise(next, fd, buf, count);
    ssize_t got = next(fd, buf, count);
    if (got <= 0)
        return got;
    const char* newline = static_cast<const char*>(memchr(buf, '\n', static_cast<size_t>(got)));
    if (newline == nullptr)
        return got;
    // What follows the newline is the next question's: the offset goes back to it.
    ssize_t line = newline - buf + 1;
    if (line < got && lseek(fd, start + line, SEEK_SET) < 0)
        return got;
    return line;
}

} // namespace

extern "C" ssize_t read(int fd, void* buf, size_t count)
{
    ReadFunction next = HiddenRead();
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (fd != 0)
        return next(fd, buf, count);
    ssize_t result = ReadToNewline(next, fd, static_cast<char*>(buf), count);
    g_lastInputRead.result = result;
    g_lastInputRead.error = result < 0 ? errno : 0;
    return result;
}

namespace hxask
{

LastRead LastInputRead()
{
    return g_lastInputRead;
}

} // namespace hxask
