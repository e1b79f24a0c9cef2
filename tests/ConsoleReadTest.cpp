// Read, the primitive every prompt ends in: plain reads on a pipe, hidden reads on a
// pseudo-terminal (and their refusal anywhere else).
#include "ChildRun.h"
#include "QHxConsole.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <termios.h>

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
