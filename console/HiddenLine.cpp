#include "HiddenLine.h"
#include "TerminalGuard.h"
#include "VectorRegisters.h"
#include "WholeLine.h"

#include <cerrno>
#include <cstring>

namespace hxconsole
{

namespace
{

// A hidden read takes at most 31 characters, its end included, and a terminator.
const size_t kHiddenLineSize = 32;

// Terminal and stream failures are reported as one line on standard error, so that a tool
// whose standard output is captured still shows the operator why the question failed.
void ReportFailure(const char* call, int error)
{
    fprintf(stderr, "%s failed with error %d : '%s'\n", call, error, strerror(error));
}

// Whether the stream's buffer still holds bytes to be read, which getc then takes without a
// read. glibc only: elsewhere nothing is known, and the descriptor is asked.
bool StreamHolds(FILE* stream)
{
#ifdef __GLIBC__
    return stream->_IO_read_ptr < stream->_IO_read_end;
#else
    (void)stream;
    return false;
#endif
}

// glibc leaves what getc took in the stream's buffer, before the read pointer, until the next
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

// What the hidden read's callees (the stream's refill, the terminal calls) left on the stack
// below us may hold pieces of the line: overwrite it before returning to the caller.
__attribute__((noinline)) void WipeStackBelow()
{
    char scratch[16 * 1024];
    explicit_bzero(scratch, sizeof scratch);
}

// One line, key by key, from the stream into `line`: at most kHiddenLineSize - 1 bytes, its end
// (stored as a newline) included, then a NUL. A terminal not in canonical mode is waited on
// before each refill, since its read may return at once with nothing. Once the buffer is full,
// the rest of the line stays in the stream, unless `wholeLine`: then it is taken and dropped,
// what the stream holds of it and, from a terminal not in canonical mode, the keys up to the
// line's end. A canonical terminal already holds the rest of the line, which goes when the
// guard puts the terminal back (TCSAFLUSH); reading it would wait after a Ctrl-D. Returns
// false, with errno set, at end of input before any byte or when a read failed; a last line
// without its end is a line.
bool GetHiddenLine(FILE* stream, char* line, bool wholeLine, bool& typedNul)
{
    const LineSource source = SourceOf(fileno(stream));
    const bool keys = source.kind == LineSource::kKeys;
    size_t length = 0;
    typedNul = false;
    for (;;) {
        const bool full = length + 1 >= kHiddenLineSize;
        const bool holds = StreamHolds(stream);
        if (full && (!wholeLine || (!holds && !keys)))
            break;
        if (keys && !holds && !WaitForInput(fileno(stream)))
            return false;
        const int c = getc(stream);
        if (c == EOF) {
            if (length > 0 && !ferror(stream))
                break;
            return false;
        }
        const bool end = EndsLine(source, static_cast<char>(c));
        if (!full) {
            line[length++] = end ? '\n' : static_cast<char>(c);
            // A NUL typed (Ctrl-@) would cut the line short without a word.
            typedNul = typedNul || c == '\0';
        }
        if (end)
            break;
    }
    line[length] = '\0';
    return true;
}

// One line through the standard input stream while the guard keeps echo off. A stop and
// return to the foreground interrupts the read; echo goes off again, the prompt is shown again
// and the line is read anew. Whatever else interrupts it is a failure. Returns the call that
// failed, with its error number, or nullptr for a line. A failed line read is reported as
// fgets's, the name the console's messages give it.
const char* ReadGuardedLine(TerminalGuard& guard, char* line, const char* prompt, bool wholeLine,
                            bool& typedNul, int& error)
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
        // End of input sets no error number; start from 0 so the report is not whatever an
        // earlier call happened to leave behind.
        errno = 0;
        if (GetHiddenLine(stdin, line, wholeLine, typedNul))
            return nullptr;
        error = errno;
        if (error != EINTR || !guard.TakeJobControl())
            return "fgets";
    }
}

// Copies the line with its terminator, a byte at a time, and returns its length: a string
// function of the C library would load it into vector registers, and leave it there.
long CopyLine(char* to, const char* from)
{
    long length = 0;
    while ((to[length] = from[length]) != '\0')
        ++length;
    return length;
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

// Reads one line through the standard input stream with echo off, and always puts the
// terminal back the way it was before returning.
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
    bool typedNul = false;
    int readError = 0;
    const char* failedCall = ReadGuardedLine(guard, line, prompt, wholeLine, typedNul, readError);
    bool restored = guard.Restore();
    int restoreError = errno;
    WipeConsumedInput(stdin);

    long count = -1;
    if (failedCall != nullptr) {
        ReportFailure(failedCall, readError);
    } else if (!restored) {
        ReportFailure("tcsetattr", restoreError);
    } else {
        // A line holding a typed NUL counts as no answer.
        if (typedNul)
            line[0] = '\0';
        count = CopyLine(buf, line);
        // The operator's Enter was not echoed; end the prompt's line for them.
        putchar('\n');
    }
    // The line may hold a password: leave no copy of it on the stack.
    explicit_bzero(line, sizeof line);
    WipeStackBelow();
    // Last, so that nothing after it loads a byte of the line again: what the C library's
    // functions (the stream's, the terminal's) left of it in vector registers would otherwise
    // be saved on the caller's stack by the next signal handler or lazy binding that runs.
    ClearVectorRegisters();
    return count;
}

bool TakeBufferedLine(FILE* stream)
{
    const LineSource source = SourceOf(fileno(stream));
    bool ended = false;
    while (!ended && StreamHolds(stream))
        ended = EndsLine(source, static_cast<char>(getc(stream)));
    WipeConsumedInput(stream);
    return ended;
}

} // namespace hxconsole
