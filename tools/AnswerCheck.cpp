#include "AnswerCheck.h"

#include <climits>
#include <strings.h>

namespace hxask
{

namespace
{

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool Spelled(std::string_view text, const char* word)
{
    std::string_view expected(word);
    return text.size() == expected.size() && strncasecmp(text.data(), word, expected.size()) == 0;
}

} // namespace

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
        if (!IsDigit(c))
            return false;
        magnitude = magnitude < enough ? magnitude * 10 + (c - '0') : LLONG_MAX;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

std::string CheckNumber(std::string_view line, int min, int max, int& value)
{
    long long number = 0;
    if (!WholeNumber(line, number))
        return "not a whole number";
    if (number < min || number > max)
        return "not from " + std::to_string(min) + " to " + std::to_string(max);
    value = static_cast<int>(number);
    return "";
}

std::string CheckYesNo(std::string_view line, bool& yes)
{
    line = Trimmed(line);
    yes = Spelled(line, "y") || Spelled(line, "yes");
    if (yes || Spelled(line, "n") || Spelled(line, "no"))
        return "";
    return "not y, yes, n or no";
}

std::string MenuRefusal(size_t items, bool ranges)
{
    std::string numbers = "a number from 1 to " + std::to_string(items);
    if (ranges)
        return "not on the menu: type " + numbers + ", a range FROM-TO of them, ALL or x";
    return "not on the menu: type " + numbers + " or x";
}

std::string CheckMenuEntry(std::string_view line, size_t items, bool ranges, MenuChoice& choice)
{
    line = Trimmed(line);
    choice = MenuChoice{};
    if (Spelled(line, "x")) {
        choice.exit = true;
        return "";
    }
    long long first = 0, last = 0;
    size_t dash = ranges ? line.find('-') : std::string_view::npos;
    bool read = false;
    if (ranges && Spelled(line, "all")) {
        first = 1;
        last = static_cast<long long>(items);
        read = true;
    } else if (dash != std::string_view::npos) {
        read = WholeNumber(line.substr(0, dash), first) && WholeNumber(line.substr(dash + 1), last);
    } else {
        read = WholeNumber(line, first);
        last = first;
    }
    if (!read || first < 1 || last < first || last > static_cast<long long>(items))
        return MenuRefusal(items, ranges);
    choice.from = static_cast<size_t>(first - 1);
    choice.to = static_cast<size_t>(last - 1);
    return "";
}

size_t Characters(std::string_view text)
{
    size_t count = 0;
    for (char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

std::string Visible(std::string_view text)
{
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            shown += '^';
            shown += static_cast<char>(c ^ 0x40);
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // A C1 control is ESC and a character: U+009B (CSI) does what ESC [ does.
            shown += "^[";
            shown += static_cast<char>(next - 0x40);
            ++i;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

} // namespace hxask
