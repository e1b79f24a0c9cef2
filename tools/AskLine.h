// AskLine: how hxask asks a question that a line answers, from its prompt to the answer. The
// line is read by the console's reader (console/WholeLine.h), with a carriage return before the
// newline, from a file written on Windows, taken as part of the line's end.
#ifndef HXCONSOLE_TOOLS_ASKLINE_H
#define HXCONSOLE_TOOLS_ASKLINE_H

#include "ToolCommon.h"

#include <functional>
#include <string>
#include <string_view>

namespace hxask
{

enum Status { kAnswered = 0, kDeclined = 1, kUsageError = 2, kNoInput = 3, kRefused = 4 };

extern const hxtool::ToolText kTool; // in HxAsk.cpp

// The longest int, yesno or menu answer, in bytes: a longer line is refused (and read to its end).
const size_t kLongestAnswer = 4096;

struct LineQuestion {
    std::string prompt;  // shown on the dialogue before each read, exactly as given
    size_t longest;      // the longest line taken, in bytes, without its newline
    std::string tooLong; // why a longer line is refused; "": a longer one is taken, cut
    // Returns why the line (without its newline) is refused, or "". None takes every line.
    std::function<std::string(const std::string& line)> check;
};

// "Port (1-65535, Enter for 8080) : ": the question's text, shown visibly, and what it takes.
// Complaints quote the command line and the answers, so they are shown visibly too.
std::string Prompt(std::string_view text, const std::string& hint);
void Complain(const std::string& text);

// After a refused answer, on a terminal: shows `why` and returns true, to ask again. Otherwise
// false, and the next line of input is left for the next question.
bool AskAgain(const std::string& why);

// Asks `question` until an answer is taken into `line`, the only buffer it is read into:
// kAnswered. Otherwise, after the complaint, kNoInput when input ended or a read failed before
// a whole line came (a last line without a newline counts), kRefused when a refused answer
// cannot be asked again, or a line has no end within the reader's bound. Where no echoed Enter
// ended the answer (a file or pipe, Ctrl-D), a newline ends the prompt's line.
Status Ask(const LineQuestion& question, std::string& line);

// Writes the answer to `answers`, the descriptor the script reads; a failure fails the question.
Status Deliver(int answers, std::string_view text);

// A password off a terminal, asked with `prompt` (already visible) and written to `answers`:
// a line like any other answer, as nobody types it, so nothing is hidden and a refused one
// ends the question. With `confirm`, a second line must match the first.
Status AskPasswordLines(int answers, const std::string& prompt, bool confirm);

std::string_view Trimmed(std::string_view text);       // without the blanks and tabs around it
bool Spelled(std::string_view text, const char* word); // `text` is `word`, in any case

// Optional blanks, an optional sign, digits and optional blanks, and nothing else, as a number;
// one beyond `long long` reads as its largest (or smallest), beyond any int all the same.
bool WholeNumber(std::string_view text, long long& value);

// The characters of `text`, a byte outside UTF-8 counted as one; `utf8` says if there was none.
size_t Characters(std::string_view text, bool& utf8);

// A menu entry for `items` items: 1 to `items` (`first` to `last`) or x (`first` 0), and with
// `ranges` also FROM-TO and ALL; x and ALL in any case. Returns whether it was one.
bool ReadMenuEntry(std::string_view line, long long items, bool ranges, long long& first,
                   long long& last);

} // namespace hxask

#endif
