#include "Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace hxtool
{

// The reader's buffer stays within half of the address space, so no size can wrap and every
// read(2) fits in ssize_t. Where size_t has 32 bits, a line of 2 GiB or more does not fit.
const size_t kMostCapacity = SIZE_MAX / 2 + 1;

Output::~Output()
{
    explicit_bzero(m_block, sizeof m_block);
}

bool Output::Write(const char* data, size_t size)
{
    if (m_error != 0 || (m_used + size > kBlockSize && !Flush()))
        return false;
    // A piece larger than the block goes straight out rather than through it.
    if (size > kBlockSize)
        return (m_error = WriteAll(m_fd, data, size)) == 0;
    memcpy(m_block + m_used, data, size);
    m_used += size;
    return true;
}

bool Output::Flush()
{
    if (m_error != 0)
        return false;
    m_error = WriteAll(m_fd, m_block, m_used);
    m_used = 0;
    return m_error == 0;
}

bool Output::Close()
{
    if (!Flush())
        return false;
    if (close(m_fd) != 0)
        m_error = errno;
    return m_error == 0;
}

LineReader::~LineReader()
{
    if (m_buffer == nullptr)
        return;
    explicit_bzero(m_buffer, m_touched);
    munmap(m_buffer, m_capacity);
}

bool LineReader::Read(char*& lines, size_t& size)
{
    // The unfinished line moves to the front, where the next read continues it. It holds no
    // newline, so only what is read after it is searched.
    if (m_start > 0)
        memmove(m_buffer, m_buffer + m_start, m_end - m_start);
    m_end -= m_start;
    m_start = 0;
    for (size_t searched = m_end; !m_ended; searched = m_end) {
        if (m_capacity - m_end < kReadBlock / 2 && !Grow()) {
            m_error = ENOMEM;
            return false;
        }
        // One byte stays spare for the newline of a last line that has none.
        ssize_t got = read(m_fd, m_buffer + m_end, m_capacity - m_end - 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            m_error = errno;
            return false;
        }
        if (got == 0) {
            m_ended = true;
            if (m_end == 0)
                return false;
            m_buffer[m_end++] = '\n';
        }
        m_end += static_cast<size_t>(got);
        m_touched = std::max(m_touched, m_end);
        const char* last =
            static_cast<const char*>(memrchr(m_buffer + searched, '\n', m_end - searched));
        if (last != nullptr) {
            lines = m_buffer;
            size = m_start = static_cast<size_t>(last + 1 - m_buffer);
            return true;
        }
    }
    return false;
}

// The buffer doubles, so a long line costs few reads. mremap moves the pages, not copying them:
// no copy of the input is left unwiped, and memory stays near the size of the longest line.
bool LineReader::Grow()
{
    if (m_capacity > kMostCapacity / 2)
        return false;
    const size_t capacity = m_capacity == 0 ? kReadBlock : 2 * m_capacity;
    void* grown = m_buffer == nullptr ? mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                                      : mremap(m_buffer, m_capacity, capacity, MREMAP_MAYMOVE);
    if (grown == MAP_FAILED)
        return false;
    m_buffer = static_cast<char*>(grown);
    m_capacity = capacity;
    return true;
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
