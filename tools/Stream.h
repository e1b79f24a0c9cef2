// Stream: a tool's answers on a descriptor, in checked blocks.
//
// A stream of short results costs a write(2) per block, not per line, and every write is
// checked, so that nothing is lost without a word.
#ifndef HXCONSOLE_TOOLS_STREAM_H
#define HXCONSOLE_TOOLS_STREAM_H

#include <cstddef>
#include <string>

namespace hxtool
{

// Answers written to one descriptor through a fixed block. The first failed or short write
// is kept: every later Write and Flush returns false at once, and Error() tells why.
class Output
{
  public:
    explicit Output(int fd);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Queues `size` bytes, writing the block out whenever it fills.
    bool Write(const char* data, size_t size);
    bool Write(const std::string& text)
    {
        return Write(text.data(), text.size());
    }

    // Writes out whatever is queued. Call it before a question is asked, and before exit.
    bool Flush();

    int Error() const
    {
        return m_error;
    }

  private:
    static const size_t kBlockSize = 64 * 1024;

    bool WriteThrough(const char* data, size_t size);

    int m_fd;
    int m_error = 0;
    size_t m_used = 0;
    char m_block[kBlockSize];
};

// Writes all of `size` bytes to `fd`, going on after a short write or an interrupted call.
// Returns 0, or the errno of the write that failed (ENOSPC for a write that took nothing).
int WriteAll(int fd, const char* data, size_t size);

} // namespace hxtool

#endif
