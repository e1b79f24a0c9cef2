#include "LineInput.h"
#include "TerminalGuard.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace hxconsole
{

namespace
{

// A hidden read takes at most 31 characters, newline included, plus fgets's terminator.
const int kHiddenLineSize = 32;

// Terminal and stream failures are reported as one line on standard error, so that a tool
// whose standard output is captured still shows the operator why the question failed.
void ReportFailure(const char* call, int error)
{
    fprintf(stderr, "%s failed with error %d : '%s'\n", call, error, strerror(error));
}

// glibc leaves what fgets took in the stream's buffer, before the read pointer, until the next
// refill overwrites it. Bytes after the read pointer are still to be read and stay.
void WipeConsumedInput(FILE* stream)
{
#ifdef __GLIBC__
    char* consumed = stream->_IO_read_base;
    if (consumed != nullptr && stream->_IO_read_ptr > consumed)
        explicit_bzero(consumed, static_cast<size_t>(stream->_IO_read_ptr - consumed));
#else
    (void)stream;
#endif
}

// The rest of a line too long for the hidden buffer. What the stream already holds of it is
// taken here, and wiped with everything else taken from the stream; what the terminal still
// holds goes when the guard puts the terminal back (TCSAFLUSH). The terminal itself is not
// read: after a Ctrl-D there is no rest, and the read would wait.
void DropBufferedRestOfLine(FILE* stream)
{
#ifdef __GLIBC__
    while (stream->_IO_read_ptr < stream->_IO_read_end && getc(stream) != '\n') {
    }
#else
    (void)stream;
#endif
}

// What the hidden read's callees (fgets, the stream's refill, the terminal calls) left on the
// stack below us may hold pieces of the line: overwrite it before returning to the caller.
__attribute__((noinline)) void WipeStackBelow()
{
    char scratch[16 * 1024];
    explicit_bzero(scratch, sizeof scratch);
}

// One line through the standard input stream while the guard keeps echo off. A stop and
// return to the foreground interrupts fgets; echo goes off again, the prompt is shown again
// and the read goes on. Whatever else interrupts it is a failure. Returns the call that failed,
// with its error number, or nullptr for a line.
const char* ReadGuardedLine(TerminalGuard& guard, char* line, const char* prompt, int& error)
{
    for (;;) {
        if (!guard.KeepHidden()) {
            error = errno;
            return "tcsetattr";
        }
        if (guard.TakeResumed())
            ShowPrompt(prompt);
        // After a Ctrl-D the stream remembers end of input and would not ask the terminal
        // again; the operator may well have more to say now. On a pipe that has ended the read
        // still finds nothing.
        clearerr(stdin);
        // fgets writes a single NUL of its own after the line; with no NUL in the buffer
        // beforehand, any other one was typed (see HoldsTypedNul).
        memset(line, '\n', kHiddenLineSize);
        // fgets sets no error number at end of input; start from 0 so the report is not
        // whatever an earlier call happened to leave behind.
        errno = 0;
        if (fgets(line, kHiddenLineSize, stdin) != nullptr)
            return nullptr;
        error = errno;
        if (error != EINTR || !guard.TakeJobControl())
            return "fgets";
    }
}

// A NUL typed (Ctrl-@) would cut the line short without a word: such a line counts as no
// answer. The line's own terminator is the first NUL only when no second one follows it.
bool HoldsTypedNul(const char* line)
{
    const char* end = line + strlen(line) + 1;
    return memchr(end, '\0', static_cast<size_t>(line + kHiddenLineSize - end)) != nullptr;
}

enum class Source { Terminal, File, Stream };

// isatty and a failed lseek set errno; what the caller sees is only what the reads leave.
Source SourceOf(int fd)
{
    int savedErrno = errno;
    Source source = isatty(fd)                    ? Source::Terminal
                    : lseek(fd, 0, SEEK_CUR) >= 0 ? Source::File
                                                  : Source::Stream;
    errno = savedErrno;
    return source;
}

// A terminal read that filled its block without a newline leaves the rest of the line
// waiting, unless Ctrl-D ended the line at exactly that length. poll tells the two apart
// without waiting: in canonical mode it reports input only once a whole line (or a Ctrl-D) is
// there.
bool RestIsWaiting(int fd)
{
    pollfd input{fd, POLLIN, 0};
    return poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0;
}

} // namespace

void ShowPrompt(const char* prompt)
{
    if (prompt == nullptr)
        return;
    printf("%s : ", prompt);
    // Standard output may be line-buffered or fully buffered; the operator must see the
    // question before we block waiting for the answer.
    fflush(stdout);
}

WholeLine ReadWholeLine(int fd, char* buf, unsigned long size)
{
    const Source source = SourceOf(fd);
    char block[1024];
    // From a pipe every byte taken is gone for whoever reads next, so take one at a time.
    const size_t want = source == Source::Stream ? 1 : sizeof block;
    size_t kept = 0;
    bool cut = false;
    bool readAny = false;
    for (;;) {
        ssize_t got = read(fd, block, want);
        if (got < 0)
            return {-1, false};
        if (got == 0)
            break;
        readAny = true;

        const size_t count = static_cast<size_t>(got);
        const char* newline = static_cast<const char*>(memchr(block, '\n', count));
        const size_t taken = newline != nullptr ? static_cast<size_t>(newline - block) + 1 : count;
        // Give the bytes after the newline back to the file, for the next reader.
        if (source == Source::File && taken < count &&
            lseek(fd, -static_cast<off_t>(count - taken), SEEK_CUR) < 0)
            return {-1, false};

        const size_t text = newline != nullptr ? taken - 1 : taken;
        const size_t keep = text < size - kept ? text : size - kept;
        memcpy(buf + kept, block, keep);
        kept += keep;
        cut = cut || keep < text;

        if (newline != nullptr)
            break;
        // A short terminal read without a newline is a line ended by Ctrl-D: it has no rest.
        if (source == Source::Terminal && (count < want || !RestIsWaiting(fd)))
            break;
    }
    buf[kept] = '\0';
    if (!readAny)
        return {-1, false};
    return {static_cast<long>(kept), cut};
}

// Reads one line through the standard input stream with echo off, and always puts the
// terminal back the way it was before returning. With `wholeLine`, the rest of a line longer
// than 31 characters is dropped rather than left for the next hidden read.
long ReadHiddenLine(char* buf, const char* prompt, bool wholeLine)
{
    TerminalGuard guard;
    if (!guard.Capture(fileno(stdin))) {
        ReportFailure("tcgetattr", errno);
        return -1;
    }
    if (!guard.Hide()) {
        ReportFailure("tcsetattr", errno);
        return -1;
    }

    char line[kHiddenLineSize];
    int readError = 0;
    const char* failedCall = ReadGuardedLine(guard, line, prompt, readError);
    if (failedCall == nullptr && wholeLine && strchr(line, '\n') == nullptr)
        DropBufferedRestOfLine(stdin);
    bool restored = guard.Restore();
    int restoreError = errno;
    WipeConsumedInput(stdin);

    long count = -1;
    if (failedCall != nullptr) {
        ReportFailure(failedCall, readError);
    } else if (!restored) {
        ReportFailure("tcsetattr", restoreError);
    } else {
        if (HoldsTypedNul(line))
            line[0] = '\0';
        strcpy(buf, line);
        // The operator's Enter was not echoed; end the prompt's line for them.
        putchar('\n');
        count = static_cast<long>(strlen(buf));
    }
    // The line may hold a password: leave no copy of it on the stack.
    explicit_bzero(line, sizeof line);
    WipeStackBelow();
    return count;
}

} // namespace hxconsole
