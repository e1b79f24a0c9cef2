#include "ToolCommon.h"

#include "QHxConsole.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace hxtool
{

namespace
{

// The operator's terminal, whatever the standard descriptors point at: the place a password
// tool asks its questions. -1 without a controlling terminal.
int OpenTerminal()
{
    return open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
}

// Why a hidden read brought nothing. The hidden read goes through the standard input stream,
// which keeps the reason.
std::string WhyNothingRead(const char* what)
{
    if (feof(stdin))
        return "end of input";
    if (!isatty(STDIN_FILENO))
        return std::string("no ") + what + " was read: standard input is not a terminal";
    return std::string("no ") + what + " was read";
}

} // namespace

void Complain(const ToolText& tool, const std::string& text)
{
    fflush(stdout);
    fprintf(stderr, "%s: %s\n", tool.name, text.c_str());
}

int UsageError(const ToolText& tool, const std::string& text)
{
    Complain(tool, text);
    fprintf(stderr, "Try '%s --help'.\n", tool.name);
    return kUsageStatus;
}

bool IsInformation(const std::string& arg)
{
    return arg == "-h" || arg == "--help" || arg == "--version";
}

int ShowInformation(const ToolText& tool, const std::string& arg, int failStatus)
{
    if (arg == "--version")
        printf("%s (hxconsole) %s\n", tool.name, HXCONSOLE_VERSION);
    else
        printf("%s\n%s", tool.usage, tool.help);
    if (fflush(stdout) == 0)
        return 0;
    ReportWriteFailure(tool, errno);
    return failStatus;
}

int DivertDialogue()
{
    // Whatever the stream holds already belongs to the answers.
    fflush(stdout);
    int answers = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (answers < 0)
        return STDOUT_FILENO;

    int terminal = OpenTerminal();
    int dialogue = terminal >= 0 ? terminal : STDERR_FILENO;
    bool moved = dup2(dialogue, STDOUT_FILENO) == STDOUT_FILENO;
    if (terminal >= 0)
        close(terminal);
    if (!moved) {
        close(answers);
        return STDOUT_FILENO;
    }
    return answers;
}

void ReportWriteFailure(const ToolText& tool, int error)
{
    fprintf(stderr, "%s: cannot write standard output: %s\n", tool.name, strerror(error));
}

std::string CannotRead(int error)
{
    return std::string("cannot read standard input: ") + strerror(error);
}

void ReportReadFailure(const ToolText& tool, int error)
{
    Complain(tool, CannotRead(error));
}

void ProtectSecrets()
{
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

Secret::~Secret()
{
    explicit_bzero(m_text, sizeof m_text);
}

Asked Secret::Ask(QHxConsole& console, const char* prompt, int reads, bool emptyAllowed)
{
    m_length = 0;
    for (int i = 0; i < reads && i < kMostReads; ++i) {
        char chunk[kHiddenChunk + 1] = {};
        int got = console.Read(chunk, sizeof chunk, i == 0 ? prompt : nullptr, true);
        if (got < 0)
            return Asked::kEnded;
        memcpy(m_text + m_length, chunk, static_cast<size_t>(got));
        m_length += static_cast<size_t>(got);
        explicit_bzero(chunk, sizeof chunk);
        if (static_cast<size_t>(got) < kHiddenChunk)
            return m_length == 0 && !emptyAllowed ? Asked::kEmpty : Asked::kTyped;
    }
    return Asked::kCut;
}

bool Secret::Matches(const Secret& other) const
{
    return m_length == other.m_length && memcmp(m_text, other.m_text, m_length) == 0;
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
    return second.Matches(secret) ? Asked::kTyped : Asked::kDiffer;
}

std::string WhyNotAsked(Asked asked, const char* what, const char* limit, const char* outcome)
{
    std::string why;
    switch (asked) {
    case Asked::kTyped:
        return "";
    case Asked::kEnded:
        why = WhyNothingRead(what);
        break;
    case Asked::kCut:
        why = std::string("the ") + what + " may have been cut: the hidden read takes at most " +
              limit;
        break;
    case Asked::kEmpty:
        why = std::string("no ") + what + " was typed";
        break;
    case Asked::kDiffer:
        why = std::string("the two ") + what + "s differ";
        break;
    }
    if (outcome == nullptr)
        return why;
    // End of input reads as a cause, the others as a refusal.
    return why + (why == "end of input" ? ": " : "; ") + outcome;
}

} // namespace hxtool
