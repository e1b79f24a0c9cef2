// hxask: asks the operator one question with the console library and hands the answer to a
// shell script.
//
// The console shows its dialogue on standard output, but a script captures the answer with
// $(hxask ...). So the dialogue is moved to the operator's terminal (or standard error) and
// standard output carries the answer alone. Each answer is one whole line of standard input,
// checked here in full (AnswerLine, AnswerCheck), so a script can also answer from a file or
// a pipe.
#include "AnswerCheck.h"
#include "AnswerLine.h"
#include "AskRequest.h"
#include "QHxConsole.h"
#include "Stream.h"
#include "ToolCommon.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

using hxask::Request;

enum Status { kAnswered = 0, kDeclined = 1, kUsageError = 2, kNoInput = 3, kRefused = 4 };

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
    "The question, and any complaint about an answer, goes to the terminal (/dev/tty), or\n"
    "to standard error when there is none; standard output carries the answer alone.\n"
    "An answer is one whole line of standard input, and hxask reads no byte past it, so\n"
    "several questions can be answered from one file or pipe, a line each.\n"
    "\n"
    "  int       a whole number: blanks, a sign and digits; any int, or one from --min\n"
    "            to --max\n"
    "  yesno     y, yes, n or no, in any case; prints nothing: the exit status is the\n"
    "            answer\n"
    "  string    a line of at most --max characters of UTF-8 text (default 255)\n"
    "  password  a line typed without echo, at most 30 bytes; standard input must be a\n"
    "            terminal; --confirm asks twice\n"
    "  choose    a numbered menu of the ITEMs, answered with a number or x; prints the\n"
    "            chosen ITEM (--number: its number, counting from 1)\n"
    "  range     the same menu, answered with a number, FROM-TO, ALL or x; prints the\n"
    "            chosen ITEMs, one a line\n"
    "  pause     shows MESSAGE and waits for Enter\n"
    "\n"
    "  --default     what an empty line answers; without one, an empty line to int\n"
    "                ends with status 1, and to the others is refused\n"
    "  --min, --max  the range of int, given together\n"
    "  --max         the longest string, 1 to 65536 characters\n"
    "  --title       the line above a menu\n"
    "  --exit-label  the text of a menu's [x] entry (default Cancel)\n"
    "  --help, -h    show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Put -- before a PROMPT or ITEM that begins with '-'. Control characters in the texts\n"
    "are shown as ^[ and the like; an ITEM is printed exactly as given. int, yesno and the\n"
    "menus refuse a line longer than 4096 bytes.\n"
    "\n"
    "A refused answer is asked again, with the reason, when standard input is a terminal;\n"
    "otherwise hxask gives the reason and ends with status 4, leaving the next line for\n"
    "the next question.\n"
    "\n"
    "Exit status: 0 answered; 1 the answer was no, the menu's exit entry x, or an empty\n"
    "line to int without --default; 2 usage error; 3 end of input, or a failed read or\n"
    "write, also when the reader of the answer is gone (SIGPIPE is ignored); 4 an answer\n"
    "refused.\n";

const hxtool::ToolText kTool = {"hxask", kUsage, kHelp};

const int kDefaultTextLimit = 255;
// A terminal's line holds at most 4095 characters; this bound only keeps the buffer sane.
const int kLargestTextLimit = 65536;
// A UTF-8 character takes at most four bytes.
const size_t kLongestCharacter = 4;
// The longest line any other answer may be, in bytes: a terminal's line and its newline.
const size_t kLongestLine = 4096;

const char kChoicePrompt[] = "Enter item number: ";
const char kRangePrompt[] =
    "Enter a specific number (#) or a range (FROM#-TO#) or (ALL) or (x)to exit  : ";
const char kPressAnyKey[] = "Press any key to continue ...";

// Complaints quote the command line, so they are shown visibly too.
void Complain(const std::string& text)
{
    hxtool::Complain(kTool, hxask::Visible(text));
}

[[nodiscard]] Status UsageError(const std::string& text)
{
    return static_cast<Status>(hxtool::UsageError(kTool, hxask::Visible(text)));
}

// "Port (1-65535, Enter for 8080) : ": the question's text, shown visibly, and what it takes.
std::string Prompt(const char* text, const std::string& hint)
{
    return hxask::Visible(text) + (hint.empty() ? "" : " (" + hint + ")") + " : ";
}

// Writes the answer to the descriptor the script reads; a failure is a failed question.
Status Deliver(int answers, const char* text, size_t size)
{
    int error = hxtool::WriteAll(answers, text, size);
    if (error == 0)
        return kAnswered;
    hxtool::ReportWriteFailure(kTool, error);
    return kNoInput;
}

Status Deliver(int answers, const std::string& text)
{
    return Deliver(answers, text.data(), text.size());
}

// The status of a question that was not answered, after its complaint.
Status Unanswered(bool ended, const std::string& why)
{
    Complain(why);
    return ended ? kNoInput : kRefused;
}

// Asks `question` until an answer is taken, into `line`: kAnswered, or the status of a
// question that was not answered.
Status Ask(const hxask::LineQuestion& question, std::string& line)
{
    QHxConsole console;
    std::string why;
    hxask::Answered answered = hxask::AskLine(console, question, line, why);
    if (answered == hxask::Answered::kTaken)
        return kAnswered;
    return Unanswered(answered == hxask::Answered::kEnded, why);
}

Status AskInt(const Request& request, int answers)
{
    int min = INT_MIN, max = INT_MAX, fallback = 0;
    for (auto [option, value] :
         {std::pair{"--min", &min}, {"--max", &max}, {"--default", &fallback}}) {
        std::string problem = request.Number(option, INT_MIN, INT_MAX, *value);
        if (!problem.empty())
            return UsageError(problem);
    }
    bool ranged = request.Value("--min") != nullptr;
    if (ranged != (request.Value("--max") != nullptr))
        return UsageError("--min and --max go together");
    if (min > max)
        return UsageError("--min " + std::to_string(min) + " is above --max " +
                          std::to_string(max));
    bool hasDefault = request.Value("--default") != nullptr;
    if (hasDefault && (fallback < min || fallback > max))
        return UsageError("--default " + std::to_string(fallback) + " is outside " +
                          std::to_string(min) + " to " + std::to_string(max));

    std::string hint;
    if (ranged)
        hint = std::to_string(min) + (min < 0 ? " to " : "-") + std::to_string(max);
    if (hasDefault)
        hint += (ranged ? ", Enter for " : "Enter for ") + std::to_string(fallback);
    int value = fallback;
    hxask::LineQuestion question{Prompt(request.Operand(0), hint), kLongestLine,
                                 "not a whole number", [&](const std::string& line) {
                                     return line.empty()
                                                ? std::string()
                                                : hxask::CheckNumber(line, min, max, value);
                                 }};
    std::string line;
    if (Status status = Ask(question, line); status != kAnswered)
        return status;
    if (line.empty() && !hasDefault)
        return kDeclined;
    return Deliver(answers, std::to_string(value) + "\n");
}

Status AskYesNo(const Request& request, int)
{
    const std::string* fallback = request.Value("--default");
    if (fallback != nullptr && *fallback != "yes" && *fallback != "no")
        return UsageError("--default takes yes or no, not '" + *fallback + "'");

    bool yes = false;
    const std::string hint = fallback == nullptr ? "y/n" : "y/n, Enter for " + *fallback;
    hxask::LineQuestion question{Prompt(request.Operand(0), hint), kLongestLine,
                                 "not y, yes, n or no", [&](const std::string& line) {
                                     if (!line.empty() || fallback == nullptr)
                                         return hxask::CheckYesNo(line, yes);
                                     yes = *fallback == "yes";
                                     return std::string();
                                 }};
    std::string line;
    if (Status status = Ask(question, line); status != kAnswered)
        return status;
    return yes ? kAnswered : kDeclined;
}

Status AskString(const Request& request, int answers)
{
    int limit = kDefaultTextLimit;
    std::string problem = request.Number("--max", 1, kLargestTextLimit, limit);
    if (!problem.empty())
        return UsageError(problem);
    const std::string* fallback = request.Value("--default");
    if (fallback != nullptr && hxask::Characters(*fallback) > static_cast<size_t>(limit))
        return UsageError("--default is longer than --max (" + std::to_string(limit) + ")");

    std::string hint;
    if (fallback != nullptr)
        hint = fallback->empty() ? "Enter for an empty answer"
                                 : "Enter for " + hxask::Visible(*fallback);
    const std::string tooLong =
        "the answer is longer than " + std::to_string(limit) + " characters";
    hxask::LineQuestion question{
        Prompt(request.Operand(0), hint), static_cast<size_t>(limit) * kLongestCharacter, tooLong,
        [&](const std::string& line) {
            if (line.empty())
                return std::string(fallback != nullptr ? "" : "the answer is empty");
            return hxask::Characters(line) > static_cast<size_t>(limit) ? tooLong : "";
        }};
    std::string line;
    if (Status status = Ask(question, line); status != kAnswered)
        return status;
    return Deliver(answers, (line.empty() ? *fallback : line) + "\n");
}

Status AskPassword(const Request& request, int answers)
{
    const std::string prompt =
        hxask::Visible(request.Operand(0) != nullptr ? request.Operand(0) : "Password");
    const std::string again = prompt + " (again)";
    hxtool::ProtectSecrets();
    QHxConsole console;
    for (;;) {
        hxtool::Secret password;
        hxtool::Asked asked = hxtool::AskPassword(
            console, prompt.c_str(), request.confirm ? again.c_str() : nullptr, true, password);
        if (asked == hxtool::Asked::kTyped) {
            // The spare byte past the text takes the newline, so the answer goes out in one
            // write, and no copy of it is made.
            char* text = password.Text();
            text[password.Length()] = '\n';
            return Deliver(answers, text, password.Length() + 1);
        }
        std::string why = hxtool::WhyNotAsked(asked, "password", "30 bytes", nullptr);
        bool ended = asked == hxtool::Asked::kEnded;
        if (ended || !hxask::AskAgain(why))
            return Unanswered(ended, why);
    }
}

// The menu as the library lays it out, with every text shown visibly.
void ShowMenu(const Request& request)
{
    const char* title = request.Text("--title");
    const char* label = request.Text("--exit-label");
    printf("\n%s:\n\n",
           title != nullptr ? hxask::Visible(title).c_str() : "Please choose one of the following");
    for (size_t i = 0; i < request.operands.size(); ++i)
        printf("   [%zu] %s\n", i + 1, hxask::Visible(request.operands[i]).c_str());
    printf("   [x] %s\n\n", hxask::Visible(label != nullptr ? label : "Cancel").c_str());
}

// A menu of the operands; with `ranges`, one that takes FROM-TO and ALL too. Prints the chosen
// items exactly as given, one a line, or the number of the one chosen (--number).
Status AskMenu(const Request& request, int answers, bool ranges)
{
    ShowMenu(request);
    const size_t count = request.operands.size();
    hxask::MenuChoice choice;
    hxask::LineQuestion question{ranges ? kRangePrompt : kChoicePrompt, kLongestLine,
                                 hxask::MenuRefusal(count, ranges), [&](const std::string& line) {
                                     return hxask::CheckMenuEntry(line, count, ranges, choice);
                                 }};
    std::string line;
    if (Status status = Ask(question, line); status != kAnswered)
        return status;
    if (choice.exit)
        return kDeclined;
    if (request.number)
        return Deliver(answers, std::to_string(choice.from + 1) + "\n");
    std::string chosen;
    for (size_t i = choice.from; i <= choice.to; ++i)
        chosen += request.operands[i] + "\n";
    return Deliver(answers, chosen);
}

Status AskPause(const Request& request, int)
{
    std::string prompt = kPressAnyKey + std::string("\n");
    if (request.Operand(0) != nullptr)
        prompt = hxask::Visible(request.Operand(0)) + "\n" + prompt;
    hxask::LineQuestion question{prompt, kLongestLine, "",
                                 [](const std::string&) { return std::string(); }};
    std::string line;
    return Ask(question, line);
}

// A question: what it takes on its command line, and who asks it.
struct Question {
    hxask::Syntax syntax;
    Status (*ask)(const Request&, int answers);
};

const Question kQuestions[] = {
    {{"int", {"--min", "--max", "--default"}, {}, 1, 1}, AskInt},
    {{"yesno", {"--default"}, {}, 1, 1}, AskYesNo},
    {{"string", {"--default", "--max"}, {}, 1, 1}, AskString},
    {{"password", {}, {"--confirm"}, 0, 1}, AskPassword},
    {{"choose", {"--title", "--exit-label"}, {"--number"}, 1, hxask::kMany},
     [](const Request& request, int answers) { return AskMenu(request, answers, false); }},
    {{"range", {"--title", "--exit-label"}, {}, 1, hxask::kMany},
     [](const Request& request, int answers) { return AskMenu(request, answers, true); }},
    {{"pause", {}, {}, 0, 1}, AskPause},
};

const Question* FindQuestion(const std::string& name)
{
    for (const Question& question : kQuestions)
        if (name == question.syntax.name)
            return &question;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::string* asked = hxask::InformationAsked(args))
        return hxtool::ShowInformation(kTool, *asked, kNoInput);
    if (args.empty())
        return UsageError("no question given");
    const Question* question = FindQuestion(args[0]);
    if (question == nullptr)
        return UsageError("unknown question '" + args[0] + "'");

    Request request;
    std::string problem =
        hxask::ParseRequest(question->syntax, {args.begin() + 1, args.end()}, request);
    if (!problem.empty())
        return UsageError(problem);

    // Unbuffered, the standard input stream reads a byte at a time, and so a hidden read takes
    // its own line from a pipe or a file, not a block of whatever follows too.
    setvbuf(stdin, nullptr, _IONBF, 0);
    int answers = hxtool::DivertDialogue();
    // A reader of the answer that is gone is a failed write, said so, rather than a silent
    // death.
    signal(SIGPIPE, SIG_IGN);
    Status status = question->ask(request, answers);
    fflush(stdout);
    return status;
}
