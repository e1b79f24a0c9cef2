// Stream: a tool's input as blocks of whole lines, and its answers in checked blocks. Short
// lines cost a read(2) and a write(2) per block, not per line, and every write is checked, so
// nothing is lost without a word. Both buffers are wiped: what passes through may be secrets.
#ifndef HXCONSOLE_TOOLS_STREAM_H
#define HXCONSOLE_TOOLS_STREAM_H

#include <cstddef>

namespace hxtool
{

// The first failed write is kept: every later Write and Flush fails at once; Error() says why.
class Output
{
  public:
    explicit Output(int fd) : m_fd(fd) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output();

    // Queues `size` bytes, writing the block out whenever it fills.
    bool Write(const char* data, size_t size);

    // Writes out whatever is queued. Call it before a question is asked, and before exit.
    bool Flush();

    // Flushes and closes the descriptor: a file system may report a failed write only then.
    bool Close();

    int Error() const
    {
        return m_error;
    }

  private:
    static const size_t kBlockSize = 64 * 1024;

    int m_fd;
    int m_error = 0;
    size_t m_used = 0;
    char m_block[kBlockSize];
};

// Input read in blocks of kReadBlock bytes at least and handed out, in place, as whole lines.
class LineReader
{
  public:
    static const size_t kReadBlock = 128 * 1024;

    explicit LineReader(int fd) : m_fd(fd) {}
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    ~LineReader();

    // Reads until it holds one whole line at least and hands out every whole line it holds:
    // `size` bytes at `lines`, each ending in '\n' (the last line of input gets one if it has
    // none), to change in place if need be; they stay until the next call. False at end of input
    // (Error() 0) or on a failure: ENOMEM for a line too long for memory, or the read's errno.
    bool Read(char*& lines, size_t& size);

    int Error() const
    {
        return m_error;
    }

  private:
    bool Grow();

    int m_fd;
    int m_error = 0;
    bool m_ended = false;
    char* m_buffer = nullptr;
    size_t m_capacity = 0;
    size_t m_start = 0;   // the first byte not handed out yet
    size_t m_end = 0;     // the end of the input read so far
    size_t m_touched = 0; // the most of the buffer that ever held input
};

// Writes all of `size` bytes to `fd`, going on after a short write or an interrupted call.
// Returns 0, or the errno of the write that failed (ENOSPC for a write that took nothing).
int WriteAll(int fd, const char* data, size_t size);

} // namespace hxtool

#endif
