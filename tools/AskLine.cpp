#include "AskLine.h"
#include "Stream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <unistd.h>

namespace hxask
{

namespace
{

// What one read of a file may bring.
const size_t kBlock = 4096;
// What the library's hidden read takes, without the newline; off a terminal too.
const size_t kLongestPassword = hxtool::Secret::kHiddenChunk - 1;

// Reads one line into `line`, without its newline: at most `longest` bytes and one more, so a
// longer one is too long. False when none came: input ended, or a read failed (`error` its
// errno). `newline` says whether a newline ended the line.
bool ReadLine(size_t longest, std::string& line, bool& newline, int& error)
{
    const bool terminal = isatty(STDIN_FILENO);
    const bool seekable = !terminal && lseek(STDIN_FILENO, 0, SEEK_CUR) >= 0;
    line.assign(std::max(longest, terminal ? kLongestLine : 0) + 1, '\0');
    size_t size = 0;
    newline = false;
    while (size <= longest) {
        char* start = &line[size];
        size_t room = terminal ? line.size() : seekable ? std::min(kBlock, longest + 1 - size) : 1;
        ssize_t got = read(STDIN_FILENO, start, room);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            // A line cut by a failed read is no answer, however much of it came.
            error = errno;
            return false;
        }
        if (got == 0)
            break;
        if (char* end = static_cast<char*>(memchr(start, '\n', static_cast<size_t>(got)))) {
            // What follows the newline belongs to the next question.
            if (seekable)
                lseek(STDIN_FILENO, end + 1 - (start + got), SEEK_CUR);
            size = static_cast<size_t>(end - line.data());
            newline = true;
            break;
        }
        size += static_cast<size_t>(got);
        if (terminal)
            break;
    }
    line.resize(size);
    return size > 0 || newline;
}

// Wipes a secret, the spare capacity behind it too; growing within the capacity moves nothing.
void Wipe(std::string& secret)
{
    secret.resize(secret.capacity());
    explicit_bzero(&secret[0], secret.size());
}

} // namespace

std::string Prompt(std::string_view text, const std::string& hint)
{
    return hxtool::Visible(text) + (hint.empty() ? "" : " (" + hint + ")") + " : ";
}

void Complain(const std::string& text)
{
    hxtool::Complain(kTool, hxtool::Visible(text));
}

bool AskAgain(const std::string& why)
{
    if (!isatty(STDIN_FILENO))
        return false;
    printf("%s\n", why.c_str());
    return true;
}

Status Ask(const LineQuestion& question, std::string& line)
{
    // The terminal echoes the Enter, where the dialogue goes to the terminal that is typed on.
    const bool echoed = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    const bool promptOpen = !question.prompt.empty() && question.prompt.back() != '\n';
    for (;;) {
        fputs(question.prompt.c_str(), stdout);
        fflush(stdout);
        bool newline = false;
        int error = 0;
        const bool read = ReadLine(question.longest, line, newline, error);
        if (promptOpen && (!newline || !echoed)) {
            putchar('\n');
            fflush(stdout);
        }
        if (!read) {
            Complain(error == 0 ? "end of input" : hxtool::CannotRead(error));
            return kNoInput;
        }
        std::string why = line.size() > question.longest ? question.tooLong
                          : question.check               ? question.check(line)
                                                         : std::string();
        if (why.empty())
            return kAnswered;
        if (!AskAgain(why)) {
            Complain(why);
            return kRefused;
        }
    }
}

Status Deliver(int answers, std::string_view text)
{
    int error = hxtool::WriteAll(answers, text.data(), text.size());
    if (error == 0)
        return kAnswered;
    hxtool::ReportWriteFailure(kTool, error);
    return kNoInput;
}

Status AskPasswordLines(int answers, const std::string& prompt, bool confirm)
{
    const char tooLong[] = "the password is longer than 30 bytes";
    std::string first, second;
    Status status = Ask({Prompt(prompt, ""), kLongestPassword, tooLong, nullptr}, first);
    if (status == kAnswered && confirm) {
        status = Ask({Prompt(prompt + " (again)", ""), kLongestPassword, tooLong, nullptr}, second);
        if (status == kAnswered && first != second) {
            Complain("the two passwords differ");
            status = kRefused;
        }
    }
    if (status == kAnswered) {
        // The line's buffer has room for the newline: no copy of the password is made.
        first += '\n';
        status = Deliver(answers, first);
    }
    Wipe(first);
    Wipe(second);
    return status;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool Spelled(std::string_view text, const char* word)
{
    return text.size() == strlen(word) && strncasecmp(text.data(), word, text.size()) == 0;
}

bool WholeNumber(std::string_view text, long long& value)
{
    text = Trimmed(text);
    bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    if (text.empty())
        return false;
    // Counting stops far beyond int, and far from long long's overflow.
    const long long enough = LLONG_MAX / 10 - 9;
    long long magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude < enough ? magnitude * 10 + (c - '0') : LLONG_MAX;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

size_t Characters(std::string_view text, bool& utf8)
{
    size_t count = 0;
    for (utf8 = true; !text.empty(); ++count) {
        size_t length = hxtool::Utf8Length(text);
        utf8 = utf8 && length > 0;
        text.remove_prefix(length > 0 ? length : 1);
    }
    return count;
}

bool ReadMenuEntry(std::string_view line, long long items, bool ranges, long long& first,
                   long long& last)
{
    line = Trimmed(line);
    first = 0;
    if (Spelled(line, "x"))
        return true;
    first = 1;
    last = items;
    if (ranges && Spelled(line, "all"))
        return true;
    size_t dash = ranges ? line.find('-') : std::string_view::npos;
    bool read = dash == std::string_view::npos ? WholeNumber(line, first) && WholeNumber(line, last)
                                               : WholeNumber(line.substr(0, dash), first) &&
                                                     WholeNumber(line.substr(dash + 1), last);
    return read && first >= 1 && last >= first && last <= items;
}

} // namespace hxask
