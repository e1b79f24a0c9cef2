#include "Stream.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace hxtool
{

Output::Output(int fd) : m_fd(fd) {}

bool Output::Write(const char* data, size_t size)
{
    if (m_error != 0)
        return false;
    if (m_used + size > kBlockSize && !Flush())
        return false;
    // A piece larger than the block goes straight out rather than through it.
    if (size > kBlockSize)
        return WriteThrough(data, size);
    memcpy(m_block + m_used, data, size);
    m_used += size;
    return true;
}

bool Output::Flush()
{
    if (m_error != 0)
        return false;
    size_t used = m_used;
    m_used = 0;
    return WriteThrough(m_block, used);
}

bool Output::WriteThrough(const char* data, size_t size)
{
    m_error = WriteAll(m_fd, data, size);
    return m_error == 0;
}

int WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        // A regular file that takes nothing more is full, whatever write(2) chose to say.
        if (written == 0)
            return ENOSPC;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return 0;
}

} // namespace hxtool
