// Read, the primitive every prompt ends in: plain reads on a pipe, hidden reads on a
// pseudo-terminal (and their refusal anywhere else); and the answer-line reader, in process.
#include "ChildRun.h"
#include "QHxConsole.h"
#include "WholeLine.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/mman.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace hxtest;

namespace
{

// Set in a child: the how-manieth tcsetattr call from now fails with EIO (0: none does).
int g_failingTcsetattr = 0;

} // namespace

// Stands in for libc's tcsetattr in this program and in the library it loads. Declared
// noexcept to match glibc's declaration.
extern "C" int tcsetattr(int fd, int actions, const termios* attributes) noexcept
{
    using Real = int (*)(int, int, const termios*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "tcsetattr"));
    if (g_failingTcsetattr > 0 && --g_failingTcsetattr == 0) {
        errno = EIO;
        return -1;
    }
    return real(fd, actions, attributes);
}

namespace
{

const size_t kBufSize = 40;

// A buffer full of '#', so that what Read wrote, terminator or not, stands out against it.
struct Guarded {
    char buf[kBufSize];
    Guarded()
    {
        memset(buf, '#', sizeof buf);
    }
    std::string Bytes() const
    {
        return hxtest::Bytes(buf, sizeof buf);
    }
};

// `reads` calls of Read in a row on one console: the first result is Outcome::result, the
// rest go to Outcome::values, and the buffers are concatenated in Outcome::bytes.
Call Reads(int reads, unsigned long size, const char* prompt, bool hidden)
{
    return [=] {
        QHxConsole console(false);
        Outcome outcome;
        for (int i = 0; i < reads; ++i) {
            Guarded g;
            int r = console.Read(g.buf, size, prompt, hidden);
            if (i == 0)
                outcome.result = r;
            else
                outcome.values.push_back(r);
            outcome.bytes += g.Bytes();
        }
        return outcome;
    };
}

std::string Padded(const std::string& text)
{
    return text + std::string(kBufSize - text.size(), '#');
}

const char kPassword[] = "Password";

// A hidden read, then a plain one on the same console: the results, and the bytes of the
// plain buffer (or of the hidden one).
Call HiddenThenPlain(bool plainBytes)
{
    return [plainBytes] {
        QHxConsole console;
        Guarded hidden, plain;
        int r = console.Read(hidden.buf, 128, kPassword, true);
        int next = console.Read(plain.buf, 15, nullptr, false);
        return Outcome{r, {next}, plainBytes ? plain.Bytes() : hidden.Bytes()};
    };
}

} // namespace

TEST(ReadPlain, ShowsPromptAndReplacesFinalNewline)
{
    Transcript run = RunOnPipe("abc\n", Reads(1, 15, "Name", false));
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, 3);
    EXPECT_EQ(run.outcome.bytes, Padded(std::string("abc\0", 4)));
    EXPECT_EQ(run.out, "Name : ");
    EXPECT_EQ(run.err, "");
}

TEST(ReadPlain, NullPromptPrintsNothing)
{
    Transcript run = RunOnPipe("abc\n", Reads(1, 15, nullptr, false));
    EXPECT_EQ(run.outcome.result, 3);
    EXPECT_EQ(run.out, "");
}

TEST(ReadPlain, PromptIsVisibleWhileWaiting)
{
    // Input never comes: the child is killed while blocked in read(2), so only what was
    // flushed before the read reached the pipe.
    Transcript run = RunOnPipe("", Reads(1, 15, "Name", false), false, Millis(300));
    EXPECT_TRUE(run.timedOut);
    EXPECT_EQ(run.out, "Name : ");
}

TEST(ReadPlain, EmptyLineIsZero)
{
    Transcript run = RunOnPipe("\n", Reads(1, 15, "Name", false));
    EXPECT_EQ(run.outcome.result, 0);
    EXPECT_EQ(run.outcome.bytes, Padded(std::string(1, '\0')));
}

TEST(ReadPlain, LongLineComesInChunksOfSize)
{
    Transcript run = RunOnPipe("123456789\n", Reads(2, 7, nullptr, false));
    EXPECT_EQ(run.outcome.result, 7);
    EXPECT_EQ(run.outcome.values, std::vector<int>{2});
    // The first chunk keeps its last digit and is not terminated.
    EXPECT_EQ(run.outcome.bytes, Padded("1234567") + Padded(std::string("89\0", 3)));
}

TEST(ReadPlain, OneReadTakesWhatThePipeHolds)
{
    Transcript run = RunOnPipe("5\n7\n", Reads(2, 7, nullptr, false));
    EXPECT_EQ(run.outcome.result, 3);
    EXPECT_EQ(run.outcome.values, std::vector<int>{-1}); // the 7 is not seen twice
    EXPECT_EQ(run.outcome.bytes.substr(0, kBufSize), Padded(std::string("5\n7\0", 4)));
}

TEST(ReadPlain, LastBytesBeforeEndOfInputStayUnterminated)
{
    Transcript run = RunOnPipe("abc", Reads(1, 15, nullptr, false));
    EXPECT_EQ(run.outcome.result, 3);
    EXPECT_EQ(run.outcome.bytes, Padded("abc"));
}

TEST(ReadPlain, EndOfInputIsMinusOneWithoutMessage)
{
    Transcript run = RunOnPipe("", Reads(1, 15, "Name", false));
    EXPECT_EQ(run.outcome.result, -1);
    EXPECT_EQ(run.outcome.bytes, Padded(""));
    EXPECT_EQ(run.out, "Name : ");
    EXPECT_EQ(run.err, "");
}

TEST(Read, NullBufferDoesNothing)
{
    Transcript run = RunOnPipe("abc\n", [] {
        QHxConsole console(true);
        Guarded g;
        int refused = console.Read(nullptr, 15, "Name", false);
        int next = console.Read(g.buf, 15, nullptr, false);
        return Outcome{refused, {next}, g.Bytes()};
    });
    EXPECT_EQ(run.outcome.result, -1);
    EXPECT_EQ(run.outcome.values, std::vector<int>{3}); // the input is still there
    EXPECT_EQ(run.out, "");
}

TEST(ReadHidden, OffTerminalShowsPromptAndReadsNothing)
{
    Transcript run = RunOnPipe("secret\n", [] {
        QHxConsole console;
        Guarded hidden, plain;
        int refused = console.Read(hidden.buf, 128, kPassword, true);
        int next = console.Read(plain.buf, 15, nullptr, false);
        return Outcome{refused, {next}, hidden.Bytes()};
    });
    EXPECT_EQ(run.outcome.result, -1);
    EXPECT_EQ(run.outcome.values, std::vector<int>{6});
    EXPECT_EQ(run.outcome.bytes, Padded(""));
    EXPECT_EQ(run.out, "Password : ");
    EXPECT_EQ(run.err, "tcgetattr failed with error 25 : 'Inappropriate ioctl for device'\n");
}

TEST(ReadHidden, ReadsWithoutEchoThenEchoesAgain)
{
    // A hidden read, then a plain one: the password must not reach the screen, the second
    // answer must.
    Transcript run = RunOnTerminal(HiddenThenPlain(false), [](Terminal& t) {
        ASSERT_TRUE(t.WaitForEcho(false));
        t.Type("secret\n");
        ASSERT_TRUE(t.WaitForEcho(true));
        t.Type("shown\n");
    });
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, 6);
    EXPECT_EQ(run.outcome.values, std::vector<int>{5});
    // The line is copied with its terminator, then its newline becomes a second NUL.
    EXPECT_EQ(run.outcome.bytes, Padded(std::string("secret\0\0", 8)));
    EXPECT_EQ(run.out, "Password : \n"); // exactly one newline for the unechoed Enter
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.screen.find("secret"), std::string::npos);
    EXPECT_NE(run.screen.find("shown"), std::string::npos);
    EXPECT_TRUE(run.echoAfter);
}

TEST(ReadHidden, LongLineIsCutAt31AndTheRestWaitsInTheStream)
{
    const std::string typed = "abcdefghijklmnopqrstuvwxyz0123456789ABCD"; // 40 characters
    Transcript run = RunOnTerminal(Reads(2, 128, kPassword, true), [&](Terminal& t) {
        ASSERT_TRUE(t.WaitForEcho(false));
        t.Type(typed + "\n"); // typed once: the second read must not wait for more
    });
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, 31);
    EXPECT_EQ(run.outcome.values, std::vector<int>{9});
    EXPECT_EQ(run.outcome.bytes,
              Padded(typed.substr(0, 31) + '\0') + Padded(typed.substr(31) + std::string(2, '\0')));
    EXPECT_EQ(run.out, "Password : \nPassword : \n");
}

TEST(ReadHidden, DiscardsWhatWasTypedAhead)
{
    // The plain read takes "ab" and leaves "cdef\n" unread on the terminal; switching echo
    // off throws that away, so the hidden read waits for a fresh line.
    Transcript run = RunOnTerminal(
        [] {
            QHxConsole console;
            Guarded plain, hidden;
            console.Read(plain.buf, 2, nullptr, false);
            int r = console.Read(hidden.buf, 128, nullptr, true);
            return Outcome{r, {}, hidden.Bytes()};
        },
        [](Terminal& t) {
            t.Type("abcdef\n");
            ASSERT_TRUE(t.WaitForEcho(false));
            t.Type("pw\n");
        });
    EXPECT_EQ(run.outcome.result, 2);
    EXPECT_EQ(run.outcome.bytes, Padded(std::string("pw\0\0", 4)));
}

TEST(ReadHidden, EndOfInputReportsFgetsAndRestoresEcho)
{
    Transcript run = RunOnTerminal(
        [] {
            QHxConsole console;
            Guarded g;
            errno = EBADF; // a stale error number must not show in the report
            int r = console.Read(g.buf, 128, kPassword, true);
            return Outcome{r, {}, g.Bytes()};
        },
        [](Terminal& t) {
            ASSERT_TRUE(t.WaitForEcho(false));
            t.Type("\x04");
        });
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, -1);
    EXPECT_EQ(run.outcome.bytes, Padded(""));
    EXPECT_EQ(run.out, "Password : ");
    EXPECT_EQ(run.err, "fgets failed with error 0 : 'Success'\n");
    EXPECT_TRUE(run.echoAfter);
}

TEST(ReadHidden, LineHoldingNulCountsAsEmpty)
{
    // A NUL (Ctrl-@) anywhere in the line would cut the password short without a word: the
    // line gives no answer, as one that begins with NUL does, and none of it reaches buf.
    const std::string x30(30, 'x');
    const std::string nothing(1, '\0');
    struct Case {
        std::string typed;
        std::vector<int> results; // one hidden read each
        std::string firstBuf;
    } cases[] = {
        {std::string("\0abc\n", 5), {-1}, nothing},
        {std::string("a\0bc\n", 5), {-1}, nothing},
        {std::string("abc\0\n", 5), {-1}, nothing},
        // The last character of the 31 taken; then the first of the rest, which the next read
        // takes from the stream.
        {x30 + std::string("\0\n", 2), {-1}, nothing},
        {x30 + std::string("y\0\n", 3), {31, -1}, x30 + "y" + nothing},
        // Cut short by end of input (Ctrl-D twice), where no newline follows.
        {std::string("ab\0\x04\x04", 5), {-1}, nothing},
        {std::string("ab\x04\x04", 4), {2}, std::string("ab\0", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.typed));
        const int reads = static_cast<int>(c.results.size());
        Transcript run = RunOnTerminal(Reads(reads, 128, kPassword, true), [&](Terminal& t) {
            ASSERT_TRUE(t.WaitForEcho(false));
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type(c.typed);
        });
        ASSERT_TRUE(run.returned);
        std::vector<int> results{run.outcome.result};
        results.insert(results.end(), run.outcome.values.begin(), run.outcome.values.end());
        EXPECT_EQ(results, c.results);
        EXPECT_EQ(run.outcome.bytes.substr(0, kBufSize), Padded(c.firstBuf));
        EXPECT_EQ(run.out, Repeated(reads, "Password : \n"));
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(run.echoAfter);
    }
}

TEST(ReadHidden, AsksAgainAfterEndOfInput)
{
    // Ctrl-D ends one question only: the stream must not remember it for the next one.
    Transcript run = RunOnTerminal(
        [] {
            QHxConsole console;
            Guarded first, plain, second;
            int r = console.Read(first.buf, 128, kPassword, true);
            console.Read(plain.buf, 15, nullptr, false);
            int again = console.Read(second.buf, 128, kPassword, true);
            return Outcome{r, {again}, second.Bytes()};
        },
        [](Terminal& t) {
            ASSERT_TRUE(t.WaitForEcho(false));
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type("\x04");
            ASSERT_TRUE(t.WaitForEcho(true));
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type("go on\n");
            ASSERT_TRUE(t.WaitForEcho(false));
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type("pw\n");
        });
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, -1);
    EXPECT_EQ(run.outcome.values, std::vector<int>{2});
    EXPECT_EQ(run.outcome.bytes, Padded(std::string("pw\0\0", 4)));
}

TEST(ReadHidden, RestoringDropsWhatWasTypedAhead)
{
    // Canonical mode hands fgets one line; the next, typed blind, must not reach the shell or
    // the next question once echo is back.
    Transcript run = RunOnTerminal(HiddenThenPlain(true), [](Terminal& t) {
        ASSERT_TRUE(t.WaitForEcho(false));
        ASSERT_TRUE(t.WaitUntilReading());
        t.Type("pw\nahead\n");
        ASSERT_TRUE(t.WaitForEcho(true));
        ASSERT_TRUE(t.WaitUntilReading());
        t.Type("later\n");
    });
    EXPECT_EQ(run.outcome.result, 2);
    EXPECT_EQ(run.outcome.values, std::vector<int>{5});
    EXPECT_EQ(run.outcome.bytes, Padded(std::string("later\0", 6)));
}

TEST(ReadHidden, LeavesNoCopyInTheStreamBuffer)
{
    Transcript run = RunOnTerminal(
        [] {
            Guarded g;
            int r = QHxConsole().Read(g.buf, 128, kPassword, true);
            return Outcome{
                r, {}, Bytes(stdin->_IO_buf_base, stdin->_IO_buf_end - stdin->_IO_buf_base)};
        },
        [](Terminal& t) {
            ASSERT_TRUE(t.WaitForEcho(false));
            t.Type("s3cret\n");
        });
    EXPECT_EQ(run.outcome.result, 6);
    EXPECT_EQ(run.outcome.bytes.find("s3cret"), std::string::npos);
}

TEST(ReadHidden, EchoThatCannotGoOffReadsNothing)
{
    Transcript run = RunOnTerminal(
        [] {
            QHxConsole console;
            Guarded hidden, plain;
            g_failingTcsetattr = 1;
            int r = console.Read(hidden.buf, 128, kPassword, true);
            int next = console.Read(plain.buf, 15, nullptr, false);
            struct sigaction interrupt, stop;
            sigaction(SIGINT, nullptr, &interrupt);
            sigaction(SIGTSTP, nullptr, &stop);
            return Outcome{r,
                           {next, interrupt.sa_handler == SIG_DFL, stop.sa_handler == SIG_DFL},
                           hidden.Bytes()};
        },
        [](Terminal& t) {
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type("line\n");
        });
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, -1);
    // The line waited for the plain read; the guard is gone again.
    EXPECT_EQ(run.outcome.values, (std::vector<int>{4, 1, 1}));
    EXPECT_EQ(run.outcome.bytes, Padded(""));
    EXPECT_EQ(run.out, "Password : ");
    EXPECT_EQ(run.err, "tcsetattr failed with error 5 : 'Input/output error'\n");
}

TEST(ReadHidden, EchoThatCannotComeBackIsReported)
{
    Transcript run = RunOnTerminal(
        [] {
            Guarded g;
            g_failingTcsetattr = 2;
            int r = QHxConsole().Read(g.buf, 128, kPassword, true);
            return Outcome{r, {}, g.Bytes()};
        },
        [](Terminal& t) {
            ASSERT_TRUE(t.WaitForEcho(false));
            t.Type("pw\n");
        });
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, -1);
    EXPECT_EQ(run.outcome.bytes, Padded("")); // untouched
    EXPECT_EQ(run.out, "Password : ");
    EXPECT_EQ(run.err, "tcsetattr failed with error 5 : 'Input/output error'\n");
}

// The reader every typed prompt, the pause and hxask take their answer line from, called in
// this process on descriptors made here. Each row reads one line and then what the descriptor
// still holds for the next reader.
namespace
{

using hxconsole::kLongestLine;
using hxconsole::ReadWholeLine;
using hxconsole::WholeLine;

enum class Source { Pipe, File, Canonical, Keys, Raw };

// A descriptor to read from, and the end the input is written to (for a file, the same file).
struct Descriptor {
    int read = -1;
    int write = -1;
    ~Descriptor()
    {
        close(read);
        close(write);
    }
};

// `input` as `source` hands it over. A terminal's modes: Keys is a single-key mode (no
// canonical mode, VMIN 0, Enter still turned into a newline); Raw is as after stty raw, where
// Enter stays a carriage return.
bool Open(Source source, const std::string& input, Descriptor& d)
{
    int ends[2] = {-1, -1};
    termios modes{};
    if (source == Source::File) {
        ends[0] = memfd_create("answers", 0);
        ends[1] = dup(ends[0]);
    } else if (source == Source::Pipe) {
        if (pipe(ends) == 0) // room for the longest rows, which the reader sees whole
            fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
    } else if (openpty(&ends[1], &ends[0], nullptr, nullptr, nullptr) == 0) {
        tcgetattr(ends[0], &modes);
        if (source == Source::Raw)
            cfmakeraw(&modes);
        if (source == Source::Keys) {
            modes.c_lflag &= ~ICANON;
            modes.c_cc[VMIN] = 0;
            modes.c_cc[VTIME] = 0;
        }
        modes.c_lflag &= ~ECHO;
        tcsetattr(ends[0], TCSANOW, &modes);
    }
    d.read = ends[0];
    d.write = ends[1];
    if (write(d.write, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        return false;
    if (source == Source::Pipe) {
        close(d.write);
        d.write = -1;
    }
    return source != Source::File || lseek(d.read, 0, SEEK_SET) == 0;
}

// What is left for whoever reads next: all of it, or what a terminal holds just now.
std::string Rest(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::string rest;
    char block[4096];
    for (ssize_t got; (got = read(fd, block, sizeof block)) > 0;)
        rest.append(block, static_cast<size_t>(got));
    return rest;
}

} // namespace

TEST(WholeLine, EndsWhereTheSourceSaysAndLeavesTheRest)
{
    const std::string longest(kLongestLine, 'a');
    struct Case {
        Source source;
        std::string input;
        size_t size;
        bool crlf;
        WholeLine::Status status;
        std::string kept;
        bool cut;
        std::string rest;
    } cases[] = {
        {Source::Pipe, "42\nyes\n", 31, false, WholeLine::kLine, "42", false, "yes\n"},
        {Source::Pipe, "abcdefghij\nnext\n", 4, false, WholeLine::kLine, "abcd", true, "next\n"},
        {Source::Pipe, "last", 31, false, WholeLine::kLine, "last", false, ""},
        {Source::Pipe, "", 31, false, WholeLine::kEnded, "", false, ""},
        {Source::File, "\nx\n", 31, false, WholeLine::kLine, "", false, "x\n"},
        // Across the file reader's 1024-byte block: the offset still ends up after the line.
        {Source::File, std::string(1500, 's') + "\nrest\n", 8, false, WholeLine::kLine, "ssssssss",
         true, "rest\n"},
        // A carriage return before the newline is the line's end only where asked for.
        {Source::File, "5\r\n6\r\n", 31, true, WholeLine::kLine, "5", false, "6\r\n"},
        {Source::Pipe, "5\r\n", 31, false, WholeLine::kLine, "5\r", false, ""},
        {Source::Pipe, "ab\r\n", 2, true, WholeLine::kLine, "ab", false, ""},
        {Source::Pipe, "a\rb\n", 31, true, WholeLine::kLine, "a\rb", false, ""},
        // The bound: a line of kLongestLine bytes ends; one byte more ends the question.
        {Source::File, longest + "\nz\n", 4, false, WholeLine::kLine, "aaaa", true, "z\n"},
        {Source::Pipe, longest + "\nz\n", 4, false, WholeLine::kLine, "aaaa", true, "z\n"},
        {Source::File, longest + "a\n", 4, false, WholeLine::kEndless, "", false, "\n"},
        {Source::Pipe, longest + "a\n", 4, false, WholeLine::kEndless, "", false, "\n"},
        // A cut line keeps no part of a UTF-8 character, and every byte of other text.
        {Source::Pipe, "h\xc3\xa9llo\n", 2, false, WholeLine::kLine, "h", true, ""},
        {Source::Pipe, "h\xc3\xa9llo\n", 3, false, WholeLine::kLine, "h\xc3\xa9", true, ""},
        {Source::Pipe, "\xe2\x82\xac\xe2\x82\xac\n", 5, false, WholeLine::kLine, "\xe2\x82\xac",
         true, ""},
        {Source::Pipe, "a\xf0\x9f\x98\x80z\n", 4, false, WholeLine::kLine, "a", true, ""},
        {Source::Pipe, "h\xe9llo\n", 2, false, WholeLine::kLine, "h\xe9", true, ""},
        {Source::Pipe, "\xc3\xc3\xa9\n", 1, false, WholeLine::kLine, "\xc3", true, ""},
        {Source::Pipe,
         "\xe2\x82"
         "A\n",
         1, false, WholeLine::kLine, "\xe2", true, ""},
        {Source::Pipe, "\xe2\x82\n", 1, false, WholeLine::kLine, "\xe2", true, ""},
        {Source::Pipe, "\x80\x80\x80\x80\n", 3, false, WholeLine::kLine, "\x80\x80\x80", true, ""},
        // Terminals: a line at a time in canonical mode, a key at a time otherwise, where a
        // carriage return ends the line only if the terminal leaves it one.
        {Source::Canonical, "42\nyes\n", 31, false, WholeLine::kLine, "42", false, "yes\n"},
        {Source::Canonical, "abcdefghij\nnext\n", 4, false, WholeLine::kLine, "abcd", true,
         "next\n"},
        {Source::Keys, "42\nyes\n", 31, false, WholeLine::kLine, "42", false, "yes\n"},
        {Source::Keys, "abcdefghij\nnext\n", 4, false, WholeLine::kLine, "abcd", true, "next\n"},
        {Source::Keys, "ab\rcd\r", 31, false, WholeLine::kLine, "ab", false, "cd\n"},
        {Source::Raw, "pw\rnext\r", 31, false, WholeLine::kLine, "pw", false, "next\r"},
        {Source::Raw, "a\nb\r", 31, false, WholeLine::kLine, "a", false, "b\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << static_cast<int>(c.source) << " "
                                          << c.input.substr(0, 20) << " size " << c.size);
        Descriptor d;
        ASSERT_TRUE(Open(c.source, c.input, d));
        std::string buf(c.size + 1, '#');
        WholeLine line = ReadWholeLine(d.read, &buf[0], c.size, c.crlf);
        EXPECT_EQ(line.status, c.status);
        EXPECT_EQ(buf.substr(0, buf.find('\0')), c.kept);
        EXPECT_EQ(line.kept, c.kept.size());
        EXPECT_EQ(line.cut, c.cut);
        EXPECT_EQ(Rest(d.read), c.rest);
    }

    // Nothing ever ends a line of /dev/zero, and the bound ends the read.
    Descriptor zero;
    zero.read = open("/dev/zero", O_RDONLY);
    char buf[8];
    EXPECT_EQ(ReadWholeLine(zero.read, buf, sizeof buf - 1).status, WholeLine::kEndless);
    EXPECT_EQ(buf[0], '\0');
}

TEST(WholeLine, WaitsForKeysNotYetTyped)
{
    // With VMIN 0 a read returns at once with nothing until a key comes; that is no end of
    // input. The second half of the line is typed while the reader waits.
    Descriptor d;
    ASSERT_TRUE(Open(Source::Keys, "4", d));
    std::thread typist([&d] {
        usleep(100 * 1000);
        if (write(d.write, "2\nyes\n", 6) != 6)
            ADD_FAILURE() << "typing failed";
    });
    char buf[32];
    WholeLine line = ReadWholeLine(d.read, buf, sizeof buf - 1);
    typist.join();
    EXPECT_EQ(line.status, WholeLine::kLine);
    EXPECT_STREQ(buf, "42");
    EXPECT_EQ(Rest(d.read), "yes\n");
}
