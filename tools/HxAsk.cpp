// hxask: asks the operator one question and hands the answer to a shell script, which captures
// it with $(hxask ...). Each question is a row of kQuestions: its name, how many texts it takes,
// its options and the function that asks it, which checks its options and its answer.
#include "AskLine.h"
#include "QHxConsole.h"
#include "ToolCommon.h"

#include <climits>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace hxask
{

const char kUsage[] = "usage: hxask int PROMPT [--min N --max N] [--default N]\n"
                      "       hxask yesno PROMPT [--default yes|no]\n"
                      "       hxask string PROMPT [--default TEXT] [--max N]\n"
                      "       hxask password [PROMPT] [--confirm]\n"
                      "       hxask choose [--title T] [--exit-label L] [--number] ITEM...\n"
                      "       hxask range [--title T] [--exit-label L] ITEM...\n"
                      "       hxask pause [MESSAGE]\n";

const char kHelp[] =
    "Asks the operator one question and prints the answer, for shell scripts:\n"
    "  copies=$(hxask int \"Copies\" --min 1 --max 9 --default 1) || exit\n"
    "\n"
    "The question goes to the terminal (/dev/tty), or to standard error when there is\n"
    "none; standard output carries the answer alone. An answer is one whole line of\n"
    "standard input, and hxask reads no byte past it: several questions can share one\n"
    "file or pipe, a line each. In a loop that reads a list, answer from the terminal:\n"
    "  while read f; do hxask yesno \"Delete $f\" < /dev/tty && rm -- \"$f\"; done < list\n"
    "\n"
    "  int       a whole number: blanks, a sign and digits; any int, or --min to --max\n"
    "  yesno     y, yes, n or no, in any case; the exit status is the answer\n"
    "  string    a line of at most --max characters of UTF-8 text (default 255)\n"
    "  password  a line of at most 30 bytes, without echo on a terminal; --confirm\n"
    "            asks twice\n"
    "  choose    a numbered menu of the ITEMs, answered with a number or x; prints the\n"
    "            chosen ITEM (--number: its number, counting from 1)\n"
    "  range     the same menu, answered with a number, FROM-TO, ALL or x; prints the\n"
    "            chosen ITEMs, one a line\n"
    "  pause     shows MESSAGE and waits for Enter\n"
    "\n"
    "--default is what an empty line answers; without one, an empty line to int ends\n"
    "with status 1, and to the others is refused. --min and --max go together for int;\n"
    "string's --max is 1 to 65536. A value is the next argument, or follows '=', even one\n"
    "that begins with '-'. --help (-h) and --version, before the question or among its\n"
    "options, show this and the version.\n"
    "\n"
    "Put -- before a PROMPT or ITEM that begins with '-'. Control characters in the texts\n"
    "are shown as ^[ and the like; an ITEM is printed exactly as given. A line longer than\n"
    "4096 bytes is refused, but for string and pause; none may pass 262144 bytes. A\n"
    "refused answer is asked again, with the reason, on a terminal; otherwise hxask gives\n"
    "the reason and ends with status 4.\n"
    "\n"
    "Exit status: 0 answered; 1 the answer was no, the menu's exit entry x, or an empty\n"
    "line to int without --default; 2 usage error; 3 end of input, no memory, or a failed\n"
    "read or write, also when the reader of the answer is gone (SIGPIPE is ignored);\n"
    "4 an answer refused.\n";

const hxtool::ToolText kTool = {"hxask", kUsage, kHelp};

namespace
{

const int kDefaultTextLimit = 255;
const int kLargestTextLimit = 65536; // far beyond a terminal's line; keeps the buffer sane
const size_t kLongestCharacter = 4;  // in UTF-8, in bytes
const char kChoicePrompt[] = "Enter item number: ";
const char kRangePrompt[] =
    "Enter a specific number (#) or a range (FROM#-TO#) or (ALL) or (x)to exit  : ";
const char kPressAnyKey[] = "Press any key to continue ...";

struct Request {
    std::vector<std::string> operands;
    std::map<std::string, std::string> options; // a flag's value is ""; the last value given
    int answers = STDOUT_FILENO;                // where the script reads the answer
};

const std::string* Value(const Request& request, const char* option)
{
    auto found = request.options.find(option);
    return found == request.options.end() ? nullptr : &found->second;
}

[[nodiscard]] Status UsageError(const std::string& text)
{
    return static_cast<Status>(hxtool::UsageError(kTool, hxtool::Visible(text)));
}

// Reads the option's value, when given, as a whole number from `low` to `high` into `value`;
// any other is a usage error.
Status NumberOption(const Request& request, const char* option, long low, long high, int& value)
{
    const std::string* text = Value(request, option);
    long long number = 0;
    if (text == nullptr)
        return kAnswered;
    if (!WholeNumber(*text, number) || number < low || number > high)
        return UsageError(std::string(option) + " takes a whole number from " +
                          std::to_string(low) + " to " + std::to_string(high) + ", not '" + *text +
                          "'");
    value = static_cast<int>(number);
    return kAnswered;
}

Status AskInt(const Request& request)
{
    int min = INT_MIN, max = INT_MAX, fallback = 0;
    for (auto [option, value] :
         {std::pair{"--min", &min}, {"--max", &max}, {"--default", &fallback}}) {
        if (NumberOption(request, option, INT_MIN, INT_MAX, *value) != kAnswered)
            return kUsageError;
    }
    const bool ranged = Value(request, "--min") != nullptr;
    const bool hasDefault = Value(request, "--default") != nullptr;
    const std::string span = std::to_string(min) + " to " + std::to_string(max);
    if (ranged != (Value(request, "--max") != nullptr))
        return UsageError("--min and --max go together");
    if (min > max)
        return UsageError("--min " + std::to_string(min) + " is above --max " +
                          std::to_string(max));
    if (hasDefault && (fallback < min || fallback > max))
        return UsageError("--default " + std::to_string(fallback) + " is outside " + span);

    std::string hint;
    if (ranged)
        hint = std::to_string(min) + (min < 0 ? " to " : "-") + std::to_string(max);
    if (hasDefault)
        hint += (ranged ? ", Enter for " : "Enter for ") + std::to_string(fallback);
    long long value = fallback;
    auto check = [&](const std::string& line) -> std::string {
        value = fallback;
        if (!line.empty() && !WholeNumber(line, value))
            return "not a whole number";
        return line.empty() || (value >= min && value <= max) ? "" : "not from " + span;
    };
    std::string line;
    Status status =
        Ask({Prompt(request.operands[0], hint), kLongestAnswer, "not a whole number", check}, line);
    if (status != kAnswered)
        return status;
    if (line.empty() && !hasDefault)
        return kDeclined;
    return Deliver(request.answers, std::to_string(value) + "\n");
}

Status AskYesNo(const Request& request)
{
    const std::string* fallback = Value(request, "--default");
    if (fallback != nullptr && *fallback != "yes" && *fallback != "no")
        return UsageError("--default takes yes or no, not '" + *fallback + "'");

    const std::string hint = fallback == nullptr ? "y/n" : "y/n, Enter for " + *fallback;
    const char refusal[] = "not y, yes, n or no";
    bool yes = false;
    auto check = [&](const std::string& line) -> std::string {
        std::string_view answer = line.empty() && fallback != nullptr ? *fallback : Trimmed(line);
        yes = Spelled(answer, "y") || Spelled(answer, "yes");
        return yes || Spelled(answer, "n") || Spelled(answer, "no") ? "" : refusal;
    };
    std::string line;
    Status status = Ask({Prompt(request.operands[0], hint), kLongestAnswer, refusal, check}, line);
    return status == kAnswered && !yes ? kDeclined : status;
}

Status AskString(const Request& request)
{
    int limit = kDefaultTextLimit;
    if (NumberOption(request, "--max", 1, kLargestTextLimit, limit) != kAnswered)
        return kUsageError;
    const std::string* fallback = Value(request, "--default");
    bool utf8 = true;
    if (fallback != nullptr && Characters(*fallback, utf8) > static_cast<size_t>(limit))
        return UsageError("--default is longer than --max (" + std::to_string(limit) + ")");

    const std::string hint = fallback == nullptr ? ""
                             : fallback->empty() ? "Enter for an empty answer"
                                                 : "Enter for " + hxtool::Visible(*fallback);
    const std::string tooLong =
        "the answer is longer than " + std::to_string(limit) + " characters";
    auto check = [&](const std::string& line) -> std::string {
        if (line.empty())
            return fallback != nullptr ? "" : "the answer is empty";
        size_t characters = Characters(line, utf8);
        if (!utf8)
            return "not UTF-8 text";
        return characters > static_cast<size_t>(limit) ? tooLong : "";
    };
    std::string line;
    Status status = Ask({Prompt(request.operands[0], hint),
                         static_cast<size_t>(limit) * kLongestCharacter, tooLong, check},
                        line);
    if (status != kAnswered)
        return status;
    return Deliver(request.answers, (line.empty() ? *fallback : line) + "\n");
}

Status AskPassword(const Request& request)
{
    const std::string prompt =
        hxtool::Visible(request.operands.empty() ? "Password" : request.operands[0]);
    const bool confirm = Value(request, "--confirm") != nullptr;
    hxtool::ProtectSecrets();
    if (!isatty(STDIN_FILENO))
        return AskPasswordLines(request.answers, prompt, confirm);

    const std::string again = prompt + " (again)";
    QHxConsole console;
    for (;;) {
        hxtool::Secret password;
        hxtool::Asked asked = hxtool::AskPassword(
            console, prompt.c_str(), confirm ? again.c_str() : nullptr, true, password);
        if (asked == hxtool::Asked::kTyped) {
            // The spare byte past the text takes the newline, so the answer goes out in one
            // write, and no copy of it is made.
            password.text[password.length] = '\n';
            return Deliver(request.answers, {password.text, password.length + 1});
        }
        std::string why = hxtool::WhyNotAsked(asked, "password", "30 bytes", nullptr);
        bool ended = asked == hxtool::Asked::kEnded;
        // Ctrl-D leaves the prompt's line open, as no Enter was echoed.
        if (ended)
            putchar('\n');
        if (ended || !AskAgain(why)) {
            Complain(why);
            return ended ? kNoInput : kRefused;
        }
    }
}

// A menu of the operands, laid out as the library's with every text shown visibly (`ranges`:
// FROM-TO and ALL too). Prints the chosen items as given, one a line, or --number's number.
template <bool ranges>
Status AskMenu(const Request& request)
{
    const std::string* title = Value(request, "--title");
    const std::string* label = Value(request, "--exit-label");
    printf("\n%s:\n\n", title != nullptr ? hxtool::Visible(*title).c_str()
                                         : "Please choose one of the following");
    const size_t count = request.operands.size();
    for (size_t i = 0; i < count; ++i)
        printf("   [%zu] %s\n", i + 1, hxtool::Visible(request.operands[i]).c_str());
    printf("   [x] %s\n\n", label != nullptr ? hxtool::Visible(*label).c_str() : "Cancel");

    const std::string refusal = "not on the menu: type a number from 1 to " +
                                std::to_string(count) +
                                (ranges ? ", a range FROM-TO of them, ALL or x" : " or x");
    const long long items = static_cast<long long>(count);
    long long first = 0, last = 0;
    auto check = [&](const std::string& line) {
        return ReadMenuEntry(line, items, ranges, first, last) ? std::string() : refusal;
    };
    std::string line;
    Status status =
        Ask({ranges ? kRangePrompt : kChoicePrompt, kLongestAnswer, refusal, check}, line);
    if (status != kAnswered)
        return status;
    if (first == 0)
        return kDeclined;
    if (Value(request, "--number") != nullptr)
        return Deliver(request.answers, std::to_string(first) + "\n");
    std::string chosen;
    for (long long i = first; i <= last; ++i)
        chosen += request.operands[static_cast<size_t>(i - 1)] + "\n";
    return Deliver(request.answers, chosen);
}

Status AskPause(const Request& request)
{
    std::string prompt = kPressAnyKey + std::string("\n");
    if (!request.operands.empty())
        prompt = hxtool::Visible(request.operands[0]) + "\n" + prompt;
    std::string line;
    return Ask({prompt, 0, "", nullptr}, line);
}

struct Question {
    const char* name;
    size_t fewestTexts, mostTexts;
    hxtool::LongOption options[4]; // {"max", true}: --max, which takes a value
    Status (*ask)(const Request&);
};

const Question kQuestions[] = {
    {"int", 1, 1, {{"min", true}, {"max", true}, {"default", true}}, AskInt},
    {"yesno", 1, 1, {{"default", true}}, AskYesNo},
    {"string", 1, 1, {{"default", true}, {"max", true}}, AskString},
    {"password", 0, 1, {{"confirm"}}, AskPassword},
    {"choose", 1, SIZE_MAX, {{"title", true}, {"exit-label", true}, {"number"}}, AskMenu<false>},
    {"range", 1, SIZE_MAX, {{"title", true}, {"exit-label", true}}, AskMenu<true>},
    {"pause", 0, 1, {}, AskPause},
};

// Reads the command line: the question's name, then its own options and its texts, mixed;
// before a question, only --help and --version. Returns -1, or the status to exit with at once.
int ReadRequest(int argc, char** argv, const Question*& question, Request& request)
{
    for (const Question& candidate : kQuestions)
        if (argc > 1 && strcmp(argv[1], candidate.name) == 0)
            question = &candidate;
    const std::string whose = question != nullptr ? std::string("' for ") + question->name : "'";
    int status = hxtool::ReadCommandLine(
        kTool, argc, argv, question != nullptr ? question->options : nullptr, kNoInput,
        [&](int c, int at, const char* option) -> int {
            const std::string name = option != nullptr ? std::string("--") + option : "";
            if (c == 1 && question == nullptr)
                return UsageError("unknown question '" + std::string(argv[at]) + "'");
            if (c == 1 && at > 1)
                request.operands.push_back(optarg);
            else if (c != 1 && name.empty())
                return UsageError("unknown option '" + std::string(argv[at]) + whose);
            else if (c == '?' || c == ':')
                return UsageError(name + (c == '?' ? " takes no value" : " needs a value"));
            else if (c != 1)
                request.options[name] = optarg != nullptr ? optarg : "";
            return -1;
        });
    if (status >= 0 || question == nullptr)
        return status >= 0 ? status : UsageError("no question given");
    if (request.operands.size() < question->fewestTexts)
        return UsageError(std::string(question->name) +
                          (question->mostTexts == 1 ? " needs a PROMPT" : " needs an ITEM"));
    if (request.operands.size() > question->mostTexts)
        return UsageError(std::string(question->name) +
                          " takes one text at most; quote a text that holds blanks");
    return -1;
}

// Out of memory, wherever it was asked for: said without taking any, and the end. Nothing
// needs putting back: no allocation is made while the terminal's echo is off.
[[noreturn]] void OutOfMemory()
{
    fflush(stdout);
    fputs("hxask: out of memory\n", stderr);
    _exit(kNoInput);
}

} // namespace

} // namespace hxask

int main(int argc, char** argv)
{
    using namespace hxask;
    std::set_new_handler(OutOfMemory);
    // The character set the terminal shows, for hxtool::Visible.
    setlocale(LC_CTYPE, "");
    const Question* question = nullptr;
    Request request;
    const int status = ReadRequest(argc, argv, question, request);
    if (status >= 0)
        return status;

    // Unbuffered, the standard input stream reads a byte at a time, and so a password's
    // hidden read takes its own line, not a block of whatever was typed after it too.
    setvbuf(stdin, nullptr, _IONBF, 0);
    request.answers = hxtool::DivertDialogue();
    // A reader of the answer that is gone makes a failed write, said so, not a silent death.
    signal(SIGPIPE, SIG_IGN);
    Status answered = question->ask(request);
    fflush(stdout);
    return answered;
}
