#include "ToolOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace hxtool
{

namespace
{

// The operator's terminal, whatever the standard descriptors point at: the place a password
// tool asks its questions. -1 without a controlling terminal.
int OpenTerminal()
{
    return open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
}

} // namespace

int DivertDialogue()
{
    // Whatever the stream holds already belongs to the answers.
    fflush(stdout);
    int answers = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (answers < 0)
        return STDOUT_FILENO;

    int terminal = OpenTerminal();
    int dialogue = terminal >= 0 ? terminal : STDERR_FILENO;
    bool moved = dup2(dialogue, STDOUT_FILENO) == STDOUT_FILENO;
    if (terminal >= 0)
        close(terminal);
    if (!moved) {
        close(answers);
        return STDOUT_FILENO;
    }
    return answers;
}

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

void ReportWriteFailure(const char* tool, int error)
{
    fprintf(stderr, "%s: cannot write standard output: %s\n", tool, strerror(error));
}

} // namespace hxtool
