#include "ToolCommon.h"

#include "QHxConsole.h"
#include "WholeLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace hxtool
{

void Complain(const ToolText& tool, const std::string& text)
{
    fflush(stdout);
    fprintf(stderr, "%s: %s\n", tool.name, text.c_str());
}

int UsageError(const ToolText& tool, const std::string& text)
{
    Complain(tool, text);
    fprintf(stderr, "Try '%s --help'.\n", tool.name);
    return 2;
}

int ReadCommandLine(const ToolText& tool, int argc, char** argv, const LongOption* own,
                    int failStatus, const TakeArgument& take)
{
    const int version = kOwnOption - 1; // -h and --help are 'h'
    std::vector<option> table;
    for (const LongOption* mine = own; mine != nullptr && mine->name != nullptr; ++mine)
        table.push_back({mine->name, mine->takesValue ? required_argument : no_argument, nullptr,
                         kOwnOption + static_cast<int>(table.size())});
    table.push_back({"help", no_argument, nullptr, 'h'});
    table.push_back({"version", no_argument, nullptr, version});
    table.push_back({nullptr, 0, nullptr, 0});
    opterr = 0;
    optind = 0; // afresh, on whatever argv
    int status = -1, c;
    // In order, the argument getopt_long looks at next is optind's (0 stands for 1): no short
    // option goes on in its argument, as each ends the reading.
    for (int at = 1;
         status < 0 && (c = getopt_long(argc, argv, "-:h", table.data(), nullptr)) != -1;
         at = optind) {
        const int mine = (c == '?' || c == ':' ? optopt : c) - kOwnOption;
        if (c != 'h' && c != version) {
            status = take(c, at, mine >= 0 ? own[mine].name : nullptr);
            continue;
        }
        if (c == version)
            printf("%s (hxconsole) %s\n", tool.name, HXCONSOLE_VERSION);
        else
            printf("%s\n%s", tool.usage, tool.help);
        status = fflush(stdout) == 0 ? 0 : failStatus;
        if (status != 0)
            ReportWriteFailure(tool, errno);
    }
    for (; status < 0 && optind < argc; ++optind) {
        optarg = argv[optind];
        status = take(1, optind, nullptr);
    }
    return status;
}

int DivertDialogue()
{
    // Whatever the stream holds already belongs to the answers.
    fflush(stdout);
    // With standard error closed, the next descriptor opened would take its number and the
    // complaints with it: /dev/null takes its place, so the dialogue never joins the answers.
    if (fcntl(STDERR_FILENO, F_GETFD) < 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0 && null != STDERR_FILENO) {
            dup2(null, STDERR_FILENO);
            close(null);
        }
    }
    int answers = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (answers < 0 && errno != EBADF)
        return STDOUT_FILENO;

    // The operator's terminal, whatever the standard descriptors point at; it opens in standard
    // output's place when that is closed.
    int terminal = open("/dev/tty", O_WRONLY | O_NOCTTY);
    int dialogue = terminal >= 0 ? terminal : STDERR_FILENO;
    if (dialogue != STDOUT_FILENO && dup2(dialogue, STDOUT_FILENO) != STDOUT_FILENO) {
        close(answers);
        answers = STDOUT_FILENO;
    }
    if (terminal >= 0 && terminal != STDOUT_FILENO)
        close(terminal);
    return answers;
}

std::string Visible(std::string_view text)
{
    const bool utf8 = strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::string shown;
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text[0]);
        const size_t length = utf8 ? hxconsole::Utf8Length(text) : c < 0x80 ? 1 : 0;
        if (c < 0x20 || c == 0x7F)
            shown.append({'^', static_cast<char>(c ^ 0x40)});
        else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[1]) <= 0x9F)
            shown.append({'^', '[', static_cast<char>(text[1] - 0x40)});
        else if (length == 0 && c <= 0x9F)
            shown.append({'M', '-', '^', static_cast<char>(c - 0x40)});
        else
            shown.append(text.substr(0, length == 0 ? 1 : length));
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return shown;
}

void ReportWriteFailure(const ToolText& tool, int error)
{
    fprintf(stderr, "%s: cannot write standard output: %s\n", tool.name, strerror(error));
}

std::string CannotRead(int error)
{
    return std::string("cannot read standard input: ") + strerror(error);
}

void ProtectSecrets()
{
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

Secret::~Secret()
{
    explicit_bzero(text, sizeof text);
}

Asked Secret::Ask(QHxConsole& console, const char* prompt, int reads, bool emptyAllowed)
{
    length = 0;
    for (int i = 0; i < reads && i < kMostReads; ++i) {
        // Straight into the text, each read over the terminator of the one before.
        int got = console.Read(text + length, kHiddenChunk + 1, i == 0 ? prompt : nullptr, true);
        if (got < 0)
            return Asked::kEnded;
        length += static_cast<size_t>(got);
        if (static_cast<size_t>(got) < kHiddenChunk)
            return length == 0 && !emptyAllowed ? Asked::kEmpty : Asked::kTyped;
    }
    return Asked::kCut;
}

Asked AskPassword(QHxConsole& console, const char* prompt, const char* again, bool emptyAllowed,
                  Secret& secret)
{
    Asked asked = secret.Ask(console, prompt, 1, emptyAllowed);
    if (asked != Asked::kTyped || again == nullptr)
        return asked;
    Secret second;
    if (second.Ask(console, again, 1, true) == Asked::kEnded)
        return Asked::kEnded;
    const bool same =
        second.length == secret.length && memcmp(second.text, secret.text, secret.length) == 0;
    return same ? Asked::kTyped : Asked::kDiffer;
}

std::string WhyNotAsked(Asked asked, const char* what, const char* limit, const char* outcome)
{
    const std::string thing = what;
    // The hidden read goes through the standard input stream, which keeps the reason.
    const bool ended = asked == Asked::kEnded && feof(stdin);
    std::string why =
        ended                    ? "end of input"
        : asked == Asked::kEnded ? "no " + thing + " was read"
        : asked == Asked::kCut
            ? "the " + thing + " may have been cut: the hidden read takes at most " + limit
        : asked == Asked::kEmpty ? "no " + thing + " was typed"
                                 : "the two " + thing + "s differ";
    // End of input reads as a cause, the others as a refusal.
    if (outcome != nullptr)
        why += (ended ? ": " : "; ") + std::string(outcome);
    return why;
}

} // namespace hxtool
