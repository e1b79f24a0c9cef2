#include "QHxConsole.h"
#include "TerminalGuard.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

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

// One line through the standard input stream while the guard keeps echo off. A stop and
// return to the foreground interrupts fgets; echo goes off again, the prompt is shown again
// and the read goes on. Whatever else interrupts it is a failure. Returns the call that failed,
// with its error number, or nullptr for a line.
const char* ReadGuardedLine(hxconsole::TerminalGuard& guard, char* line, const char* prompt,
                            int& error)
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

// Reads one line through the standard input stream with echo off, and always puts the
// terminal back the way it was before returning.
long ReadHidden(char* buf, const char* prompt)
{
    hxconsole::TerminalGuard guard;
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
    return count;
}

// atoi's reading of a number (leading white space, an optional sign, digits up to the first
// non-digit, 0 when there are none), but a number beyond the 32-bit range gives INT_MAX or
// INT_MIN where atoi's result would be undefined.
int ToInt(const char* text)
{
    while (isspace(static_cast<unsigned char>(*text)))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;

    // Counting up to one past INT_MAX is enough to know the result, and keeps the
    // arithmetic far from overflow however many digits follow.
    const long long limit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; isdigit(static_cast<unsigned char>(*text)); ++text)
        if (magnitude < limit)
            magnitude = magnitude * 10 + (*text - '0');

    if (negative)
        return magnitude >= limit ? INT_MIN : static_cast<int>(-magnitude);
    return magnitude >= limit ? INT_MAX : static_cast<int>(magnitude);
}

// A menu position typed by the operator (counting from 1) as a zero-based index.
int ToPosition(const char* text)
{
    int number = ToInt(text);
    return number == INT_MIN ? INT_MIN : number - 1;
}

// The number-or-escape question behind ReadInt(value, escape). `ended` (when not null) tells
// end of input or a failed read apart from an empty line, which both make the result -1.
int ReadNumberOrEscape(QHxConsole& console, int& value, char escape, bool* ended)
{
    char buf[32] = {};
    int count = console.Read(buf, sizeof buf - 1, nullptr, false);
    if (ended != nullptr)
        *ended = count < 0;
    if (count <= 0)
        return -1;
    if (escape != '\0' && buf[0] == escape && strlen(buf) == 1)
        return 1;
    value = ToInt(buf);
    return 0;
}

bool RangeIsUsable(int* defaultValue, int min, int max)
{
    if (min > max)
        return false;
    return defaultValue == nullptr || (min <= *defaultValue && *defaultValue <= max);
}

void ShowList(const std::vector<_GENERIC_ITEM>& items, const char* title, const char* exitLabel)
{
    if (title != nullptr)
        printf("\n%s:\n\n", title);
    else
        printf("\nPlease choose one of the following:\n\n");

    int number = 0;
    for (const _GENERIC_ITEM& item : items) {
        // Bounded by the field: a name that was filled to the brim without its NUL must not
        // take the caller's data, or whatever follows, along with it.
        printf("   [%d] %.*s\n", ++number, static_cast<int>(sizeof item.name), item.name);
    }
    printf("   [x] %s\n", exitLabel != nullptr ? exitLabel : "Return to the Main Menu");
    putchar('\n');
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
    long count = hidden ? ReadHidden(buf, prompt) : ReadPlain(m_input, buf, size);
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

int QHxConsole::ReadInt(int& value, char escape)
{
    return ReadNumberOrEscape(*this, value, escape, nullptr);
}

int QHxConsole::ReadInt(const char* prompt, int& value, int* defaultValue, int min, int max)
{
    const bool rangeChecked = min != 0 || max != 0;
    // An empty range, or a default the range refuses, could never be answered.
    if (rangeChecked && !RangeIsUsable(defaultValue, min, max)) {
        puts("Invalid range/default value");
        return -1;
    }

    // Cleared once only: a shorter chunk after a long one is read over the long one's tail,
    // and that is what atoi sees.
    char buf[8] = {};
    for (;;) {
        int count = Read(buf, sizeof buf - 1, prompt, false);
        if (count < 0)
            return -1;
        if (count == 0) {
            if (defaultValue == nullptr)
                return -1;
            value = *defaultValue;
            return 0;
        }
        value = ToInt(buf);
        if (!rangeChecked || (min <= value && value <= max))
            return 0;
        printf("value not in range: (%d - %d)\n", min, max);
    }
}

int QHxConsole::ReadYesNo(const char* prompt, int defaultAnswer)
{
    char buf[8] = {};
    for (;;) {
        int count = Read(buf, sizeof buf - 1, prompt, false);
        if (count < 0)
            return -1;
        if (count == 0 && defaultAnswer != 0)
            return defaultAnswer;
        // Only the first letter counts, and only in lower case.
        if (buf[0] == 'y')
            return 1;
        if (buf[0] == 'n')
            return 2;
    }
}

int QHxConsole::ReadString(const char* prompt, char* dst, int len, const char* defaultText)
{
    if (dst == nullptr || len <= 0)
        return -1;

    for (;;) {
        int count = Read(dst, static_cast<unsigned long>(len) - 1, prompt, false);
        if (count != 0)
            return count;
        if (defaultText != nullptr) {
            strncpy(dst, defaultText, static_cast<size_t>(len) - 1);
            dst[len - 1] = '\0';
            return static_cast<int>(strlen(dst));
        }
    }
}

int QHxConsole::ReadPassword(char* buf, const char* prompt)
{
    if (buf == nullptr)
        return -1;
    if (prompt == nullptr)
        prompt = "Password";
    // A password the caller already has is kept, and the operator is not asked.
    if (buf[0] != '\0')
        return 0;
    return Read(buf, 128, prompt, true) < 0 ? -1 : 0;
}

void QHxConsole::Pause(const char* message)
{
    if (message != nullptr)
        puts(message);
    puts("Press any key to continue ...");
    // As in a hidden read: an earlier Ctrl-D must not answer this question too.
    clearerr(stdin);
    // Through the stream, not read(2): in canonical mode this waits for Enter, and the rest
    // of the line stays in the stream's buffer rather than in front of the next plain read.
    getchar();
}

int QHxConsole::ListSelect(std::vector<_GENERIC_ITEM>* items, const char* title,
                           _GENERIC_ITEM* chosen, const char* exitLabel)
{
    if (items == nullptr)
        return -1;
    ShowList(*items, title, exitLabel);

    for (;;) {
        printf("Enter item number: ");
        fflush(stdout);
        int number = 0;
        bool ended = false;
        int answer = ReadNumberOrEscape(*this, number, 'x', &ended);
        if (answer == 1 || ended)
            return -1;
        // An empty line, or a number that is not on the list: ask again.
        if (answer != 0 || number < 1 || static_cast<size_t>(number) > items->size())
            continue;

        const _GENERIC_ITEM& item = (*items)[static_cast<size_t>(number) - 1];
        if (chosen != nullptr)
            *chosen = item;
        return item.id;
    }
}

int QHxConsole::ListSelect(std::vector<_GENERIC_ITEM>* items, int* from, int* to, const char* title,
                           const char* exitLabel)
{
    if (from != nullptr)
        *from = 0;
    if (to != nullptr)
        *to = 0;
    if (items == nullptr || from == nullptr || to == nullptr)
        return -1;
    ShowList(*items, title, exitLabel);

    const long long count = static_cast<long long>(items->size());
    char entry[1024];
    for (;;) {
        *to = *from = 0;
        memset(entry, 0, sizeof entry);
        // The default turns an empty line into "/0", which is read as item 0 below and so
        // draws the item number complaint. -1 therefore means input ended or failed.
        if (ReadString("Enter a specific number (#) or a range (FROM#-TO#) or (ALL) or (x)to exit ",
                       entry, sizeof entry - 1, "/0") < 0)
            return -1;
        if (entry[0] == '\0')
            continue;
        if (strcasecmp(entry, "x") == 0)
            return -1;
        if (strcasecmp(entry, "all") == 0) {
            *from = 0;
            *to = static_cast<int>(count - 1);
            return *to;
        }

        char* dash = strchr(entry, '-');
        if (dash != nullptr) {
            *dash = '\0';
            *to = ToPosition(dash + 1);
            *from = ToPosition(entry);
            if (*from >= 0 && *to >= 0 && *to >= *from && *to < count)
                return *to;
            puts("Illegal range specified");
            continue;
        }

        *from = ToPosition(entry);
        if (*from >= 0 && *from < count) {
            *to = *from;
            return *to;
        }
        puts("Illegal item number specified");
    }
}
