// AnswerLine: one question answered by one whole line of standard input, asked again on a
// terminal while the answer is refused.
//
// hxask reads descriptor 0 itself, as the shell's `read` does, and never past the newline that
// ends the answer: the next question, or the script that comes down the same pipe, finds its
// own line. A terminal hands out a line a read; a file is read a block at a time and its offset
// set back to just after the newline; a pipe, which cannot give back what was read, a byte at
// a time. At most the longest line a question takes and one byte more is read: a longer line
// is refused there, and endless input (/dev/zero) ends too.
#ifndef HXCONSOLE_TOOLS_ANSWERLINE_H
#define HXCONSOLE_TOOLS_ANSWERLINE_H

#include <cstddef>
#include <functional>
#include <string>

namespace hxask
{

// A question answered by a line.
struct LineQuestion {
    std::string prompt;  // shown on the dialogue before each read, exactly as given
    size_t longest;      // the longest line taken, in bytes, without its newline
    std::string tooLong; // why a longer line is refused
    // Takes the line (without its newline) and returns why it is refused, or "". None takes
    // every line.
    std::function<std::string(const std::string& line)> check;
};

enum class Answered { kTaken, kEnded, kRefused };

// Asks `question` until an answer is taken into `line`, the only buffer it is read into.
// kEnded when input ended or a read failed before a whole line came, kRefused when a refused
// answer cannot be asked again; `why` then says what happened. A last line that input ends
// without a newline counts. Where the terminal does not echo the Enter that ended the answer
// (input from a file or pipe, or Ctrl-D), a newline is written after the prompt.
Answered AskLine(const LineQuestion& question, std::string& line, std::string& why);

// After a refused answer: on a terminal, shows `why` with the dialogue and returns true, for
// the question to be asked again. Otherwise returns false: nobody could answer again, and the
// next line of input belongs to the next question.
bool AskAgain(const std::string& why);

} // namespace hxask

#endif
