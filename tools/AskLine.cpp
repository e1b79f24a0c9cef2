#include "AskLine.h"
#include "Stream.h"

#include "WholeLine.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <unistd.h>

using hxconsole::ReadWholeLine;
using hxconsole::WholeLine;

namespace hxask
{

namespace
{

// What the library's hidden read takes, without the newline; off a terminal too.
const size_t kLongestPassword = hxtool::Secret::kHiddenChunk - 1;
const char kEndless[] = "the line does not end within 262144 bytes";
static_assert(hxconsole::kLongestLine == 262144, "the refusal names the reader's bound");

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
        line.assign(question.longest + 1, '\0');
        const WholeLine read = ReadWholeLine(STDIN_FILENO, &line[0], question.longest, true);
        line.resize(read.kept);
        if (promptOpen && (!read.ended || !echoed)) {
            putchar('\n');
            fflush(stdout);
        }
        if (read.status == WholeLine::kEnded || read.status == WholeLine::kFailed) {
            Complain(read.error == 0 ? "end of input" : hxtool::CannotRead(read.error));
            return kNoInput;
        }
        std::string why = read.status == WholeLine::kEndless      ? kEndless
                          : read.cut && !question.tooLong.empty() ? question.tooLong
                          : question.check                        ? question.check(line)
                                                                  : std::string();
        if (why.empty())
            return kAnswered;
        // The rest of a line without an end is still to come: it cannot be asked again.
        if (read.status == WholeLine::kEndless || !AskAgain(why)) {
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
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
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
        size_t length = hxconsole::Utf8Length(text);
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
