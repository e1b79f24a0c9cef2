// hxscramble as a process: round trips through pipes, every refusal with its status and
// message, and the hidden prompt on a pseudo-terminal.
#include "ChildRun.h"
#include "QAsciiCrypt.h"
#include "QSimpleCrypt.h"

#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace hxtest;

namespace
{

const char kTool[] = HXSCRAMBLE;

// A call that replaces the child with the tool, after `setup` has arranged its descriptors.
Call Exec(
    std::vector<std::string> args, std::function<void()> setup = [] {})
{
    return [args, setup] {
        setup();
        std::vector<char*> argv{const_cast<char*>(kTool)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(kTool, argv.data());
        _exit(127);
        return Outcome{};
    };
}

Transcript Pipe(const std::string& input, std::vector<std::string> args = {})
{
    return RunOnPipe(input, Exec(std::move(args)));
}

// Types `keys` once the hidden read has switched echo off.
Transcript Typed(const std::string& keys, std::vector<std::string> args = {"--no-confirm"})
{
    return RunOnTerminal(Exec(std::move(args)), [keys](hxtest::Terminal& t) {
        if (t.WaitForEcho(false))
            t.Type(keys);
    });
}

// Types `first` at the password prompt and `again` at the one that follows it.
Transcript TypedTwice(
    const std::string& first, const std::string& again, std::function<void()> setup = [] {})
{
    return RunOnTerminal(Exec({}, std::move(setup)), [first, again](hxtest::Terminal& t) {
        if (t.WaitForEcho(false) && t.Answer(first))
            t.Type(again);
    });
}

std::string Hex(const std::string& bytes)
{
    std::string hex;
    char pair[3];
    for (unsigned char c : bytes) {
        snprintf(pair, sizeof pair, "%02x", c);
        hex += pair;
    }
    return hex;
}

std::string Ascii(const std::string& plain)
{
    QHxAsciiCrypt cipher;
    std::string out(plain.size(), '\0');
    cipher.Encrypt(plain.data(), out.data(), plain.size());
    return out;
}

std::string Simple(const std::string& plain)
{
    QHxSimpleCrypt cipher;
    std::string out(plain.size(), '\0');
    cipher.Encrypt(plain.data(), out.data(), plain.size());
    return out;
}

// Texts over the characters first..last: empty, every character once and many times, a run
// long enough to reuse rows, and pseudo-random texts of many lengths.
std::vector<std::string> Texts(char first, char last)
{
    std::vector<std::string> texts{"", "a", std::string(40, 'z')};
    std::string every;
    for (int c = first; c <= last; ++c)
        every += static_cast<char>(c);
    texts.push_back(every);
    // Longer than the block a restored line is checked in.
    texts.push_back(Repeated(5000 / every.size() + 1, every));
    unsigned seed = 12345;
    for (size_t length = 1; length <= 70; length += 3) {
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            seed = seed * 1103515245 + 12345;
            text += static_cast<char>(first + (seed >> 16) % (last - first + 1));
        }
        texts.push_back(text);
    }
    return texts;
}

std::string Lines(const std::vector<std::string>& texts, std::string (*convert)(const std::string&),
                  const char* end = "\n")
{
    std::string lines;
    for (const std::string& text : texts)
        lines += convert(text) + end;
    return lines;
}

std::string AsIs(const std::string& text)
{
    return text;
}
std::string AsciiHex(const std::string& text)
{
    return Hex(Ascii(text));
}
std::string SimpleHex(const std::string& text)
{
    return Hex(Simple(text));
}

// The forms scrambled text takes: the arguments that ask for one, the last character its
// cipher takes (the first is a blank), and how the library called directly writes a text in it.
struct Form {
    std::vector<std::string> args;
    char last;
    std::string (*scrambled)(const std::string&);
};
const Form kForms[] = {
    {{}, 'z', Ascii},
    {{"--hex"}, 'z', AsciiHex},
    {{"--simple"}, 127, SimpleHex},
    {{"--simple", "--hex"}, 127, SimpleHex},
};

} // namespace

TEST(ScrambleOnPipe, RoundTripsManyTextsInEveryForm)
{
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.args.empty() ? "ascii" : form.args.back());
        std::vector<std::string> texts = Texts(' ', form.last);
        std::string plain = Lines(texts, AsIs);

        Transcript scramble = Pipe(plain, form.args);
        EXPECT_EQ(scramble.exitCode, 0);
        EXPECT_EQ(scramble.err, ""); // a pipe never gets a hidden read, nor its complaint
        EXPECT_EQ(scramble.out, Lines(texts, form.scrambled));

        std::vector<std::string> restoreArgs = form.args;
        restoreArgs.push_back("--restore");
        Transcript restore = Pipe(scramble.out, restoreArgs);
        EXPECT_EQ(restore.exitCode, 0);
        EXPECT_EQ(restore.err, "");
        EXPECT_EQ(restore.out, plain);
    }
}

// Inputs that cross each size the tool works in: the read block (128 KiB), which grows for a
// longer line, the output block (64 KiB), the hex chunk and the sixteen bytes checked at once.
// Scrambling reads a regular file, in full blocks; restoring reads a pipe, a pipeful at a time.
TEST(ScrambleOnFile, CrossesEveryBufferInEveryForm)
{
    struct Input {
        const char* name;
        size_t lines;
        size_t longest;
        const char* end;
    };
    const Input inputs[] = {
        {"a line longer than two read blocks", 1, 2 * 128 * 1024 + 45, "\n"},
        {"short lines over several read blocks", 12000, 71, "\n"},
        {"CR LF lines over several read blocks", 12000, 71, "\r\n"},
    };
    char path[] = "/tmp/hxscramble-test-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    close(file);
    for (const Form& form : kForms) {
        for (const Input& input : inputs) {
            SCOPED_TRACE(std::string(input.name) +
                         (form.args.empty() ? "" : " " + form.args.back()));
            // Every character of the range, at every row, in lines of many lengths.
            const int count = form.last - ' ' + 1;
            std::vector<std::string> texts;
            for (size_t i = 0; i < input.lines; ++i) {
                const size_t length =
                    input.lines == 1 ? input.longest : i * 37 % (input.longest + 1);
                std::string text(length, ' ');
                for (size_t k = 0; k < length; ++k)
                    text[k] = static_cast<char>(' ' + (i + k) % count);
                texts.push_back(text);
            }
            FILE* plain = fopen(path, "w");
            ASSERT_NE(plain, nullptr);
            const std::string lines = Lines(texts, AsIs, input.end);
            fwrite(lines.data(), 1, lines.size(), plain);
            fclose(plain);

            Transcript scramble = RunOnPipe(
                "", Exec(form.args, [&path] { dup2(open(path, O_RDONLY), STDIN_FILENO); }));
            EXPECT_EQ(scramble.exitCode, 0);
            EXPECT_EQ(scramble.err, "");
            EXPECT_TRUE(scramble.out == Lines(texts, form.scrambled)); // too long to show

            std::vector<std::string> restoreArgs = form.args;
            restoreArgs.push_back("--restore");
            Transcript restore = Pipe(Lines(texts, form.scrambled, input.end), restoreArgs);
            EXPECT_EQ(restore.exitCode, 0);
            EXPECT_EQ(restore.err, "");
            EXPECT_TRUE(restore.out == Lines(texts, AsIs));
        }
    }
    unlink(path);
}

TEST(ScrambleOnPipe, LastLineNeedsNoNewline)
{
    Transcript run = Pipe("abc\ndef");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Ascii("abc") + "\n" + Ascii("def") + "\n");
}

TEST(ScrambleOnPipe, CrLfLinesLoseTheCr)
{
    Transcript run = Pipe("abc\r\n\r\ndef\r");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Ascii("abc") + "\n\n" + Ascii("def") + "\n");

    run = Pipe(Hex(Simple("abc")) + "\r\n", {"--simple", "--restore"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "abc\n");
}

TEST(ScrambleArgument, HandlesOneTextWhateverStandardInputIs)
{
    Transcript run = Pipe("ignored\n", {"--", "-v x"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Ascii("-v x") + "\n");

    run = Pipe("", {"--restore", "--", Ascii("-v x")});
    EXPECT_EQ(run.out, "-v x\n");

    // On a terminal too: no prompt when the text is given.
    run = RunOnTerminal(Exec({"--simple", "abc"}), [](hxtest::Terminal&) {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Hex(Simple("abc")) + "\n");
    EXPECT_EQ(run.err, "");
}

TEST(ScrambleRefusals, BadInputIsExitOneWithNothingHalfPrinted)
{
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string out;     // the lines before the bad one, and nothing after
        std::string message; // the whole of standard error, or a part of it
        std::string secret;  // the offending byte, which the message must not show
    };
    const Case cases[] = {
        {{},
         "ok\nok{x\nnever\n",
         Ascii("ok") + "\n",
         "hxscramble: line 2: character 3 is a punctuation character outside the range of the "
         "ASCII cipher (a blank to 'z'; --simple takes all printable ASCII)\n",
         "{"},
        {{}, "\xc3\xa9\n", "", "line 1: character 1 is a byte above 127 outside", "\xc3"},
        {{}, std::string("a\0b\n", 4), "", "line 1: character 2 is a control byte", "0x"},
        {{}, "a\x7f\n", "", "line 1: character 2 is a control byte", "0x"},
        {{"--simple"},
         "a\tb\n",
         "",
         "hxscramble: line 1: character 2 is a control byte outside the range of the simple "
         "cipher (printable ASCII and DEL)\n",
         "0x"},
        {{"--simple"}, "x\ry\n", "", "line 1: character 2 is a control byte", "0x"},
        {{"--restore"},
         Ascii("fine") + "\na\"b\n",
         "fine\n",
         "hxscramble: line 2: character 2 is a punctuation character, which the ASCII cipher "
         "never writes\n",
         "\""},
        {{"--restore"}, "a b\n", "", "line 1: character 2 is a blank, which", "' '"},
        {{"--simple", "--restore"},
         "abc\n",
         "",
         "hxscramble: line 1: odd number of hex digits (3)\n",
         "abc"},
        {{"--hex", "--restore"},
         "0g\n",
         "",
         "hxscramble: line 1: character 2 is not a hex digit: it is a letter\n",
         "'g'"},
        {{"--simple", "--restore"},
         "0000\n",
         "",
         "hxscramble: line 1: byte 1 is a control byte, which the simple cipher never writes\n",
         "0x"},
        {{"pass{word"}, "", "", "hxscramble: the argument: character 5 is a punctuation", "{"},
        // Long lines, looked at sixteen bytes at a time: a stranger in the last sixteen, which
        // overlap the ones before, and one the cipher never writes amid sixteen it does.
        {{}, std::string(40, 'a') + "{\n", "", "line 1: character 41 is a punctuation", "{"},
        {{"--restore"},
         Ascii(std::string(20, 'a')) + "\\" + Ascii(std::string(20, 'a')) + "\n",
         "",
         "line 1: character 21 is a punctuation character, which the ASCII",
         "\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Transcript run = Pipe(c.input, c.args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, c.out);
        if (c.message.back() == '\n')
            EXPECT_EQ(run.err, c.message);
        else
            EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(c.secret), std::string::npos) << run.err;
    }
}

TEST(ScrambleRefusals, UsageErrorsAreExitTwoWithAPointerToTheHelp)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--frobnicate"}, "hxscramble: unknown option '--frobnicate'\n"},
        {{"-x"}, "hxscramble: unknown option '-x'\n"},
        {{"one", "two"}, "hxscramble: one TEXT at most; quote a text that holds blanks\n"},
    };
    for (const auto& [args, message] : cases) {
        Transcript run = Pipe("abc\n", args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, message + "Try 'hxscramble --help'.\n");
    }
}

// A result that cannot be written, or input that cannot be read, ends the run at once, with the
// reason; a closed pipe still ends it by SIGPIPE unless the caller ignores that signal.
TEST(ScrambleRefusals, FailedReadsAndWritesEndTheRunWithTheReason)
{
    struct Case {
        const char* name;
        std::function<void()> setup;
        int exitCode;
        int signal;
        std::string err;
    };
    auto closedPipe = [](void (*disposition)(int)) {
        return [disposition] {
            int ends[2];
            if (pipe(ends) == 0) {
                close(ends[0]);
                dup2(ends[1], STDOUT_FILENO);
            }
            signal(SIGPIPE, disposition);
        };
    };
    const Case cases[] = {
        {"full disk",
         [] {
             if (freopen("/dev/full", "w", stdout) == nullptr)
                 _exit(127); // not the exit status expected: the row fails
         },
         1, 0, "hxscramble: cannot write standard output: No space left on device\n"},
        {"closed pipe, SIGPIPE ignored", closedPipe(SIG_IGN), 1, 0,
         "hxscramble: cannot write standard output: Broken pipe\n"},
        {"closed pipe", closedPipe(SIG_DFL), -1, SIGPIPE, ""},
        {"a directory to read", [] { dup2(open("/", O_RDONLY), STDIN_FILENO); }, 1, 0,
         "hxscramble: cannot read standard input: Is a directory\n"},
    };
    const std::string line(5000, 'p');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transcript run = RunOnPipe(line + "\n" + line + "\n", Exec({}, c.setup));
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.signal, c.signal);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(ScrambleInformation, HelpAndVersion)
{
    Transcript help = Pipe("", {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("usage: hxscramble", 0), 0u);
    EXPECT_NE(help.out.find("It is not encryption"), std::string::npos);
    EXPECT_NE(help.out.find("anyone with the hxconsole library can restore the text"),
              std::string::npos);

    EXPECT_EQ(Pipe("", {"-h"}).out, help.out);

    Transcript version = Pipe("", {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "hxscramble (hxconsole) " HXCONSOLE_VERSION "\n");
}

TEST(ScrambleOnTerminal, AsksWithoutEchoAndPrintsOnlyTheScrambledLine)
{
    Transcript run = Typed("hunter2\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Ascii("hunter2") + "\n");
    EXPECT_EQ(run.err, ""); // the prompt goes to the terminal, never to standard output
    EXPECT_NE(run.screen.find("Password : "), std::string::npos);
    EXPECT_EQ(run.screen.find("hunter2"), std::string::npos);

    run = Typed("hunter2\n", {"--simple", "--no-confirm"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Hex(Simple("hunter2")) + "\n");
}

TEST(ScrambleOnTerminal, AsksTwiceOnTheTerminalEvenWithStandardErrorClosed)
{
    Transcript run = TypedTwice("hunter2\n", "hunter2\n", [] { close(STDERR_FILENO); });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Ascii("hunter2") + "\n");
    EXPECT_NE(run.screen.find("Password : \r\nAgain : \r\n"), std::string::npos) << run.screen;
}

TEST(ScrambleOnTerminal, RefusesTwoPasswordsThatDiffer)
{
    Transcript run = TypedTwice("hunter2\n", "hunter3\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "hxscramble: the two passwords differ; nothing was scrambled\n");
}

TEST(ScrambleOnTerminal, RefusesPasswordsItCannotTakeWhole)
{
    const std::string thirty(30, 'p');
    Transcript run = Typed(thirty + "\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Ascii(thirty) + "\n");

    struct Case {
        std::string keys;
        std::string complaint;
    };
    const Case cases[] = {
        {thirty + "q\n", "the password may have been cut"}, // 31: no newline within the limit
        {thirty + "qrstuvwxyz\n", "the password may have been cut"},
        {"\n", "no password was typed"},
        {"\x04", "hxscramble: end of input: nothing was scrambled\n"},
        // The position only: a refused password is not shown, even in part.
        {"pass}word\n", "hxscramble: the password: character 5 is a punctuation character"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        run = Typed(c.keys);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.complaint), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("}"), std::string::npos);
        EXPECT_EQ(run.err.find("qrs"), std::string::npos);
    }
}

// Scrambled text is as secret as the password. As hex it is twice as long as the hidden read
// takes at once, and comes in two reads.
TEST(ScrambleOnTerminal, RestoreAsksWithoutEcho)
{
    const std::string thirty(30, 'p');
    struct Case {
        std::vector<std::string> args;
        std::string keys;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {{"--restore"}, Ascii("shown") + "\n", "shown\n", ""},
        {{"--simple", "--restore"}, Hex(Simple(thirty)) + "\n", thirty + "\n", ""},
        {{"--simple", "--restore"},
         Hex(Simple(thirty)) + "00\n",
         "",
         "hxscramble: the scrambled text may have been cut: the hidden read takes at most 60 hex "
         "digits; nothing was restored\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        Transcript run = Typed(c.keys, c.args);
        EXPECT_EQ(run.exitCode, c.err.empty() ? 0 : 1);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_NE(run.screen.find("Scrambled text : "), std::string::npos);
        EXPECT_EQ(run.screen.find(c.keys.substr(0, 4)), std::string::npos);
    }
}

// A hidden read holds a secret in memory, so the tool is not dumpable: a signal that leaves a
// core file behind (core files allowed, and the working directory a fresh one) leaves none.
TEST(ScrambleOnTerminal, LeavesNoCoreFileWhenKilledAtTheHiddenPrompt)
{
    char directory[] = "/tmp/hxscramble-core-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    auto allowCore = [&directory] {
        rlimit limit{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_CORE, &limit);
        if (chdir(directory) != 0)
            _exit(126);
    };
    Transcript run = RunOnTerminal(Exec({"--no-confirm"}, allowCore), [](hxtest::Terminal& t) {
        if (t.WaitForEcho(false))
            t.Signal(SIGQUIT);
    });
    EXPECT_EQ(run.signal, SIGQUIT);

    std::vector<std::string> left;
    DIR* listing = opendir(directory);
    ASSERT_NE(listing, nullptr);
    while (dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            left.push_back(name);
            unlink((std::string(directory) + "/" + name).c_str());
        }
    }
    closedir(listing);
    rmdir(directory);
    EXPECT_EQ(left, std::vector<std::string>{});
}
