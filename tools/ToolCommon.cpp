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

using hxconsole::Utf8Length;

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

namespace
{

const int kVersion = kOwnOption - 1; // --version's answer; -h and --help are 'h'

int ShowInformation(const ToolText& tool, int which, int failStatus)
{
    if (which == kVersion)
        printf("%s (hxconsole) %s\n", tool.name, HXCONSOLE_VERSION);
    else
        printf("%s\n%s", tool.usage, tool.help);
    if (fflush(stdout) == 0)
        return 0;
    ReportWriteFailure(tool, errno);
    return failStatus;
}

} // namespace

int ReadCommandLine(const ToolText& tool, int argc, char** argv, const LongOption* own,
                    int failStatus, const std::function<int(int answer, int at)>& take)
{
    std::vector<option> table;
    for (const LongOption* mine = own; mine->name != nullptr; ++mine)
        table.push_back({mine->name, mine->takesValue ? required_argument : no_argument, nullptr,
                         kOwnOption + static_cast<int>(table.size())});
    table.push_back({"help", no_argument, nullptr, 'h'});
    table.push_back({"version", no_argument, nullptr, kVersion});
    table.push_back({nullptr, 0, nullptr, 0});
    opterr = 0;
    optind = 0; // afresh, on whatever argv
    int status = -1;
    // In order, the argument getopt_long looks at next is optind's (0 stands for 1): a short
    // option never goes on in the same argument, as -h, the only one, ends the reading.
    for (int at = 1, c;
         status < 0 && (c = getopt_long(argc, argv, "-:h", table.data(), nullptr)) != -1;
         at = optind)
        status = c == 'h' || c == kVersion ? ShowInformation(tool, c, failStatus) : take(c, at);
    for (; status < 0 && optind < argc; ++optind) {
        optarg = argv[optind];
        status = take(1, optind);
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
    // A closed standard output has no answers to keep, but the dialogue still needs a place.
    int answers = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (answers < 0 && errno != EBADF)
        return STDOUT_FILENO;

    // The operator's terminal, whatever the standard descriptors point at. With standard
    // output closed, it opens in that place already.
    int terminal = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    int dialogue = terminal >= 0 ? terminal : STDERR_FILENO;
    bool moved = dialogue == STDOUT_FILENO ? fcntl(STDOUT_FILENO, F_SETFD, 0) == 0
                                           : dup2(dialogue, STDOUT_FILENO) == STDOUT_FILENO;
    if (terminal >= 0 && terminal != STDOUT_FILENO)
        close(terminal);
    if (moved)
        return answers;
    if (answers >= 0)
        close(answers);
    return STDOUT_FILENO;
}

std::string Visible(std::string_view text)
{
    // Outside UTF-8, a byte above 127 stands alone, as no character holds it.
    const bool utf8 = strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::string shown;
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text[0]);
        const size_t length = utf8 ? Utf8Length(text) : c < 0x80 ? 1 : 0;
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
        char chunk[kHiddenChunk + 1] = {};
        int got = console.Read(chunk, sizeof chunk, i == 0 ? prompt : nullptr, true);
        if (got < 0)
            return Asked::kEnded;
        memcpy(text + length, chunk, static_cast<size_t>(got));
        length += static_cast<size_t>(got);
        explicit_bzero(chunk, sizeof chunk);
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
    std::string why;
    // The hidden read goes through the standard input stream, which keeps the reason.
    if (asked == Asked::kEnded)
        why = feof(stdin) ? "end of input" : "no " + thing + " was read";
    else if (asked == Asked::kCut)
        why = "the " + thing + " may have been cut: the hidden read takes at most " + limit;
    else if (asked == Asked::kEmpty)
        why = "no " + thing + " was typed";
    else if (asked == Asked::kDiffer)
        why = "the two " + thing + "s differ";
    if (why.empty() || outcome == nullptr)
        return why;
    // End of input reads as a cause, the others as a refusal.
    return why + (why == "end of input" ? ": " : "; ") + outcome;
}

} // namespace hxtool
