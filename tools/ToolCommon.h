// ToolCommon: what the tools share besides their stream of answers: where the dialogue goes,
// how they complain, their usage, help and version, and how they ask for a secret.
#ifndef HXCONSOLE_TOOLS_TOOLCOMMON_H
#define HXCONSOLE_TOOLS_TOOLCOMMON_H

#include <cstddef>
#include <functional>
#include <getopt.h>
#include <string>
#include <string_view>
#include <vector>

class QHxConsole;

namespace hxtool
{

struct ToolText {
    const char* name;  // "hxscramble": the start of every complaint
    const char* usage; // "usage: hxscramble ...\n"
    const char* help;  // what --help adds after the usage and a blank line
};

// "<tool>: <text>" on standard error. Standard output is flushed first: without a terminal
// the dialogue goes to standard error too, and the complaint must come after its question.
// UsageError adds "Try '<tool> --help'." and returns 2, the status of a usage error.
void Complain(const ToolText& tool, const std::string& text);
[[nodiscard]] int UsageError(const ToolText& tool, const std::string& text);

// Reads a command line by getopt_long, quietly, handing options and texts in their order to
// `take` with the number of their argument, until it returns a status to exit with (-1 goes on):
// a text (also after "--") as 1, own option i as kOwnOption + i with its name, the text or value
// in optarg (the next argument, or what follows '=', whatever it looks like). A missing value
// comes as ':', a value given to a flag as '?', and so does an unknown option (with no name),
// each to end the reading. -h, --help and --version are shown at once (`failStatus` on failure).
struct LongOption {
    const char* name; // "max" for --max; a null name ends a table (a null table has none)
    bool takesValue = false;
};
const int kOwnOption = 0x100;
using TakeArgument = std::function<int(int answer, int at, const char* name)>;
int ReadCommandLine(const ToolText& tool, int argc, char** argv, const LongOption* own,
                    int failStatus, const TakeArgument& take);

// Sends standard output from now on to the controlling terminal, or to standard error without
// one (a cron job), or nowhere when that is closed too. Returns a descriptor to the original
// standard output, for the answers; STDOUT_FILENO, shared with the dialogue, if none was made;
// -1 when standard output was closed, so that the answers' write fails and says so.
int DivertDialogue();

// `text` fit to go to a terminal: control characters become visible, as cat -v shows them.
// C0 and DEL in caret notation (ESC is ^[, DEL is ^?). A byte from 0x80 to 0x9F, which an 8-bit
// terminal takes for a C1 control, as M-^@ to M-^_ (0x9B is M-^[); but where the character set
// of LC_CTYPE is UTF-8, one inside a character stays, and a C1 control (U+0080 to U+009F) is
// shown as ESC and its character (CSI, U+009B, is ^[[).
std::string Visible(std::string_view text);

// "cannot write standard output: <reason>", complained; "cannot read standard input: <reason>".
void ReportWriteFailure(const ToolText& tool, int error);
std::string CannotRead(int error);

// Keeps secrets out of core files and out of ptrace's reach: call it before asking for one.
void ProtectSecrets();

enum class Asked { kTyped, kEnded, kCut, kEmpty, kDiffer };

// A line typed without echo, wiped when the Secret goes. The library's hidden read takes at
// most kHiddenChunk bytes, its newline included: a read that fills them had no newline.
struct Secret {
    static const size_t kHiddenChunk = 31;
    static const int kMostReads = 2;

    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret();

    // Asks with `prompt` and reads one line in up to `reads` hidden reads (the later ones, with
    // no prompt, take the rest of the line): kCut when it did not end within them, kEnded when a
    // read brought nothing (end of input or a failure), kEmpty for one empty unless allowed.
    Asked Ask(QHxConsole& console, const char* prompt, int reads, bool emptyAllowed);

    // The reads' characters, and a spare byte for a terminator or a newline.
    char text[kMostReads * kHiddenChunk + 1] = {};
    size_t length = 0;
};

// Asks for a password without echo; when `again` is given, asks once more with it and
// compares. An empty password is kEmpty unless `emptyAllowed`.
Asked AskPassword(QHxConsole& console, const char* prompt, const char* again, bool emptyAllowed,
                  Secret& secret);

// The complaint for a password or other secret (`what`) that was not had, with the tool's
// `outcome` after it when given: "the password may have been cut: the hidden read takes at
// most 30 characters; nothing was scrambled". `limit` says what one hidden read takes.
std::string WhyNotAsked(Asked asked, const char* what, const char* limit, const char* outcome);

} // namespace hxtool

#endif
