// A signal that ends the process during a hidden read must not leave the terminal without
// echo, and must not take over a signal the caller handles or ignores. A job stopped and
// resumed from an interactive shell gets its echo-less question back, and the shell its echo.
#include "ChildRun.h"
#include "QHxConsole.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace hxtest;

namespace
{

volatile sig_atomic_t g_caught = 0;
void CatchSignal(int sig)
{
    g_caught = sig;
}

void (*Handler(int sig))(int)
{
    struct sigaction current;
    return sigaction(sig, nullptr, &current) == 0 ? current.sa_handler : SIG_ERR;
}

bool HandlerIs(int sig, void (*handler)(int))
{
    return Handler(sig) == handler;
}

void SetHandler(int sig, void (*handler)(int))
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = handler; // no SA_RESTART: the read is interrupted
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
}

// Delivers `sig` while the child waits in a hidden read: as the terminal's own key where
// there is one, as the operator would type it, and by kill(2) otherwise.
void DeliverDuringHiddenRead(Terminal& t, int sig)
{
    ASSERT_TRUE(t.WaitForEcho(false));
    ASSERT_TRUE(t.WaitUntilReading());
    if (sig == SIGINT)
        t.Type("\x03");
    else if (sig == SIGQUIT)
        t.Type("\x1c");
    else if (sig == SIGTSTP)
        t.Type("\x1a");
    else
        t.Signal(sig);
}

bool EchoOff()
{
    termios attributes;
    return tcgetattr(0, &attributes) == 0 && (attributes.c_lflag & ECHO) == 0;
}

// A crash elsewhere in the program: another thread raises `sig` once the question is up. The
// sanitizers' runtimes handle some of these signals themselves; a plain program has them at
// their default action, as here.
void CrashAnotherThreadDuringTheRead(int sig)
{
    signal(sig, SIG_DFL);
    std::thread([sig] {
        while (!EchoOff())
            usleep(1000);
        raise(sig);
    }).detach();
}

// Reads from a terminal that is not the process's controlling one, as after setsid or in a
// daemon handed a console: there is no job control on it, and echo must come back all the
// same. The session leader letting go of its terminal sends its own group SIGHUP.
void LetGoOfTheControllingTerminal()
{
    signal(SIGHUP, SIG_IGN);
    ioctl(0, TIOCNOTTY);
    signal(SIGHUP, SIG_DFL);
}

Outcome HiddenRead()
{
    char buf[32] = {};
    int r = QHxConsole().ReadPassword(buf);
    return Outcome{r, {}, buf};
}

} // namespace

namespace
{

enum Sender { kOperator, kCrash, kNotControlling };

// A signal that ends the process during a hidden read, sent by `by`: it still ends it, and echo
// is back on.
void ExpectEndsWithEchoBack(int sig, Sender by)
{
    SCOPED_TRACE(strsignal(sig));
    Transcript run = RunOnTerminal(
        [sig, by] {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            if (by == kCrash)
                CrashAnotherThreadDuringTheRead(sig);
            if (by == kNotControlling)
                LetGoOfTheControllingTerminal();
            return HiddenRead();
        },
        [sig, by](Terminal& t) {
            if (by != kCrash)
                DeliverDuringHiddenRead(t, sig);
        });
    EXPECT_FALSE(run.returned);
    EXPECT_EQ(run.signal, sig);
    EXPECT_TRUE(run.echoAtEnd);
    EXPECT_EQ(run.out, "Password : ");
}

} // namespace

TEST(HiddenReadSignals, EndingSignalStillEndsButEchoComesBack)
{
    struct Case {
        int sig;
        Sender by;
    } cases[] = {
        {SIGINT, kOperator},        {SIGQUIT, kOperator}, {SIGTERM, kOperator},
        {SIGHUP, kOperator},        {SIGALRM, kOperator}, {SIGPIPE, kOperator},
        {SIGUSR1, kOperator},       {SIGUSR2, kOperator}, {SIGVTALRM, kOperator},
        {SIGPROF, kOperator},       {SIGXCPU, kOperator}, {SIGXFSZ, kOperator},
        {SIGPOLL, kOperator},       {SIGSYS, kOperator},  {SIGRTMIN, kOperator},
        {SIGSEGV, kCrash},          {SIGBUS, kCrash},     {SIGFPE, kCrash},
        {SIGILL, kCrash},           {SIGABRT, kCrash},    {SIGTRAP, kCrash},
        {SIGTERM, kNotControlling},
    };
    for (const Case& c : cases)
        ExpectEndsWithEchoBack(c.sig, c.by);
}

// A test of its own: qemu-user cannot deliver the last real-time signals (see CMakeLists.txt).
TEST(HiddenReadSignals, LastRealTimeSignalStillEndsButEchoComesBack)
{
    ExpectEndsWithEchoBack(SIGRTMAX, kOperator);
}

TEST(HiddenReadSignals, CallersHandlerRunsAndStaysInstalled)
{
    for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGUSR1, SIGTSTP}) {
        SCOPED_TRACE(strsignal(sig));
        Transcript run = RunOnTerminal(
            [sig] {
                SetHandler(sig, CatchSignal);
                Outcome outcome = HiddenRead();
                outcome.values = {g_caught, HandlerIs(sig, CatchSignal)};
                return outcome;
            },
            [sig](Terminal& t) { DeliverDuringHiddenRead(t, sig); });
        ASSERT_TRUE(run.returned);
        // The interrupted read fails like any other; echo is back all the same.
        EXPECT_EQ(run.outcome.result, -1);
        EXPECT_EQ(run.outcome.values, (std::vector<int>{sig, 1}));
        EXPECT_EQ(run.err, "fgets failed with error 4 : 'Interrupted system call'\n");
        EXPECT_TRUE(run.echoAfter);
    }
}

TEST(HiddenReadSignals, IgnoredSignalStaysIgnored)
{
    Transcript run = RunOnTerminal(
        [] {
            SetHandler(SIGTERM, SIG_IGN);
            Outcome outcome = HiddenRead();
            outcome.values = {HandlerIs(SIGTERM, SIG_IGN)};
            return outcome;
        },
        [](Terminal& t) {
            DeliverDuringHiddenRead(t, SIGTERM);
            t.Type("pw\n");
        });
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, 0);
    EXPECT_EQ(run.outcome.bytes, "pw");
    EXPECT_EQ(run.outcome.values, std::vector<int>{1});
}

TEST(HiddenReadSignals, DispositionsAreBackAfterTheRead)
{
    Transcript run = RunOnTerminal(
        [] {
            SetHandler(SIGUSR1, CatchSignal);
            SetHandler(SIGTERM, SIG_IGN);
            // glibc keeps a few signals to itself (sigaction refuses them): SIG_ERR there.
            void (*before[NSIG])(int);
            for (int sig = 1; sig < NSIG; ++sig)
                before[sig] = Handler(sig);
            Outcome outcome = HiddenRead();
            // Signals whose disposition the read left changed.
            for (int sig = 1; sig < NSIG; ++sig)
                if (Handler(sig) != before[sig])
                    outcome.values.push_back(sig);
            return outcome;
        },
        [](Terminal& t) {
            ASSERT_TRUE(t.WaitForEcho(false));
            t.Type("pw\n");
        });
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, 0);
    EXPECT_EQ(run.outcome.values, std::vector<int>{});
}

// An interactive shell as the session's shell, on the terminal for all its standard streams.
// Without line editing it reads in the terminal's own canonical mode, echo and all; bash's
// line editing switches echo off while it waits for a command.
Call InteractiveShell(const char* shell, bool editing = false)
{
    return [shell, editing] {
        dup2(0, 1);
        dup2(0, 2);
        setenv("PS1", "$ ", 1);
        setenv("HISTFILE", "/dev/null", 1);
        unsetenv("ENV");
        if (strcmp(shell, "bash") != 0)
            execlp(shell, shell, "-i", nullptr);
        else if (editing)
            execlp("bash", "bash", "--norc", "--noprofile", "-i", nullptr);
        else
            execlp("bash", "bash", "--norc", "--noprofile", "--noediting", "-i", nullptr);
        return Outcome{-1};
    };
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(HiddenReadJobControl, StoppedAndResumedFromAShell)
{
    struct Case {
        const char* shell;
        bool sigstop; // stopped by SIGSTOP, which no handler sees, rather than Ctrl-Z
        bool bg;      // continued in the background first, where it stops again on reading
    } cases[] = {
        {"bash", false, false}, {"dash", false, false}, {"bash", false, true},
        {"dash", false, true},  {"bash", true, false},  {"dash", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.shell) + (c.sigstop ? " SIGSTOP" : " Ctrl-Z") +
                     (c.bg ? " bg fg" : " fg"));
        Transcript run = RunOnTerminal(InteractiveShell(c.shell), [c](Terminal& t) {
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type(ASK_PASSWORD "\n");
            ASSERT_TRUE(t.WaitForEcho(false));
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Job));
            if (c.sigstop) {
                t.SignalForeground(SIGSTOP);
            } else {
                t.Type("\x1a");
                // Put back before the stop: the shell shows what is typed at it.
                ASSERT_TRUE(t.WaitForEcho(true));
                t.Type(": visible\n");
            }
            ASSERT_TRUE(t.WaitUntilReading());
            if (c.bg) {
                // Continued, it stops again at its first terminal call. Only then fg: a shell
                // that still thinks it running would not send it SIGCONT.
                long progress = t.JobProgress();
                t.Type("bg\n");
                ASSERT_TRUE(t.WaitUntilJobStopped(progress));
                ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
            }
            // Keys typed before the question is back were shown: they must not count.
            t.Type("fg\nearly");
            ASSERT_TRUE(t.WaitForEcho(false));
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Job));
            t.Type("s3cret\n");
            ASSERT_TRUE(t.WaitForEcho(true));
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type("exit\n");
        });
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.screen.find("s3cret"), std::string::npos) << run.screen;
        EXPECT_NE(run.screen.find("result 0 reversed [terc3s] echo on"), std::string::npos)
            << run.screen;
        // The question is asked again once the job is back in the foreground.
        EXPECT_NE(run.screen.find("Password : ", run.screen.rfind("Stopped")), std::string::npos)
            << run.screen;
        if (!c.sigstop) {
            EXPECT_NE(run.screen.find(": visible"), std::string::npos) << run.screen;
        }
    }
}

TEST(HiddenReadJobControl, StartedInTheBackgroundWaitsForTheForeground)
{
    // The terminal's modes while bash edits a command line are not the ones to put back.
    Transcript run = RunOnTerminal(InteractiveShell("bash", true), [](Terminal& t) {
        ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
        t.Type(ASK_PASSWORD " &\n");
        ASSERT_TRUE(t.WaitUntilJobStopped());
        ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
        t.Type("fg\n");
        ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Job));
        t.Type("s3cret\n");
        ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
        t.Type("exit\n");
    });
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.screen.find("s3cret"), std::string::npos) << run.screen;
    EXPECT_NE(run.screen.find("result 0 reversed [terc3s] echo on"), std::string::npos)
        << run.screen;
    EXPECT_EQ(Count(run.screen, "Password : "), 2u) << run.screen;
}
