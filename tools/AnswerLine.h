// AnswerLine: one question answered by one whole line of standard input, asked again on a
// terminal while the answer is refused.
//
// The line is read with the console's plain read, a chunk at a time, however long it is; each
// read stops at a newline (see InputWatch.h), so the question takes its own line and not a
// byte of the next one. A script that answers several questions from one file or pipe, or a
// script piped into a shell, keeps the lines that follow.
#ifndef HXCONSOLE_TOOLS_ANSWERLINE_H
#define HXCONSOLE_TOOLS_ANSWERLINE_H

#include <cstddef>
#include <functional>
#include <string>

class QHxConsole;

namespace hxask
{

// A question answered by a line.
struct LineQuestion {
    // Shown on standard output (the dialogue) before each read, exactly as given.
    std::string prompt;
    // The longest line taken, in bytes; the rest of a longer line is read and dropped.
    size_t longest;
    // Why a longer line is refused; when empty, its first `longest` bytes are the answer.
    std::string tooLong;
    // Takes the line (without its newline) and returns why it is refused, or "".
    std::function<std::string(const std::string& line)> check;
};

enum class Answered { kTaken, kEnded, kRefused };

// Asks `question` until an answer is taken; on success `line` holds it. kEnded when input
// ended or failed before a line came, kRefused when a refused answer cannot be asked again
// (standard input is not a terminal); `why` then says what happened. A last line that input
// ends without a newline counts as a line.
//
// Each line of dialogue ends with a newline: where the terminal does not echo the Enter that
// ended the answer (input from a file or pipe, or Ctrl-D), one is written after the prompt.
Answered AskLine(QHxConsole& console, const LineQuestion& question, std::string& line,
                 std::string& why);

// After a refused answer: on a terminal, shows `why` with the dialogue and returns true, for
// the question to be asked again. Otherwise returns false: nobody could answer again, and the
// next line of input belongs to the next question.
bool AskAgain(const std::string& why);

} // namespace hxask

#endif
