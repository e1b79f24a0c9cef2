#include "QHxConsole.h"
#include "HiddenLine.h"
#include "WholeLine.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using hxconsole::ShowPrompt;
using hxconsole::WholeLine;

namespace
{

// One read(2) straight from the descriptor: whatever the terminal or pipe holds right now,
// up to `size` bytes. The standard input stream's buffer is bypassed.
long ReadPlain(int fd, char* buf, unsigned long size)
{
    return read(fd, buf, size);
}

// What a typed prompt reads: one whole answer line (see WholeLine.h), cut to `size` bytes and
// terminated. Its count is -1 when no line came: end of input, a failed read, a line without end.
long PromptForLine(int fd, const char* prompt, char* buf, size_t size, bool* cut = nullptr)
{
    ShowPrompt(prompt);
    WholeLine line = hxconsole::ReadWholeLine(fd, buf, size);
    if (cut != nullptr)
        *cut = line.cut;
    return line.status == WholeLine::kLine ? static_cast<long>(line.kept) : -1;
}

// A read's result as callers get it: nothing read is -1, and a final newline is removed. Only
// that newline is touched; a chunk cut short keeps its last byte and stays unterminated, as the
// caller's cleared buffer expects.
int EndChunk(char* buf, long count)
{
    if (count <= 0)
        return -1;
    if (buf[count - 1] == '\n') {
        buf[count - 1] = '\0';
        --count;
    }
    return static_cast<int>(count);
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
// end of input or a failed read apart from an empty line, which both make the result -1. An
// entry too long for the buffer is never taken in part: it gives -1 too.
int ReadNumberOrEscape(int fd, int& value, char escape, bool* ended)
{
    char buf[32];
    bool cut = false;
    long count = PromptForLine(fd, nullptr, buf, sizeof buf - 1, &cut);
    if (ended != nullptr)
        *ended = count < 0;
    if (count <= 0 || cut)
        return -1;
    if (escape != '\0' && buf[0] == escape && strlen(buf) == 1)
        return 1;
    value = ToInt(buf);
    return 0;
}

// The question behind ReadString: one line into dst (len bytes), or the default after an
// empty line, or the question again when there is none. Returns the count kept, or -1 with dst
// empty.
long AskString(int fd, const char* prompt, char* dst, int len, const char* defaultText, bool* cut)
{
    // No room for an answer: nothing is read.
    if (len == 1) {
        ShowPrompt(prompt);
        dst[0] = '\0';
        return -1;
    }
    for (;;) {
        // A line cut to nothing (one character too wide for the room) was typed all the same:
        // it is an answer, not an empty line.
        long count = PromptForLine(fd, prompt, dst, static_cast<size_t>(len) - 1, cut);
        if (count != 0 || *cut)
            return count;
        if (defaultText != nullptr) {
            strncpy(dst, defaultText, static_cast<size_t>(len) - 1);
            dst[len - 1] = '\0';
            return static_cast<long>(strlen(dst));
        }
    }
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
    return EndChunk(buf, hidden ? hxconsole::ReadHiddenLine(buf, prompt, false)
                                : ReadPlain(m_input, buf, size));
}

int QHxConsole::ReadInt(int& value, char escape)
{
    return ReadNumberOrEscape(m_input, value, escape, nullptr);
}

int QHxConsole::ReadInt(const char* prompt, int& value, int* defaultValue, int min, int max)
{
    const bool rangeChecked = min != 0 || max != 0;
    // An empty range, or a default the range refuses, could never be answered.
    if (rangeChecked && !RangeIsUsable(defaultValue, min, max)) {
        puts("Invalid range/default value");
        return -1;
    }

    char buf[32];
    for (;;) {
        bool cut = false;
        long count = PromptForLine(m_input, prompt, buf, sizeof buf - 1, &cut);
        if (count < 0)
            return -1;
        if (count == 0) {
            if (defaultValue == nullptr)
                return -1;
            value = *defaultValue;
            return 0;
        }
        // An entry too long for the buffer is refused whole, never taken in part.
        if (!cut) {
            value = ToInt(buf);
            if (!rangeChecked || (min <= value && value <= max))
                return 0;
        }
        if (rangeChecked)
            printf("value not in range: (%d - %d)\n", min, max);
    }
}

int QHxConsole::ReadYesNo(const char* prompt, int defaultAnswer)
{
    char buf[8];
    for (;;) {
        long count = PromptForLine(m_input, prompt, buf, sizeof buf - 1);
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
    bool cut = false;
    return static_cast<int>(AskString(m_input, prompt, dst, len, defaultText, &cut));
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
    ShowPrompt(prompt);
    return EndChunk(buf, hxconsole::ReadHiddenLine(buf, prompt, true)) < 0 ? -1 : 0;
}

void QHxConsole::Pause(const char* message)
{
    if (message != nullptr)
        puts(message);
    puts("Press any key to continue ...");
    // The pause takes one whole line, so that nothing typed at it answers the next question,
    // hidden or not. What a hidden read left of its line in the standard input stream comes
    // first; the rest straight from the descriptor, so that off a terminal no byte past the
    // line is read. An earlier Ctrl-D does not answer it: the descriptor is asked again.
    if (!hxconsole::TakeBufferedLine(stdin)) {
        char none[1];
        hxconsole::ReadWholeLine(m_input, none, 0);
    }
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
        int answer = ReadNumberOrEscape(m_input, number, 'x', &ended);
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
        // The default turns an empty line into "/0", which is read as item 0 below and so
        // draws the item number complaint. -1 therefore means input ended or failed.
        bool cut = false;
        long kept = AskString(
            m_input, "Enter a specific number (#) or a range (FROM#-TO#) or (ALL) or (x)to exit ",
            entry, sizeof entry - 1, "/0", &cut);
        if (kept < 0)
            return -1;
        if (entry[0] == '\0')
            continue;
        // Too long to be judged whole, so not judged by its first part either.
        if (cut) {
            puts("Illegal item number specified");
            continue;
        }
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
