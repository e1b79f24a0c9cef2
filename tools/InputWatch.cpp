// Defines read(2) in the executable. The dynamic linker binds the library's calls of `read` to
// the first definition it finds, and the executable comes before libc (and before any
// sanitizer runtime); this one notes the result for descriptor 0 and hands every call on to
// the definition it hides. libc's own streams read through an internal entry point and are not
// seen.
//
// <unistd.h> is left out on purpose: with _FORTIFY_SOURCE it defines an inline read of its
// own, which would clash with this one.
#include "InputWatch.h"

#include <cerrno>
#include <dlfcn.h>
#include <sys/types.h>

namespace
{

hxask::LastRead g_lastInputRead;

using ReadFunction = ssize_t (*)(int, void*, size_t);

ReadFunction HiddenRead()
{
    static ReadFunction next = reinterpret_cast<ReadFunction>(dlsym(RTLD_NEXT, "read"));
    return next;
}

} // namespace

extern "C" ssize_t read(int fd, void* buf, size_t count)
{
    ReadFunction next = HiddenRead();
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    ssize_t result = next(fd, buf, count);
    if (fd == 0) {
        int error = errno;
        g_lastInputRead.result = result;
        g_lastInputRead.error = result < 0 ? error : 0;
    }
    return result;
}

namespace hxask
{

LastRead LastInputRead()
{
    return g_lastInputRead;
}

} // namespace hxask
