#include "AnswerLine.h"

#include "ToolCommon.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace hxask
{

namespace
{

// A terminal in canonical mode holds a line of at most 4095 characters and its newline, and
// one read takes it whole, however little the question takes: what is left of a refused line
// must not answer the question asked again.
const size_t kTerminalLine = 4096;
// What one read of a file may bring.
const size_t kBlock = 4096;

enum class Got { kLine, kTooLong, kEnded, kFailed };

ssize_t ReadInput(char* buffer, size_t size)
{
    for (;;) {
        ssize_t got = read(STDIN_FILENO, buffer, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

// Reads one line into `line`, without its newline: at most `longest` bytes and one more.
// `newline` says whether a newline ended it; `error` is the errno of a failed read.
Got ReadLine(size_t longest, std::string& line, bool& newline, int& error)
{
    const bool terminal = isatty(STDIN_FILENO);
    const bool seekable = !terminal && lseek(STDIN_FILENO, 0, SEEK_CUR) >= 0;
    line.assign(std::max(longest, terminal ? kTerminalLine : 0) + 1, '\0');
    size_t size = 0;
    newline = false;
    while (size <= longest) {
        char* start = &line[size];
        size_t room = terminal ? line.size() : seekable ? std::min(kBlock, longest + 1 - size) : 1;
        ssize_t got = ReadInput(start, room);
        if (got < 0) {
            // A line cut by a failed read is no answer, however much of it came.
            error = errno;
            return Got::kFailed;
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
    if (size > longest)
        return Got::kTooLong;
    return size == 0 && !newline ? Got::kEnded : Got::kLine;
}

} // namespace

Answered AskLine(const LineQuestion& question, std::string& line, std::string& why)
{
    // The terminal echoes the Enter, where the dialogue goes to the terminal that is typed on.
    const bool echoed = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    const bool promptOpen = !question.prompt.empty() && question.prompt.back() != '\n';
    for (;;) {
        fputs(question.prompt.c_str(), stdout);
        fflush(stdout);
        bool newline = false;
        int error = 0;
        Got got = ReadLine(question.longest, line, newline, error);
        if (promptOpen && (!newline || !echoed)) {
            putchar('\n');
            fflush(stdout);
        }
        if (got == Got::kEnded || got == Got::kFailed) {
            why = got == Got::kEnded ? "end of input" : hxtool::CannotRead(error);
            return Answered::kEnded;
        }
        why = got == Got::kTooLong ? question.tooLong
                                   : (question.check ? question.check(line) : std::string());
        if (why.empty())
            return Answered::kTaken;
        if (!AskAgain(why))
            return Answered::kRefused;
    }
}

bool AskAgain(const std::string& why)
{
    if (!isatty(STDIN_FILENO))
        return false;
    printf("%s\n", why.c_str());
    return true;
}

} // namespace hxask
