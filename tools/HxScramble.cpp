// hxscramble: scrambles a secret, such as a password a configuration file has to hold, so that
// it is not in plain sight, and restores it.
//
// Texts come from the argument, from a hidden prompt (standard input a terminal, no argument)
// or from standard input one line at a time (a pipe or a file). Each text is checked in full
// before anything is printed for it, so a bad line never leaves half a result behind; the first
// bad line ends the run, so the results printed so far still pair up with their input lines.
#include "QAsciiCrypt.h"
#include "QHxConsole.h"
#include "QSimpleCrypt.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{

enum Status { kDone = 0, kBadInput = 1, kUsageError = 2 };

const char kUsage[] = "usage: hxscramble [--simple] [--hex] [--restore] [--] [TEXT]\n";

const char kHelp[] =
    "Scrambles a secret, such as a password for a configuration file, and restores it.\n"
    "\n"
    "The scrambling keeps text out of plain sight. It is not encryption: there is no key,\n"
    "and anyone with the hxconsole library can restore the text.\n"
    "\n"
    "With TEXT, handles that one text (other users may see a command line: prefer the\n"
    "prompt or a pipe for a real secret). Otherwise, on a terminal, asks for a password\n"
    "without echo, at most 30 characters; from a pipe or a file, handles each line of\n"
    "standard input and prints one line for each.\n"
    "\n"
    "  --simple   use the simple cipher: takes all of printable ASCII, and since its\n"
    "             output can hold bytes of 128 or more, writes it as hex\n"
    "  --hex      write scrambled text as hex digits (with --restore: read it as hex)\n"
    "  --restore  restore scrambled text instead of scrambling plain text\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "The default ASCII cipher takes a blank, digits, letters and the punctuation up to 'z'\n"
    "(not '{', '|', '}' or '~'), and writes visible ASCII that can go straight into a text\n"
    "file. Put -- before a TEXT that begins with '-'.\n"
    "\n"
    "Exit status: 0 when every text was handled; 1 for bad input (nothing is printed for\n"
    "the bad text, and no later line is read); 2 for a usage error.\n";

// The hidden read takes at most 31 characters, its newline included, and leaves the rest of
// a longer line unread. A password that comes back with 31 characters had no newline within
// the limit, so it may be the first part of a longer one: only 30 are known to be whole.
const size_t kHiddenLimit = 31;
const size_t kPasswordBufferSize = 32;

// Decrypt's answer for a byte that its row does not hold.
const char kNotInRow = 31;

void Complain(const std::string& text)
{
    fprintf(stderr, "hxscramble: %s\n", text.c_str());
}

[[nodiscard]] Status UsageError(const std::string& text)
{
    Complain(text);
    fputs(kUsage, stderr);
    return kUsageError;
}

// How a complaint shows a character: quoted when it can be seen, as a byte value otherwise.
std::string Describe(unsigned char c)
{
    char text[16];
    if (c == ' ')
        return "a blank";
    if (c > ' ' && c < 127)
        snprintf(text, sizeof text, "'%c'", c);
    else
        snprintf(text, sizeof text, "byte 0x%02x", c);
    return text;
}

// The two ciphers share no base class; this puts the chosen one behind one face, together
// with the range of characters it takes (both start at the blank).
class Cipher
{
  public:
    explicit Cipher(bool simple) : m_simple(simple) {}

    const char* Name() const
    {
        return m_simple ? "the simple cipher" : "the ASCII cipher";
    }

    const char* Range() const
    {
        return m_simple ? "printable ASCII" : "a blank to 'z'; --simple takes all printable ASCII";
    }

    bool Takes(unsigned char c) const
    {
        return c >= ' ' && c <= (m_simple ? 127 : 'z');
    }

    std::string Encrypt(const std::string& plain)
    {
        std::string out(plain.size(), '\0');
        if (m_simple)
            m_simpleCipher.Encrypt(plain.data(), out.data(), plain.size());
        else
            m_asciiCipher.Encrypt(plain.data(), out.data(), plain.size());
        return out;
    }

    std::string Decrypt(const std::string& scrambled)
    {
        std::string out(scrambled.size(), '\0');
        int len = static_cast<int>(scrambled.size());
        if (m_simple)
            m_simpleCipher.Decrypt(scrambled.data(), out.data(), len);
        else
            m_asciiCipher.Decrypt(scrambled.data(), out.data(), len);
        return out;
    }

  private:
    bool m_simple;
    QHxSimpleCrypt m_simpleCipher;
    QHxAsciiCrypt m_asciiCipher;
};

struct Options {
    bool simple = false;
    bool hex = false;
    bool restore = false;
    const char* text = nullptr;
};

std::string ToHex(const std::string& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One text to handle and how complaints about it name it.
struct Text {
    std::string where; // "line 3", "the argument", "the password"
    std::string content;
    bool secret = false; // complaints give positions only, never the characters
};

class Scrambler
{
  public:
    explicit Scrambler(const Options& options) : m_options(options), m_cipher(options.simple) {}

    // Prints the result for one text on a line of its own, or complains on standard error.
    bool Handle(const Text& text)
    {
        std::string result;
        std::string problem = m_options.restore ? Restore(text, result) : Scramble(text, result);
        if (!problem.empty()) {
            Complain(text.where + ": " + problem);
            return false;
        }
        result += '\n';
        fwrite(result.data(), 1, result.size(), stdout);
        return true;
    }

  private:
    // Returns what is wrong with the text, or nothing with the result set.
    std::string Scramble(const Text& text, std::string& result)
    {
        const std::string& plain = text.content;
        for (size_t i = 0; i < plain.size(); ++i) {
            if (!m_cipher.Takes(plain[i])) {
                std::string which = text.secret ? "" : " (" + Describe(plain[i]) + ")";
                return "character " + std::to_string(i + 1) + which + " is outside the range of " +
                       m_cipher.Name() + " (" + m_cipher.Range() + ")";
            }
        }
        std::string scrambled = m_cipher.Encrypt(plain);
        // The simple cipher's output can hold bytes that no text file should carry raw.
        result = m_options.hex || m_options.simple ? ToHex(scrambled) : scrambled;
        return "";
    }

    std::string Restore(const Text& text, std::string& result)
    {
        bool hex = m_options.hex || m_options.simple;
        std::string scrambled;
        if (hex) {
            std::string problem = FromHex(text.content, scrambled);
            if (!problem.empty())
                return problem;
        } else {
            scrambled = text.content;
        }

        result = m_cipher.Decrypt(scrambled);
        // Every byte a cipher writes is in all of its rows; anything else comes back as
        // kNotInRow, which is outside both input ranges and so cannot be a restored character.
        size_t bad = result.find(kNotInRow);
        if (bad == std::string::npos)
            return "";
        std::string which =
            hex ? "byte " + std::to_string(bad + 1) + " (0x" + ToHex(scrambled.substr(bad, 1)) + ")"
                : "character " + std::to_string(bad + 1) + " (" + Describe(scrambled[bad]) + ")";
        return which + " is not something " + m_cipher.Name() + " writes";
    }

    static std::string FromHex(const std::string& hex, std::string& bytes)
    {
        for (size_t i = 0; i < hex.size(); ++i)
            if (HexValue(hex[i]) < 0)
                return "character " + std::to_string(i + 1) + " (" + Describe(hex[i]) +
                       ") is not a hex digit";
        if (hex.size() % 2 != 0)
            return "odd number of hex digits (" + std::to_string(hex.size()) + ")";
        for (size_t i = 0; i < hex.size(); i += 2)
            bytes += static_cast<char>(HexValue(hex[i]) * 16 + HexValue(hex[i + 1]));
        return "";
    }

    const Options& m_options;
    Cipher m_cipher;
};

Status HandleLines(Scrambler& scrambler)
{
    char* line = nullptr;
    size_t capacity = 0;
    Status status = kDone;
    for (long number = 1;; ++number) {
        ssize_t length = getline(&line, &capacity, stdin);
        if (length < 0)
            break;
        Text text{"line " + std::to_string(number), std::string(line, length), false};
        if (!text.content.empty() && text.content.back() == '\n')
            text.content.pop_back();
        if (!scrambler.Handle(text)) {
            status = kBadInput;
            break;
        }
    }
    free(line);
    if (status == kDone && ferror(stdin)) {
        Complain(std::string("cannot read standard input: ") + strerror(errno));
        status = kBadInput;
    }
    return status;
}

// Asks for the password on the terminal with echo off. The console prints its prompt on
// standard output; it is sent to standard error for the length of the question, so that
// standard output carries the scrambled line alone (`secret=$(hxscramble)` still shows the
// prompt to the operator).
Status AskPassword(Scrambler& scrambler)
{
    QHxConsole console;
    char password[kPasswordBufferSize] = {}; // must start empty, or nothing is asked

    fflush(stdout);
    int savedOutput = dup(STDOUT_FILENO);
    if (savedOutput >= 0)
        dup2(STDERR_FILENO, STDOUT_FILENO);
    int result = console.ReadPassword(password, nullptr);
    fflush(stdout);
    if (savedOutput >= 0) {
        dup2(savedOutput, STDOUT_FILENO);
        close(savedOutput);
    }

    if (result < 0) {
        Complain("no password was read");
        return kBadInput;
    }
    size_t length = strlen(password);
    if (length >= kHiddenLimit) {
        Complain("the password may have been cut: the hidden read takes at most " +
                 std::to_string(kHiddenLimit - 1) + " characters; nothing was scrambled");
        return kBadInput;
    }
    if (length == 0) {
        Complain("no password was typed; nothing was scrambled");
        return kBadInput;
    }
    return scrambler.Handle(Text{"the password", password, true}) ? kDone : kBadInput;
}

// Sets exitNow when the run ends with the arguments (help, version, a usage error) and returns
// the status to exit with.
Status ParseArguments(int argc, char** argv, Options& options, bool& exitNow)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnded = true;
            } else if (arg == "--simple") {
                options.simple = true;
            } else if (arg == "--hex") {
                options.hex = true;
            } else if (arg == "--restore") {
                options.restore = true;
            } else if (arg == "--help") {
                fputs(kUsage, stdout);
                fputs("\n", stdout);
                fputs(kHelp, stdout);
                exitNow = true;
                return kDone;
            } else if (arg == "--version") {
                printf("hxscramble (hxconsole) %s\n", HXCONSOLE_VERSION);
                exitNow = true;
                return kDone;
            } else {
                exitNow = true;
                return UsageError("unknown option '" + arg + "'");
            }
        } else if (options.text != nullptr) {
            exitNow = true;
            return UsageError("one TEXT at most; quote a text that holds blanks");
        } else {
            options.text = argv[i];
        }
    }
    return kDone;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    bool exitNow = false;
    Status status = ParseArguments(argc, argv, options, exitNow);
    if (!exitNow) {
        Scrambler scrambler(options);
        if (options.text != nullptr)
            status =
                scrambler.Handle(Text{"the argument", options.text, false}) ? kDone : kBadInput;
        else if (!options.restore && isatty(STDIN_FILENO))
            status = AskPassword(scrambler);
        else
            status = HandleLines(scrambler);
    }
    // A result that never reached its reader (a full disk, a closed pipe) is a failure too.
    if (fflush(stdout) != 0 && status == kDone) {
        Complain(std::string("cannot write standard output: ") + strerror(errno));
        status = kBadInput;
    }
    return status;
}
