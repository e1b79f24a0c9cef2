// hxscramble: scrambles a secret, such as a password a configuration file has to hold, so that
// it is not in plain sight, and restores it.
//
// Each text is checked in full before anything is written for it, and the first bad line ends
// the run, so the results written so far pair up with their input lines; only a write that
// fails or is cut short cuts a result, mid-block. Complaints name a position and the kind of
// byte there, never the byte: the text is a secret, and complaints end up in logs.
#include "Ciphers.h"
#include "QHxConsole.h"
#include "Stream.h"
#include "ToolCommon.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <getopt.h>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

enum Status { kDone = 0, kFailed = 1 };

const char kUsage[] =
    "usage: hxscramble [--simple] [--hex] [--restore] [--no-confirm] [--] [TEXT]\n";

const char kHelp[] =
    "Scrambles a secret, such as a password for a configuration file, and restores it.\n"
    "\n"
    "The scrambling keeps text out of plain sight. It is not encryption: there is no key,\n"
    "and anyone with the hxconsole library can restore the text.\n"
    "\n"
    "With TEXT, handles that one text (other users may see a command line: prefer the\n"
    "prompt or a pipe for a real secret). Otherwise, on a terminal, asks on the terminal\n"
    "without echo: for a password of at most 30 characters, twice, or for the scrambled\n"
    "text to restore (at most 30 characters, 60 hex digits). From a pipe or a file, handles\n"
    "each line of standard input (LF or CR LF) and writes one line for each.\n"
    "\n"
    "  --simple      use the simple cipher: takes printable ASCII and DEL, and since its\n"
    "                output can hold bytes of 128 or more, writes it as hex\n"
    "  --hex         write scrambled text as hex digits (with --restore: read it as hex)\n"
    "  --restore     restore scrambled text instead of scrambling plain text\n"
    "  --no-confirm  ask for the password once only\n"
    "  -h, --help    show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "The default ASCII cipher takes a blank, digits, letters and the punctuation up to 'z'\n"
    "(not '{', '|', '}' or '~'), and writes visible ASCII that can go straight into a text\n"
    "file. Put -- before a TEXT that begins with '-'.\n"
    "\n"
    "Exit status: 0 when every text was handled; 1 for bad input (nothing is written for\n"
    "the bad text or a later line) or when the result cannot be written; 2 for a usage\n"
    "error.\n";

const hxtool::ToolText kTool = {"hxscramble", kUsage, kHelp};

struct Options {
    const hxtool::Cipher* cipher = &hxtool::kCiphers[0];
    bool hex = false; // scrambled text as hex digits: read so to restore it, or written so
    bool restore = false;
    bool confirm = true;
    char* text = nullptr;
};

const char* KindOf(char byte)
{
    const unsigned char c = static_cast<unsigned char>(byte);
    return c < ' ' || c == 127 ? "a control byte"
           : c > 127           ? "a byte above 127"
           : c == ' '          ? "a blank"
           : isdigit(c)        ? "a digit"
           : isalpha(c)        ? "a letter"
                               : "a punctuation character";
}

// What the run does to each text, with the byte sets it checks them against.
struct Job : Options {
    hxtool::ByteSet taken;
    hxtool::ByteSet written;
};

Status WriteFailed(const hxtool::Output& out)
{
    hxtool::ReportWriteFailure(kTool, out.Error());
    return kFailed;
}

// The results so far go out before the complaint, so that on a terminal they stand before it.
Status Refuse(hxtool::Output& out, const std::string& text, const std::string& problem)
{
    if (!out.Flush())
        WriteFailed(out);
    hxtool::Complain(kTool, text + ": " + problem);
    return kFailed;
}

// Queues the bytes as hex digits on a line of their own.
bool WriteHex(hxtool::Output& out, const char* bytes, size_t length)
{
    static const char kDigits[] = "0123456789abcdef";
    char chunk[4096];
    bool written = true;
    for (size_t done = 0; done < length && written; done += sizeof chunk / 2) {
        const size_t n = std::min(length - done, sizeof chunk / 2);
        for (size_t i = 0; i < n; ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[done + i]);
            chunk[2 * i] = kDigits[c >> 4];
            chunk[2 * i + 1] = kDigits[c & 15];
        }
        written = out.Write(chunk, 2 * n);
    }
    explicit_bzero(chunk, sizeof chunk);
    return written && out.Write("\n", 1);
}

// In place: byte i is written where digit 2i was read, never ahead of the reading.
size_t DecodeHex(char* text, size_t length)
{
    auto value = [](char digit) { return digit <= '9' ? digit - '0' : (digit | 0x20) - 'a' + 10; };
    for (size_t i = 0; 2 * i < length; ++i)
        text[i] = static_cast<char>(value(text[2 * i]) * 16 + value(text[2 * i + 1]));
    return length / 2;
}

// Scrambles or restores `text` in place and sets `length` to the length of the result; or, for
// a text it cannot take whole, says what is wrong with it.
std::string Transform(const Job& job, char* text, size_t& length)
{
    const char* unit = "character";
    if (job.restore && job.hex) {
        static const hxtool::ByteSet kHexDigits([](unsigned char c) { return isxdigit(c) != 0; });
        const size_t bad = kHexDigits.FirstOutside(text, length);
        if (bad < length)
            return "character " + std::to_string(bad + 1) + " is not a hex digit: it is " +
                   KindOf(text[bad]);
        if (length % 2 != 0)
            return "odd number of hex digits (" + std::to_string(length) + ")";
        length = DecodeHex(text, length);
        unit = "byte";
    }
    const size_t bad = (job.restore ? job.written : job.taken).FirstOutside(text, length);
    if (bad < length) {
        const std::string name = job.cipher->name;
        return std::string(unit) + " " + std::to_string(bad + 1) + " is " + KindOf(text[bad]) +
               (job.restore ? ", which " + name + " never writes"
                            : " outside the range of " + name + " (" + job.cipher->range + ")");
    }
    (job.restore ? job.cipher->decrypt : job.cipher->encrypt)(text, text, length);
    return {};
}

// One text, from the argument or a prompt; `text` has a name in complaints.
Status HandleText(const Job& job, const char* name, char* text, size_t length, hxtool::Output& out)
{
    const std::string problem = Transform(job, text, length);
    if (!problem.empty())
        return Refuse(out, name, problem);
    const bool queued = job.hex && !job.restore ? WriteHex(out, text, length)
                                                : out.Write(text, length) && out.Write("\n", 1);
    return queued ? kDone : WriteFailed(out);
}

// Each line of standard input, without its LF or CR LF, until input ends or a line fails.
Status HandleLines(const Job& job, hxtool::Output& out)
{
    hxtool::LineReader in(STDIN_FILENO);
    unsigned long long number = 0;
    char* lines;
    size_t size;
    while (in.Read(lines, size)) {
        // Results as long as their lines or shorter gather in place at the front of the block,
        // to go out in one write; they move only after a line that shrank (CR LF, hex).
        char* kept = lines;
        for (char* line = lines; line < lines + size; ++number) {
            char* newline =
                static_cast<char*>(memchr(line, '\n', size - static_cast<size_t>(line - lines)));
            size_t length = static_cast<size_t>(newline - line);
            if (length > 0 && line[length - 1] == '\r')
                --length;
            const std::string problem = Transform(job, line, length);
            if (!problem.empty()) {
                out.Write(lines, static_cast<size_t>(kept - lines));
                return Refuse(out, "line " + std::to_string(number + 1), problem);
            }
            // Hex is longer than its text, so it never goes out in place.
            if (job.hex && !job.restore) {
                if (!WriteHex(out, line, length))
                    return WriteFailed(out);
            } else {
                if (kept != line)
                    memmove(kept, line, length);
                kept[length] = '\n';
                kept += length + 1;
            }
            line = newline + 1;
        }
        // Nothing waits to go out while the reader may wait for input.
        if (!out.Write(lines, static_cast<size_t>(kept - lines)) || !out.Flush())
            return WriteFailed(out);
    }
    if (in.Error() == ENOMEM)
        hxtool::Complain(kTool, "line " + std::to_string(number + 1) + " does not fit in memory");
    else if (in.Error() != 0)
        hxtool::Complain(kTool, hxtool::CannotRead(in.Error()));
    return in.Error() == 0 ? kDone : kFailed;
}

// Asks without echo for the password, or for scrambled text, as secret as the password it
// hides: as hex it is twice as long, so it may take two hidden reads.
Status Ask(const Job& job, hxtool::Output& out)
{
    using hxtool::Asked;
    QHxConsole console;
    hxtool::Secret secret;
    const Asked asked = job.restore
                            ? secret.Ask(console, "Scrambled text", job.hex ? 2 : 1, false)
                            : hxtool::AskPassword(console, "Password",
                                                  job.confirm ? "Again" : nullptr, false, secret);
    if (asked != Asked::kTyped) {
        hxtool::Complain(
            kTool,
            hxtool::WhyNotAsked(asked, job.restore ? "scrambled text" : "password",
                                job.restore && job.hex ? "60 hex digits" : "30 characters",
                                job.restore ? "nothing was restored" : "nothing was scrambled"));
        return kFailed;
    }
    return HandleText(job, job.restore ? "the scrambled text" : "the password", secret.text,
                      secret.length, out);
}

// The TEXT is a secret: no copy is made of it, and an unknown option is named by position.
int ParseArguments(int argc, char** argv, Options& options)
{
    enum { kHex = hxtool::kOwnOption, kRestore, kNoConfirm, kCipher };
    std::vector<hxtool::LongOption> own = {{"hex"}, {"restore"}, {"no-confirm"}};
    // Each cipher but the default, the first, has an option: kCipher picks the second.
    for (size_t i = 1; i < std::size(hxtool::kCiphers); ++i)
        own.push_back({hxtool::kCiphers[i].option});
    own.push_back({nullptr});
    return hxtool::ReadCommandLine(
        kTool, argc, argv, own.data(), kFailed, [&](int c, int at, const char*) {
            if (c == 1 && options.text != nullptr)
                return hxtool::UsageError(kTool,
                                          "one TEXT at most; quote a text that holds blanks");
            if (c == 1)
                options.text = optarg;
            else if (c == kHex)
                options.hex = true;
            else if (c == kRestore)
                options.restore = true;
            else if (c == kNoConfirm)
                options.confirm = false;
            else if (c >= kCipher)
                options.cipher = &hxtool::kCiphers[c - kCipher + 1];
            else
                return hxtool::UsageError(kTool, "unknown option in argument " +
                                                     std::to_string(at) +
                                                     " (not shown, in case it is the secret); put "
                                                     "-- before a TEXT that begins with '-'");
            return -1;
        });
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    const int exitNow = ParseArguments(argc, argv, options);
    if (exitNow >= 0)
        return exitNow;
    hxtool::ProtectSecrets();
    const hxtool::Cipher& cipher = *options.cipher;
    options.hex = options.hex || cipher.hex;
    const Job job{options, hxtool::ByteSet::Taken(cipher), hxtool::ByteSet::Written(cipher)};

    const bool asking = options.text == nullptr && isatty(STDIN_FILENO);
    hxtool::Output out(asking ? hxtool::DivertDialogue() : STDOUT_FILENO);
    Status status;
    if (options.text != nullptr) {
        // The argument is handled in place, and wiped once its result is out.
        const size_t length = strlen(options.text);
        status = HandleText(job, "the argument", options.text, length, out);
        explicit_bzero(options.text, length);
    } else {
        status = asking ? Ask(job, out) : HandleLines(job, out);
    }

    // Refusals and failures were reported where they happened, the last write's included.
    if (status == kDone && !out.Close())
        status = WriteFailed(out);
    return status;
}
