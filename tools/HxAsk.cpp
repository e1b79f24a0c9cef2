// hxask: asks the operator one question with the console library and hands the answer to a
// shell script.
//
// The console shows its dialogue on standard output, but a script captures the answer with
// $(hxask ...). So the dialogue is moved to the operator's terminal (or standard error) and
// standard output carries the answer alone. Questions are read from standard input exactly as
// the library reads them, so a script can also answer through a pipe.
#include "InputWatch.h"
#include "QHxConsole.h"
#include "Stream.h"
#include "ToolCommon.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace
{

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
    "Answers are read from standard input, so a script can also answer through a pipe.\n"
    "\n"
    "  int       a number; with --min and --max, one in that range (both 0: any number)\n"
    "  yesno     an answer starting with y is yes, with n is no (lower case only);\n"
    "            prints nothing: the exit status is the answer\n"
    "  string    a line of text of at most --max characters (default 255)\n"
    "  password  a line typed without echo, at most 30 characters; standard input must\n"
    "            be a terminal; --confirm asks twice and refuses a mismatch\n"
    "  choose    a numbered menu of the ITEMs; prints the chosen ITEM (--number: its\n"
    "            number, counting from 1)\n"
    "  range     the same menu, answered with a number, FROM-TO or ALL; prints the chosen\n"
    "            ITEMs, one a line\n"
    "  pause     shows MESSAGE and waits for Enter\n"
    "\n"
    "  --default     what an empty line answers\n"
    "  --title       the line above a menu\n"
    "  --exit-label  the text of a menu's [x] entry, which ends it without a choice\n"
    "  --help, -h    show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Put -- before a PROMPT or ITEM that begins with '-'. On a terminal, whatever is left\n"
    "of the answer's line is discarded, so that the shell never takes it for a command.\n"
    "\n"
    "Exit status: 0 answered; 1 the answer was no, the menu's exit entry x, or an empty\n"
    "line to int without --default; 2 usage error; 3 end of input, or a failed read or\n"
    "write; 4 an answer refused: a password that may have been cut (more than 30\n"
    "characters), passwords that differ (--confirm), text longer than --max or of more\n"
    "than one line.\n";

const hxtool::ToolText kTool = {"hxask", kUsage, kHelp};

const int kDefaultTextLimit = 255;
// A terminal's line holds at most 4095 characters; this bound only keeps the buffer sane.
const int kLargestTextLimit = 65536;

// A menu item's name is a fixed field that keeps room for its terminator.
const size_t kLongestItem = sizeof(_GENERIC_ITEM::name) - 1;

void Complain(const std::string& text)
{
    hxtool::Complain(kTool, text);
}

[[nodiscard]] Status UsageError(const std::string& text)
{
    return static_cast<Status>(hxtool::UsageError(kTool, text));
}

// What came after the question's name: its operands and options.
struct Request {
    std::vector<std::string> operands;
    std::vector<std::pair<std::string, std::string>> values; // --min 1 as {"--min", "1"}
    bool confirm = false;
    bool number = false;

    const std::string* Value(const char* option) const
    {
        const std::string* last = nullptr;
        for (const auto& [name, value] : values)
            if (name == option)
                last = &value;
        return last;
    }

    const char* Text(const char* option) const
    {
        const std::string* value = Value(option);
        return value == nullptr ? nullptr : value->c_str();
    }

    const char* Operand(size_t i) const
    {
        return i < operands.size() ? operands[i].c_str() : nullptr;
    }
};

bool ParseInt(const std::string& text, long low, long high, int& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long number = strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || number < low || number > high)
        return false;
    value = static_cast<int>(number);
    return true;
}

// Reads the option's number, when given, into `value`. Returns what is wrong with it, or
// nothing.
std::string NumberProblem(const Request& request, const char* option, long low, long high,
                          int& value)
{
    const std::string* text = request.Value(option);
    if (text == nullptr || ParseInt(*text, low, high, value))
        return "";
    return std::string(option) + " takes a whole number from " + std::to_string(low) + " to " +
           std::to_string(high) + ", not '" + *text + "'";
}

// Writes the answer to the descriptor the script reads; a failure is a failed question.
Status Deliver(int answers, const std::string& text)
{
    int error = hxtool::WriteAll(answers, text.data(), text.size());
    if (error == 0)
        return kAnswered;
    hxtool::ReportWriteFailure(kTool, error);
    return kNoInput;
}

Status NoInput(const hxask::LastRead& last)
{
    if (last.result < 0)
        Complain(std::string("cannot read standard input: ") + strerror(last.error));
    else
        Complain("end of input");
    return kNoInput;
}

// A plain-read question answered -1. When the read before that brought a line, the operator
// gave it: the exit entry x, or an empty line that had no default. Otherwise input ended or
// failed.
Status Unanswered()
{
    hxask::LastRead last = hxask::LastInputRead();
    return last.result > 0 ? kDeclined : NoInput(last);
}

// Pause reads through the standard input stream, which keeps the reason.
Status PauseUnanswered()
{
    Complain(feof(stdin) ? "end of input" : "cannot read standard input");
    return kNoInput;
}

Status AskInt(const Request& request, int answers)
{
    int min = 0, max = 0, fallback = 0;
    for (auto [option, value] :
         {std::pair{"--min", &min}, {"--max", &max}, {"--default", &fallback}}) {
        std::string problem = NumberProblem(request, option, INT_MIN, INT_MAX, *value);
        if (!problem.empty())
            return UsageError(problem);
    }
    bool ranged = request.Value("--min") != nullptr || request.Value("--max") != nullptr;
    // The library refuses these only once the question is under way, with an answer that
    // looks like end of input; they are the caller's mistakes, so they are caught here.
    if (ranged && (request.Value("--min") == nullptr || request.Value("--max") == nullptr))
        return UsageError("--min and --max go together");
    if (min > max)
        return UsageError("--min " + std::to_string(min) + " is above --max " +
                          std::to_string(max));
    bool hasDefault = request.Value("--default") != nullptr;
    bool checked = min != 0 || max != 0;
    if (hasDefault && checked && (fallback < min || fallback > max))
        return UsageError("--default " + std::to_string(fallback) + " is outside " +
                          std::to_string(min) + " to " + std::to_string(max));

    QHxConsole console;
    int value = 0;
    if (console.ReadInt(request.Operand(0), value, hasDefault ? &fallback : nullptr, min, max) < 0)
        return Unanswered();
    return Deliver(answers, std::to_string(value) + "\n");
}

Status AskYesNo(const Request& request, int)
{
    const std::string* fallback = request.Value("--default");
    int defaultAnswer = 0;
    if (fallback != nullptr && *fallback == "yes")
        defaultAnswer = 1;
    else if (fallback != nullptr && *fallback == "no")
        defaultAnswer = 2;
    else if (fallback != nullptr)
        return UsageError("--default takes yes or no, not '" + *fallback + "'");

    QHxConsole console;
    switch (console.ReadYesNo(request.Operand(0), defaultAnswer)) {
    case 1:
        return kAnswered;
    case 2:
        return kDeclined;
    default:
        return Unanswered();
    }
}

Status AskString(const Request& request, int answers)
{
    int limit = kDefaultTextLimit;
    std::string problem = NumberProblem(request, "--max", 1, kLargestTextLimit, limit);
    if (!problem.empty())
        return UsageError(problem);
    const char* fallback = request.Text("--default");
    if (fallback != nullptr && strlen(fallback) > static_cast<size_t>(limit))
        return UsageError("--default is longer than --max (" + std::to_string(limit) + ")");

    // Room for `limit` characters and the newline, so that a line that fits comes whole; a
    // chunk of limit + 1 characters is a line that did not fit. The last byte stays NUL: the
    // library terminates only what ends in a newline.
    std::vector<char> text(static_cast<size_t>(limit) + 3, '\0');
    QHxConsole console;
    int count = console.ReadString(request.Operand(0), text.data(), limit + 2, fallback);
    if (count < 0)
        return Unanswered();
    if (count > limit) {
        Complain("the answer is longer than " + std::to_string(limit) + " characters");
        return kRefused;
    }
    // A plain read takes whatever is waiting: a pipe that held two lines at once gives both.
    if (memchr(text.data(), '\n', static_cast<size_t>(count)) != nullptr) {
        Complain("the answer holds more than one line: send each answer after its question");
        return kRefused;
    }
    return Deliver(answers, std::string(text.data(), static_cast<size_t>(count)) + "\n");
}

Status AskPassword(const Request& request, int answers)
{
    const char* prompt = request.Operand(0) != nullptr ? request.Operand(0) : "Password";
    std::string again = std::string(prompt) + " (again)";
    hxtool::ProtectSecrets();
    QHxConsole console;
    hxtool::Secret password;
    hxtool::Asked asked = hxtool::AskPassword(
        console, prompt, request.confirm ? again.c_str() : nullptr, true, password);
    if (asked != hxtool::Asked::kTyped) {
        Complain(hxtool::WhyNotAsked(asked, "password", "30 characters", nullptr));
        return asked == hxtool::Asked::kEnded ? kNoInput : kRefused;
    }
    // The spare byte past the text takes the newline, so the answer goes out in one write.
    char* text = password.Text();
    text[password.Length()] = '\n';
    int error = hxtool::WriteAll(answers, text, password.Length() + 1);
    if (error == 0)
        return kAnswered;
    hxtool::ReportWriteFailure(kTool, error);
    return kNoInput;
}

// The menu's items, numbered by their place on the command line so that --number can print
// it. A name the field cannot hold is refused rather than cut: the script would get back a
// text that is none of its items.
bool MenuItems(const std::vector<std::string>& names, std::vector<_GENERIC_ITEM>& items)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].size() > kLongestItem) {
            Complain("item " + std::to_string(i + 1) + " is longer than " +
                     std::to_string(kLongestItem) + " bytes");
            return false;
        }
        _GENERIC_ITEM item{};
        item.id = static_cast<int32_t>(i + 1);
        memcpy(item.name, names[i].data(), names[i].size());
        items.push_back(item);
    }
    return true;
}

Status AskChoice(const Request& request, int answers)
{
    std::vector<_GENERIC_ITEM> items;
    if (!MenuItems(request.operands, items))
        return UsageError("menu items are at most " + std::to_string(kLongestItem) + " bytes");

    QHxConsole console;
    int id =
        console.ListSelect(&items, request.Text("--title"), nullptr, request.Text("--exit-label"));
    if (id < 0)
        return Unanswered();
    const std::string& name = request.operands[static_cast<size_t>(id) - 1];
    return Deliver(answers, (request.number ? std::to_string(id) : name) + "\n");
}

Status AskRange(const Request& request, int answers)
{
    std::vector<_GENERIC_ITEM> items;
    if (!MenuItems(request.operands, items))
        return UsageError("menu items are at most " + std::to_string(kLongestItem) + " bytes");

    QHxConsole console;
    int from = 0, to = 0;
    if (console.ListSelect(&items, &from, &to, request.Text("--title"),
                           request.Text("--exit-label")) < 0)
        return Unanswered();
    std::string chosen;
    for (int i = from; i <= to; ++i)
        chosen += request.operands[static_cast<size_t>(i)] + "\n";
    return Deliver(answers, chosen);
}

Status AskPause(const Request& request, int)
{
    QHxConsole console;
    console.Pause(request.Operand(0));
    return feof(stdin) || ferror(stdin) ? PauseUnanswered() : kAnswered;
}

// What each question takes on its command line, and who asks it.
struct Question {
    const char* name;
    std::vector<std::string> valueOptions; // options followed by a value
    std::vector<std::string> flags;
    size_t fewestOperands;
    size_t mostOperands;
    Status (*ask)(const Request&, int answers);
};

const size_t kMany = static_cast<size_t>(-1);

const Question kQuestions[] = {
    {"int", {"--min", "--max", "--default"}, {}, 1, 1, AskInt},
    {"yesno", {"--default"}, {}, 1, 1, AskYesNo},
    {"string", {"--default", "--max"}, {}, 1, 1, AskString},
    {"password", {}, {"--confirm"}, 0, 1, AskPassword},
    {"choose", {"--title", "--exit-label"}, {"--number"}, 1, kMany, AskChoice},
    {"range", {"--title", "--exit-label"}, {}, 1, kMany, AskRange},
    {"pause", {}, {}, 0, 1, AskPause},
};

bool Lists(const std::vector<std::string>& names, const std::string& name)
{
    for (const std::string& candidate : names)
        if (candidate == name)
            return true;
    return false;
}

// Takes one option at args[i] (and its value, which may be the next argument or follow an
// '='), advancing i past what it used.
Status TakeOption(const Question& question, const std::vector<std::string>& args, size_t& i,
                  Request& request)
{
    std::string option = args[i];
    std::string value;
    size_t equals = option.find('=');
    bool inlineValue = equals != std::string::npos;
    if (inlineValue) {
        value = option.substr(equals + 1);
        option.erase(equals);
    }

    if (Lists(question.flags, option) && !inlineValue) {
        request.confirm = request.confirm || option == "--confirm";
        request.number = request.number || option == "--number";
        return kAnswered;
    }
    if (!Lists(question.valueOptions, option))
        return UsageError("unknown option '" + args[i] + "' for " + question.name);
    if (!inlineValue) {
        if (i + 1 >= args.size())
            return UsageError(option + " needs a value");
        value = args[++i];
    }
    request.values.emplace_back(option, value);
    return kAnswered;
}

Status ParseRequest(const Question& question, const std::vector<std::string>& args,
                    Request& request)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            Status status = TakeOption(question, args, i, request);
            if (status != kAnswered)
                return status;
        } else {
            request.operands.push_back(arg);
        }
    }

    size_t count = request.operands.size();
    if (count < question.fewestOperands)
        return UsageError(std::string(question.name) +
                          (question.mostOperands == 1 ? " needs a PROMPT" : " needs an ITEM"));
    if (count > question.mostOperands)
        return UsageError(std::string(question.name) +
                          " takes one text at most; quote a text that holds blanks");
    return kAnswered;
}

const Question* FindQuestion(const std::string& name)
{
    for (const Question& question : kQuestions)
        if (name == question.name)
            return &question;
    return nullptr;
}

// Help and version, wherever they appear, before anything else: the argument that asks for
// one, or nullptr.
const std::string* InformationAsked(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            return nullptr;
        if (hxtool::IsInformation(arg))
            return &arg;
    }
    return nullptr;
}

// The rest of the answer's line, beyond what the library read, would otherwise be taken by
// the shell as a command once hxask is gone.
void DiscardRestOfLine()
{
    if (isatty(STDIN_FILENO))
        tcflush(STDIN_FILENO, TCIFLUSH);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::string* asked = InformationAsked(args))
        return hxtool::ShowInformation(kTool, *asked, kNoInput);
    if (args.empty())
        return UsageError("no question given");
    const Question* question = FindQuestion(args[0]);
    if (question == nullptr)
        return UsageError("unknown question '" + args[0] + "'");

    Request request;
    Status status = ParseRequest(*question, {args.begin() + 1, args.end()}, request);
    if (status != kAnswered)
        return status;

    int answers = hxtool::DivertDialogue();
    status = question->ask(request, answers);
    fflush(stdout);
    DiscardRestOfLine();
    return status;
}
