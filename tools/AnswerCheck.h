// AnswerCheck: what an answer line means to hxask's questions, and how text from the command
// line is shown.
//
// Every check takes the whole line, without its newline, and returns why it is refused, or an
// empty text when it is taken. Blanks (spaces and tabs) around an answer never matter.
#ifndef HXCONSOLE_TOOLS_ANSWERCHECK_H
#define HXCONSOLE_TOOLS_ANSWERCHECK_H

#include <cstddef>
#include <string>
#include <string_view>

namespace hxask
{

// Reads optional blanks, an optional sign, digits and optional blanks, and nothing else, as a
// number. One too large for `long long` reads as the largest (or smallest) there is, which is
// beyond any int all the same.
bool WholeNumber(std::string_view text, long long& value);

// An int answer: a whole number from `min` to `max`. Refused as "not a whole number" or
// "not from 1 to 65535".
std::string CheckNumber(std::string_view line, int min, int max, int& value);

// A yesno answer: y or yes (`yes` true), n or no, in any case.
std::string CheckYesNo(std::string_view line, bool& yes);

// What a menu entry chose: the exit entry, or the items from `from` to `to`, counting from 0.
struct MenuChoice {
    bool exit = false;
    size_t from = 0;
    size_t to = 0;
};

// A menu entry for `items` items: a number from 1 to `items` or x (in any case); with
// `ranges`, also FROM-TO and ALL (in any case). Every refusal says what to type.
std::string CheckMenuEntry(std::string_view line, size_t items, bool ranges, MenuChoice& choice);

// Why a menu entry of the kind CheckMenuEntry takes is refused.
std::string MenuRefusal(size_t items, bool ranges);

// The characters of UTF-8 text: every byte that does not continue a character.
size_t Characters(std::string_view text);

// `text` fit to go to a terminal: control characters (C0, DEL and the C1 controls of UTF-8)
// become visible, in caret notation (ESC is ^[, DEL is ^?; the C1 control CSI is ^[[).
std::string Visible(std::string_view text);

} // namespace hxask

#endif
