// hxscramble as a process: round trips through pipes, every refusal with its status and
// message, and the hidden prompt on a pseudo-terminal.
#include "ChildRun.h"
#include "QAsciiCrypt.h"
#include "QSimpleCrypt.h"

#include <arpa/inet.h>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace hxtest;

namespace
{

const char kTool[] = HXSCRAMBLE;

// A call that replaces the child with the tool (or `program`), after `setup` has arranged its
// descriptors.
Call Exec(
    std::vector<std::string> args, std::function<void()> setup = [] {}, const char* program = kTool)
{
    return [args, setup, program] {
        setup();
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program, argv.data());
        _exit(127);
        return Outcome{};
    };
}

Transcript Pipe(const std::string& input, std::vector<std::string> args = {})
{
    return RunOnPipe(input, Exec(std::move(args)));
}

// What the harness's pipes cannot do, since they take the whole input at once and read all
// output as it comes: `play` works the other ends of the tool's own input and output pipes (it
// can read a result before the input ends, or read slowly) and hands back what it read. The
// Outcome holds that, and the tool's exit status.
using Player = std::function<std::string(int toTool, int fromTool, pid_t tool)>;
Call Play(std::vector<std::string> args, Player play)
{
    return [args, play] {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            _exit(126);
        const pid_t tool = fork();
        if (tool == 0) {
            Exec(args, [&in, &out] {
                dup2(in[0], STDIN_FILENO);
                dup2(out[1], STDOUT_FILENO);
                for (int fd : {in[0], in[1], out[0], out[1]})
                    close(fd);
            })();
        }
        close(in[0]);
        close(out[1]);
        const std::string got = play(in[1], out[0], tool);
        close(in[1]);
        int status = 0;
        waitpid(tool, &status, 0);
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, got};
    };
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

        // Hex digits are read in either case.
        if (form.scrambled != Ascii) {
            std::string upper = scramble.out;
            for (char& c : upper)
                c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(Pipe(upper, restoreArgs).out, plain);
        }
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

    // A lone '-' is a text like any other, not standard input.
    run = Pipe("ignored\n", {"-"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Ascii("-") + "\n");

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
    // An unknown option may be a secret that begins with '-', or carry escape sequences: it
    // is named by its position, never quoted.
    const std::string unknown = "hxscramble: unknown option in argument ";
    const std::string notShown =
        " (not shown, in case it is the secret); put -- before a TEXT that begins with '-'\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--frobnicate"}, unknown + "1" + notShown},
        {{"--hex", "-MyS3cretPass"}, unknown + "2" + notShown},
        {{"-\x1b]0;X\x07", "--hex"}, unknown + "1" + notShown},
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
// reason; a closed pipe and the file size limit end it as they end tr, by their signals, unless
// the caller ignores them. Help and version that never arrived are failures too.
TEST(ScrambleRefusals, FailedReadsAndWritesEndTheRunWithTheReason)
{
    char path[] = "/tmp/hxscramble-test-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    close(file);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::function<void()> setup;
        int exitCode;
        int signal;
        std::string err;
        std::string written; // what the file at `path` holds afterwards, when given
    };
    auto full = [] {
        if (freopen("/dev/full", "w", stdout) == nullptr)
            _exit(127); // not the exit status expected: the row fails
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
    // Standard input a connection that brings part of a line and is then reset.
    auto resetMidLine = [] {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        auto* named = reinterpret_cast<sockaddr*>(&address);
        const int listener = socket(AF_INET, SOCK_STREAM, 0);
        const int client = socket(AF_INET, SOCK_STREAM, 0);
        if (bind(listener, named, size) != 0 || listen(listener, 1) != 0 ||
            getsockname(listener, named, &size) != 0 || connect(client, named, size) != 0)
            _exit(126);
        const int server = accept(listener, nullptr, nullptr);
        const linger reset{1, 0}; // close sends a reset
        setsockopt(server, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        if (write(server, "abc", 3) != 3)
            _exit(126);
        close(server);
        dup2(client, STDIN_FILENO);
    };
    auto fileLimit = [&path](void (*disposition)(int)) {
        return [&path, disposition] {
            LimitOutputFile(path, 1000);
            signal(SIGXFSZ, disposition);
        };
    };
    const std::string line(5000, 'p');
    const std::string noSpace =
        "hxscramble: cannot write standard output: No space left on device\n";
    const Case cases[] = {
        {"full disk", {}, full, 1, 0, noSpace, ""},
        // One TEXT is written only as the run ends, by the last flush.
        {"full disk, a TEXT", {"abc"}, full, 1, 0, noSpace, ""},
        {"full disk, help", {"--help"}, full, 1, 0, noSpace, ""},
        {"full disk, version", {"--version"}, full, 1, 0, noSpace, ""},
        {"closed pipe, SIGPIPE ignored",
         {},
         closedPipe(SIG_IGN),
         1,
         0,
         "hxscramble: cannot write standard output: Broken pipe\n",
         ""},
        {"closed pipe", {}, closedPipe(SIG_DFL), -1, SIGPIPE, "", ""},
        // What was written stays, and can end in part of a line.
        {"file size limit", {}, fileLimit(SIG_DFL), -1, SIGXFSZ, "", Ascii(line).substr(0, 1000)},
        {"file size limit, SIGXFSZ ignored",
         {},
         fileLimit(SIG_IGN),
         1,
         0,
         "hxscramble: cannot write standard output: File too large\n",
         Ascii(line).substr(0, 1000)},
        {"a directory to read",
         {},
         [] { dup2(open("/", O_RDONLY), STDIN_FILENO); },
         1,
         0,
         "hxscramble: cannot read standard input: Is a directory\n",
         ""},
        // The part of a line read before the failure is neither a result nor the last line.
        {"a read that fails in mid-line",
         {},
         resetMidLine,
         1,
         0,
         "hxscramble: cannot read standard input: Connection reset by peer\n",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transcript run = RunOnPipe(line + "\n" + line + "\n", Exec(c.args, c.setup));
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.signal, c.signal);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
        if (!c.written.empty()) {
            FILE* written = fopen(path, "r");
            ASSERT_NE(written, nullptr);
            std::string held(2000, '\0');
            held.resize(fread(held.data(), 1, held.size(), written));
            fclose(written);
            EXPECT_TRUE(held == c.written) << held.size() << " bytes";
        }
    }
    unlink(path);
}

// Results go out line by line as the input comes, and a write the pipe takes only in part (a
// signal, here a stop, cuts it short) goes on with the rest.
TEST(ScrambleOnPipe, ResultsGoOutWholeAndAtOnce)
{
    auto firstResultFirst = [](int toTool, int fromTool, pid_t) {
        std::string got;
        char chunk[256];
        ssize_t n = write(toTool, "abc\n", 4);
        while (n > 0 && got.find('\n') == std::string::npos) {
            n = read(fromTool, chunk, sizeof chunk);
            got.append(chunk, static_cast<size_t>(std::max<ssize_t>(n, 0)));
        }
        return got;
    };
    // Stops the tool each time the pipe is full and so its write waits for room, then reads a
    // page: the write returns short, and the tool writes the rest.
    auto stopsWhenFull = [](int, int fromTool, pid_t tool) {
        const int capacity = fcntl(fromTool, F_GETPIPE_SZ);
        std::string got;
        std::vector<char> chunk(static_cast<size_t>(std::max(capacity, 4096)));
        for (ssize_t n = 1; n > 0;) {
            int queued = 0;
            for (int i = 0; i < 200 && ioctl(fromTool, FIONREAD, &queued) == 0 && queued < capacity;
                 ++i)
                usleep(1000);
            siginfo_t stopped{};
            if (queued >= capacity && kill(tool, SIGSTOP) == 0 &&
                waitid(P_PID, static_cast<id_t>(tool), &stopped, WSTOPPED | WEXITED | WNOWAIT) ==
                    0 &&
                stopped.si_code == CLD_STOPPED)
                kill(tool, SIGCONT);
            n = read(fromTool, chunk.data(), queued >= capacity ? 4096 : chunk.size());
            got.append(chunk.data(), static_cast<size_t>(std::max<ssize_t>(n, 0)));
        }
        return got;
    };
    std::string text(100000, ' ');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 26);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        Player play;
        std::string out;
    };
    const Case cases[] = {
        {"the first result before the input ends", {}, firstResultFirst, Ascii("abc") + "\n"},
        {"the first result before the input ends, hex",
         {"--simple"},
         firstResultFirst,
         Hex(Simple("abc")) + "\n"},
        {"short writes", {text}, stopsWhenFull, Ascii(text) + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transcript run = RunOnPipe("", Play(c.args, c.play));
        ASSERT_TRUE(run.returned);
        EXPECT_EQ(run.outcome.result, 0);
        EXPECT_TRUE(run.outcome.bytes == c.out) << run.outcome.bytes.size() << " bytes";
        EXPECT_EQ(run.err, "");
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

// With standard output closed too: the result then fails to go out, said so.
TEST(ScrambleOnTerminal, AsksTwiceOnTheTerminalEvenWithStandardErrorClosed)
{
    const std::string failed = "hxscramble: cannot write standard output: Bad file descriptor\n";
    for (int closed : {STDERR_FILENO, STDOUT_FILENO}) {
        Transcript run = TypedTwice("hunter2\n", "hunter2\n", [closed] { close(closed); });
        EXPECT_EQ(run.exitCode, closed == STDOUT_FILENO);
        EXPECT_EQ(run.out, closed == STDOUT_FILENO ? "" : Ascii("hunter2") + "\n");
        EXPECT_EQ(run.err, closed == STDOUT_FILENO ? failed : "");
        EXPECT_NE(run.screen.find("Password : \r\nAgain : \r\n"), std::string::npos) << run.screen;
    }
}

// The second password is compared in full, whatever its length; Ctrl-D there is no answer at
// all, not a second password.
TEST(ScrambleOnTerminal, RefusesTwoPasswordsThatDiffer)
{
    const std::string differ = "hxscramble: the two passwords differ; nothing was scrambled\n";
    const std::pair<std::string, std::string> cases[] = {
        {"hunter3\n", differ},
        {"hunter\n", differ},
        {"\n", differ},
        {"hunter22\n", differ},
        {"\x04", "hxscramble: end of input: nothing was scrambled\n"},
    };
    for (const auto& [again, err] : cases) {
        SCOPED_TRACE(again);
        Transcript run = TypedTwice("hunter2\n", again);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        // Ctrl-D also draws the library's own line about the hidden read, before the complaint.
        EXPECT_TRUE(run.err.size() >= err.size() &&
                    run.err.compare(run.err.size() - err.size(), err.size(), err) == 0)
            << run.err;
    }
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

// A hidden read holds a secret in memory, so the tool is not dumpable, nor is hxask: a signal
// that leaves a core file behind (core files allowed, the working directory a fresh one)
// leaves none.
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
    for (const auto& [program, arg] : {std::pair{kTool, "--no-confirm"}, {HXASK, "password"}}) {
        Transcript run = RunOnTerminal(Exec({arg}, allowCore, program), [](hxtest::Terminal& t) {
            if (t.WaitForEcho(false))
                t.Signal(SIGQUIT);
        });
        EXPECT_EQ(run.signal, SIGQUIT) << program;
    }

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
