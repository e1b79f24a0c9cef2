// ToolOutput: where a tool's answers and the library's dialogue go.
//
// The console writes its prompts, lists and complaints on standard output. A tool whose
// answer is captured (`secret=$(hxscramble)`) wants standard output to carry that answer
// alone, while the operator still sees every question. DivertDialogue moves descriptor 1 to
// the operator and hands back a descriptor for the answers; Output then writes the answers
// there in large blocks and checks every write, so that nothing is lost without a word.
#ifndef HXCONSOLE_TOOLS_TOOLOUTPUT_H
#define HXCONSOLE_TOOLS_TOOLOUTPUT_H

#include <cstddef>
#include <string>

namespace hxtool
{

// Sends what is written on standard output from now on to the controlling terminal, or to
// standard error when there is none (a cron job, a detached process), and returns a
// descriptor that still reaches the original standard output, for the answers. Returns
// STDOUT_FILENO when the descriptors cannot be moved: then dialogue and answers share it.
int DivertDialogue();

// Answers written to one descriptor through a fixed block, so that a stream of short lines
// costs a write(2) per block, not per line. The first failed or short write is kept: every
// later Write and Flush returns false at once, and Error() tells why.
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

// The message for an answer that could not be written:
// "<tool>: cannot write standard output: <reason>" on standard error.
void ReportWriteFailure(const char* tool, int error);

} // namespace hxtool

#endif
