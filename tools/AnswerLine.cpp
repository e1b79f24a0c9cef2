#include "AnswerLine.h"

#include "InputWatch.h"
#include "QHxConsole.h"
#include "ToolCommon.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace hxask
{

namespace
{

// What one plain read may bring; a longer line takes several.
const unsigned long kChunk = 256;

struct LineRead {
    bool got = false;     // some of a line came: the answer
    bool cut = false;     // the line was longer than the question takes
    bool newline = false; // the line ended with a newline, not with the end of input
};

// Reads one whole line, keeping at most `longest` bytes of it in `line`.
LineRead ReadLine(QHxConsole& console, size_t longest, std::string& line)
{
    LineRead read;
    line.clear();
    for (;;) {
        char chunk[kChunk + 1] = {};
        int count = console.Read(chunk, kChunk, nullptr, false);
        LastRead last = LastInputRead();
        if (count < 0) {
            // A failed read ends the question, however much of the line came before it.
            read.got = read.got && last.result == 0;
            return read;
        }
        read.got = true;
        size_t size = static_cast<size_t>(count);
        size_t room = longest - line.size();
        read.cut = read.cut || size > room;
        line.append(chunk, std::min(size, room));
        // Read removes a final newline only: the chunk is then one byte longer than its text.
        if (last.result > count) {
            read.newline = true;
            return read;
        }
    }
}

std::string WhyNoLine()
{
    LastRead last = LastInputRead();
    if (last.result < 0)
        return hxtool::CannotRead(last.error);
    return "end of input";
}

} // namespace

Answered AskLine(QHxConsole& console, const LineQuestion& question, std::string& line,
                 std::string& why)
{
    // The terminal echoes the Enter, where the dialogue goes to the terminal that is typed on.
    const bool echoed = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    const bool promptOpen = !question.prompt.empty() && question.prompt.back() != '\n';
    for (;;) {
        fputs(question.prompt.c_str(), stdout);
        fflush(stdout);
        LineRead read = ReadLine(console, question.longest, line);
        if (promptOpen && (!read.newline || !echoed)) {
            putchar('\n');
            fflush(stdout);
        }
        if (!read.got) {
            why = WhyNoLine();
            return Answered::kEnded;
        }
        bool refusedLength = read.cut && !question.tooLong.empty();
        why = refusedLength ? question.tooLong : question.check(line);
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
