#include "QHxConsole.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <termios.h>
#include <unistd.h>

namespace {

// A hidden read takes at most 31 characters, newline included, plus fgets's terminator.
const int kHiddenLineSize = 32;

// Terminal and stream failures are reported as one line on standard error, so that a tool
// whose standard output is captured still shows the operator why the question failed.
void ReportFailure(const char* call, int error)
{
    fprintf(stderr, "%s failed with error %d : '%s'\n", call, error, strerror(error));
}

void ShowPrompt(const char* prompt)
{
    if (prompt == nullptr)
        return;
    printf("%s : ", prompt);
    // Standard output may be line-buffered or fully buffered; the operator must see the
    // question before we block waiting for the answer.
    fflush(stdout);
}

// One read(2) straight from the descriptor: whatever the terminal or pipe holds right now,
// up to `size` bytes. The standard input stream's buffer is bypassed.
long ReadPlain(int fd, char* buf, unsigned long size)
{
    return read(fd, buf, size);
}

// Reads one line through the standard input stream with echo off, and always puts the
// terminal back the way it was before returning.
long ReadHidden(char* buf)
{
    int fd = fileno(stdin);
    termios saved;
    if (tcgetattr(fd, &saved) != 0) {
        ReportFailure("tcgetattr", errno);
        return -1;
    }

    // Only ECHO goes: canonical mode stays, so the operator can still edit the line and
    // Ctrl-C still interrupts. TCSAFLUSH drops anything typed ahead of the prompt, which
    // would otherwise be taken as the password.
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    if (tcsetattr(fd, TCSAFLUSH, &quiet) != 0) {
        ReportFailure("tcsetattr", errno);
        return -1;
    }

    char line[kHiddenLineSize];
    // fgets sets no error number at end of input; start from 0 so the report is not
    // whatever an earlier call happened to leave behind.
    errno = 0;
    bool gotLine = fgets(line, sizeof line, stdin) != nullptr;
    int readError = errno;

    bool restored = tcsetattr(fd, TCSAFLUSH, &saved) == 0;
    int restoreError = errno;

    long count = -1;
    if (!gotLine) {
        ReportFailure("fgets", readError);
    } else if (!restored) {
        ReportFailure("tcsetattr", restoreError);
    } else {
        strcpy(buf, line);
        // The operator's Enter was not echoed; end the prompt's line for them.
        putchar('\n');
        count = static_cast<long>(strlen(buf));
    }
    // The line may hold a password: leave no copy of it on the stack.
    explicit_bzero(line, sizeof line);
    return count;
}

} // namespace

QHxConsole::QHxConsole(bool flag)
    : m_input(0), m_spare(1), m_ready(false), m_spareWord(0), m_flag(flag)
{
    m_ready = true;
}

QHxConsole::~QHxConsole() {}

int QHxConsole::Read(char* buf, unsigned long size, const char* prompt, bool hidden)
{
    if (buf == nullptr)
        return -1;

    ShowPrompt(prompt);
    long count = hidden ? ReadHidden(buf) : ReadPlain(m_input, buf, size);
    if (count <= 0)
        return -1;

    // Only a final newline is removed; a chunk cut short keeps its last byte and stays
    // unterminated, as the caller's cleared buffer expects.
    if (buf[count - 1] == '\n') {
        buf[count - 1] = '\0';
        --count;
    }
    return static_cast<int>(count);
}
