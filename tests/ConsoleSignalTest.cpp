// A signal that ends the process during a hidden read must not leave the terminal without
// echo, and must not take over a signal the caller handles or ignores. A job stopped and
// resumed from an interactive shell gets its echo-less question back, and the shell its echo.
#include "ChildRun.h"
#include "QHxConsole.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace hxtest;

namespace
{

// Set in a child: another thread takes this signal while the read puts the terminal back.
std::atomic<int> g_signalDuringRestore{0};
// How far that has got: 1 the read has put echo back, 2 the other thread's stop handler is
// about to stop, 3 its signal has been handled.
std::atomic<int> g_restoreStage{0};
pthread_t g_reader;

using RealTcsetattr = int (*)(int, int, const termios*);
const RealTcsetattr g_realTcsetattr =
    reinterpret_cast<RealTcsetattr>(dlsym(RTLD_NEXT, "tcsetattr"));
using RealRaise = int (*)(int);
const RealRaise g_realRaise = reinterpret_cast<RealRaise>(dlsym(RTLD_NEXT, "raise"));

void (*Handler(int sig))(int)
{
    struct sigaction current;
    return sigaction(sig, nullptr, &current) == 0 ? current.sa_handler : SIG_ERR;
}

} // namespace

// Stand in for libc's tcsetattr and raise in this program and in the library it loads, so
// that a signal can be handled on another thread at a chosen moment of the read. Declared
// noexcept to match glibc's declarations.
extern "C" int tcsetattr(int fd, int actions, const termios* attributes) noexcept
{
    int result = g_realTcsetattr(fd, actions, attributes);
    // The reading thread has just put echo back: hand over to the other thread, and go on once
    // its handler has got as far as it can before the read's own next step.
    int expected = 0;
    if (g_signalDuringRestore != 0 && (attributes->c_lflag & ECHO) != 0 &&
        pthread_equal(pthread_self(), g_reader) &&
        g_restoreStage.compare_exchange_strong(expected, 1))
        while (g_restoreStage == 1)
            sched_yield();
    return result;
}

extern "C" int raise(int sig) noexcept
{
    // The stop handler on the other thread, about to stop: it goes on only once the read has
    // put the dispositions back (SIGTTIN comes after SIGTSTP).
    if (g_restoreStage == 1 && sig == SIGTSTP && !pthread_equal(pthread_self(), g_reader)) {
        g_restoreStage = 2;
        while (Handler(SIGTTIN) != SIG_DFL)
            sched_yield();
    }
    return g_realRaise(sig);
}

namespace
{

volatile sig_atomic_t g_caught = 0;
void CatchSignal(int sig)
{
    g_caught = sig;
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

// A stack overflow in the reading thread itself: a handler of the caller's, run there when
// `sig` interrupts the read, recurses without end.
volatile bool g_recurse = true;
int Recurse(int depth)
{
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return g_recurse ? Recurse(depth + 1) + frame[0] : 0;
}

void OverflowOnTheReadingThread(int sig)
{
    signal(SIGSEGV, SIG_DFL);
    SetHandler(sig, [](int) { Recurse(0); });
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

// kOverflow: SIGUSR1 sets off a stack overflow on the reading thread, which ends it by SIGSEGV.
enum Sender { kOperator, kCrash, kNotControlling, kOverflow };

// A signal that ends the process during a hidden read, sent by `by`: it still ends it, and echo
// is back on.
void ExpectEndsWithEchoBack(int sig, Sender by)
{
    SCOPED_TRACE(std::string(strsignal(sig)) + (by == kOverflow ? " (overflow)" : ""));
    Transcript run = RunOnTerminal(
        [sig, by] {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            if (by == kCrash)
                CrashAnotherThreadDuringTheRead(sig);
            if (by == kNotControlling)
                LetGoOfTheControllingTerminal();
            if (by == kOverflow)
                OverflowOnTheReadingThread(SIGUSR1);
            return HiddenRead();
        },
        [sig, by](Terminal& t) {
            if (by == kOverflow)
                DeliverDuringHiddenRead(t, SIGUSR1);
            else if (by != kCrash)
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
        {SIGPWR, kOperator},
#ifdef SIGSTKFLT
        {SIGSTKFLT, kOperator},
#endif
        {SIGSEGV, kCrash},          {SIGBUS, kCrash},     {SIGFPE, kCrash},
        {SIGILL, kCrash},           {SIGABRT, kCrash},    {SIGTRAP, kCrash},
        {SIGTERM, kNotControlling}, {SIGSEGV, kOverflow},
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
    // Installed before the read, or (meanwhile) by another thread once it is under way, which
    // then sends the signal until the read has ended.
    static std::atomic<bool> readReturned{false};
    struct Case {
        int sig;
        bool meanwhile;
    } cases[] = {{SIGINT, false},  {SIGQUIT, false}, {SIGTERM, false}, {SIGHUP, false},
                 {SIGUSR1, false}, {SIGTSTP, false}, {SIGINT, true},   {SIGTSTP, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.sig)) + (c.meanwhile ? " meanwhile" : ""));
        Transcript run = RunOnTerminal(
            [c] {
                if (!c.meanwhile)
                    SetHandler(c.sig, CatchSignal);
                else
                    std::thread([c, reader = pthread_self()] {
                        while (!EchoOff())
                            usleep(1000);
                        SetHandler(c.sig, CatchSignal);
                        for (; !readReturned; usleep(1000))
                            pthread_kill(reader, c.sig);
                    }).detach();
                Outcome outcome = HiddenRead();
                readReturned = true;
                outcome.values = {g_caught, HandlerIs(c.sig, CatchSignal)};
                return outcome;
            },
            [c](Terminal& t) {
                if (!c.meanwhile)
                    DeliverDuringHiddenRead(t, c.sig);
            });
        ASSERT_TRUE(run.returned);
        // The interrupted read fails like any other; echo is back all the same.
        EXPECT_EQ(run.outcome.result, -1);
        EXPECT_EQ(run.outcome.values, (std::vector<int>{c.sig, 1}));
        EXPECT_EQ(run.err, "fgets failed with error 4 : 'Interrupted system call'\n");
        EXPECT_TRUE(run.echoAfter);
    }
}

TEST(HiddenReadSignals, CallersHandlerWithRestartLetsTheReadGoOn)
{
    // glibc's signal() sets SA_RESTART: the read is made again and takes the line typed after,
    // unless the terminal hands over keys (not canonical), which are waited for with poll.
    // Without it (CallersHandlerRunsAndStaysInstalled) a read fails, even one that has begun a
    // line: "12" from a pipe, and no newline yet, is no answer for ReadInt.
    enum Read { kRestarted, kKeys, kIntPartway };
    for (Read read : {kRestarted, kKeys, kIntPartway}) {
        SCOPED_TRACE(read);
        Call call = [read] {
            if (read == kIntPartway)
                SetHandler(SIGALRM, CatchSignal);
            else
                signal(SIGALRM, CatchSignal);
            termios keys;
            if (read == kKeys && tcgetattr(0, &keys) == 0) {
                keys.c_lflag &= ~static_cast<tcflag_t>(ICANON);
                tcsetattr(0, TCSANOW, &keys);
            }
            alarm(1);
            int value = 77;
            Outcome outcome = read != kIntPartway ? HiddenRead() : QHxConsole().ReadInt(value, 0);
            outcome.values = {g_caught, value};
            return outcome;
        };
        Transcript run = read == kIntPartway
                             ? RunOnPipe("12", call, false)
                             : RunOnTerminal(call, [read](Terminal& t) {
                                   if (t.WaitForEcho(false) && read == kRestarted && t.Answer(""))
                                       t.Type("pw\n");
                               });
        EXPECT_EQ(run.outcome.result, read == kRestarted ? 0 : -1);
        EXPECT_EQ(run.outcome.bytes, read == kRestarted ? "pw" : "");
        EXPECT_EQ(run.outcome.values, (std::vector<int>{SIGALRM, 77}));
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
    // The alternate signal stack too: the caller's own, or none, as before the read.
    for (bool ownStack : {true, false}) {
        SCOPED_TRACE(ownStack ? "own alternate stack" : "no alternate stack");
        Transcript run = RunOnTerminal(
            [ownStack] {
                SetHandler(SIGUSR1, CatchSignal);
                SetHandler(SIGTERM, SIG_IGN);
                static char callersStack[96 * 1024];
                stack_t own{callersStack, 0, sizeof callersStack}, before{}, after{};
                if (ownStack)
                    sigaltstack(&own, nullptr);
                sigaltstack(nullptr, &before);
                // glibc keeps a few signals to itself (sigaction refuses them): SIG_ERR there.
                void (*handlers[NSIG])(int);
                for (int sig = 1; sig < NSIG; ++sig)
                    handlers[sig] = Handler(sig);
                Outcome outcome = HiddenRead();
                // Signals whose disposition the read left changed, then the stack's fields.
                for (int sig = 1; sig < NSIG; ++sig)
                    if (Handler(sig) != handlers[sig])
                        outcome.values.push_back(sig);
                sigaltstack(nullptr, &after);
                outcome.values.push_back(after.ss_sp == before.ss_sp);
                outcome.values.push_back(after.ss_flags == before.ss_flags);
                outcome.values.push_back(after.ss_size == before.ss_size);
                return outcome;
            },
            [](Terminal& t) {
                ASSERT_TRUE(t.WaitForEcho(false));
                t.Type("pw\n");
            });
        ASSERT_TRUE(run.returned);
        EXPECT_EQ(run.outcome.result, 0);
        EXPECT_EQ(run.outcome.values, (std::vector<int>{1, 1, 1}));
    }
}

TEST(HiddenReadSignals, HandlerOnAnotherThreadDuringRestoreLeavesNothingBehind)
{
    // Once the read has put echo back, a continue must not hide it again, and a stop handler
    // must not put itself back once the read has taken it out.
    for (int sig : {SIGCONT, SIGTSTP}) {
        SCOPED_TRACE(strsignal(sig));
        Transcript run = RunOnTerminal(
            [sig] {
                g_reader = pthread_self();
                g_signalDuringRestore = sig;
                std::thread([sig] {
                    while (g_restoreStage != 1)
                        sched_yield();
                    pthread_kill(pthread_self(), sig); // handled here, on this thread
                    g_restoreStage = 3;
                }).detach();
                Outcome outcome = HiddenRead();
                while (g_restoreStage != 3)
                    sched_yield();
                outcome.values = {HandlerIs(SIGTSTP, SIG_DFL), HandlerIs(SIGCONT, SIG_DFL)};
                return outcome;
            },
            [](Terminal& t) {
                ASSERT_TRUE(t.WaitForEcho(false));
                t.Type("pw\n");
            });
        ASSERT_TRUE(run.returned);
        EXPECT_EQ(run.outcome.result, 0);
        EXPECT_EQ(run.outcome.values, (std::vector<int>{1, 1}));
        EXPECT_TRUE(run.echoAfter);
    }
}

TEST(HiddenReadSignals, ForkedChildOnlyPassesTheSignalOn)
{
    // A child forked without exec during the read inherits the handlers; the signal that ends
    // it must not give its parent's operator echo while the question is still open.
    static std::atomic<bool> readReturned{false};
    static std::atomic<int> childStatus{0};
    static std::atomic<bool> echoOffAfterChild{false};
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        Transcript run = RunOnTerminal(
            [sig] {
                SetHandler(SIGUSR1, CatchSignal); // ends the read once the child is gone
                pthread_t reader = pthread_self();
                std::thread([sig, reader] {
                    while (!EchoOff())
                        usleep(1000);
                    pid_t child = fork();
                    if (child == 0) {
                        // Waits for the signal with the terminal alone open, so that the
                        // harness waits for no output of its; ends by itself should the
                        // signal not end it.
                        for (int fd = 1; fd < 1024; ++fd)
                            close(fd);
                        sleep(static_cast<unsigned>(kTimeLimit.count() / 1000));
                        _exit(0);
                    }
                    kill(child, sig);
                    int status = 0;
                    waitpid(child, &status, 0);
                    childStatus = status;
                    echoOffAfterChild = EchoOff();
                    while (!readReturned) {
                        pthread_kill(reader, SIGUSR1);
                        usleep(1000);
                    }
                }).detach();
                Outcome outcome = HiddenRead();
                readReturned = true;
                outcome.values = {WIFSIGNALED(childStatus) ? WTERMSIG(childStatus) : -1,
                                  echoOffAfterChild};
                return outcome;
            },
            [](Terminal&) {});
        ASSERT_TRUE(run.returned);
        EXPECT_EQ(run.outcome.values, (std::vector<int>{sig, 1}));
        EXPECT_EQ(run.outcome.result, -1);
        EXPECT_EQ(run.err, "fgets failed with error 4 : 'Interrupted system call'\n");
        EXPECT_TRUE(run.echoAfter);
    }
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
    // kSigStop: stopped by SIGSTOP, which no handler sees. dash puts nothing back then, so
    // echo stays off under it and the question goes on as it was, without a second prompt
    // (keys typed blind after fg count). kStrayContinue: a SIGCONT that follows no stop, sent
    // halfway through the password: nothing typed is lost and nothing is asked again.
    // kOwnContinue: Ctrl-Z to a program that handles SIGCONT itself, which the read leaves to
    // it. SIGTTOU and SIGTTIN, sent as by kill, stop it as Ctrl-Z does: with echo back.
    enum Interruption { kCtrlZ, kCtrlZTwice, kSigStop, kStrayContinue, kOwnContinue, kTtou, kTtin };
    struct Case {
        const char* shell;
        Interruption by;
        bool bg;     // continued in the background first, where it stops again on reading
        int prompts; // how often the question is shown in all
    } cases[] = {
        {"bash", kCtrlZ, false, 2},         {"dash", kCtrlZ, false, 2},
        {"bash", kCtrlZ, true, 2},          {"dash", kCtrlZ, true, 2},
        {"bash", kSigStop, false, 2},       {"dash", kSigStop, false, 1},
        {"dash", kCtrlZTwice, false, 3},    {"bash", kStrayContinue, false, 1},
        {"dash", kStrayContinue, false, 1}, {"bash", kOwnContinue, false, 2},
        {"dash", kOwnContinue, false, 2},   {"bash", kTtou, false, 2},
        {"dash", kTtou, false, 2},          {"bash", kTtin, false, 2},
        {"dash", kTtin, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.shell) + " interruption " + std::to_string(c.by) +
                     (c.bg ? " bg fg" : ""));
        Transcript run = RunOnTerminal(InteractiveShell(c.shell), [c](Terminal& t) {
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type(c.by == kOwnContinue ? ASK_PASSWORD " catch-cont\n" : ASK_PASSWORD "\n");
            ASSERT_TRUE(t.WaitForEcho(false));
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Job));
            if (c.by == kStrayContinue) {
                t.Type("s3c");
                t.SignalForeground(SIGCONT);
                ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Job));
                t.Type("ret\n");
            }
            for (int stop = 0; stop < (c.by == kCtrlZTwice      ? 2
                                       : c.by == kStrayContinue ? 0
                                                                : 1);
                 ++stop) {
                if (c.by == kSigStop) {
                    t.SignalForeground(SIGSTOP);
                } else {
                    if (c.by == kTtou || c.by == kTtin)
                        t.SignalForeground(c.by == kTtou ? SIGTTOU : SIGTTIN);
                    else
                        t.Type("\x1a");
                    // Put back before the stop: the shell shows what is typed at it.
                    ASSERT_TRUE(t.WaitForEcho(true));
                    t.Type(": visible\n");
                }
                // The shell's prompt is back once the shell itself holds the terminal and reads:
                // until a SIGSTOP takes effect the job still looks as if it waited for its line.
                ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
                if (c.bg) {
                    // Continued, it stops again at its first terminal call. Only then fg: a
                    // shell that still thinks it running would not send it SIGCONT.
                    long progress = t.JobProgress();
                    t.Type("bg\n");
                    ASSERT_TRUE(t.WaitUntilJobStopped(progress));
                    ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
                }
                // Keys typed before the question is back were shown: they must not count.
                t.Type(c.prompts > 1 ? "fg\nearly" : "fg\n");
                ASSERT_TRUE(t.WaitForEcho(false));
                ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Job));
            }
            if (c.by != kStrayContinue)
                t.Type("s3cret\n");
            ASSERT_TRUE(t.WaitForEcho(true));
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type("exit\n");
        });
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.screen.find("s3c"), std::string::npos) << run.screen;
        EXPECT_NE(run.screen.find("result 0 reversed [terc3s] echo on"), std::string::npos)
            << run.screen;
        // The question is asked again each time the job is back in the foreground from a stop
        // that gave the shell echo.
        EXPECT_EQ(Count(run.screen, "Password : "), static_cast<size_t>(c.prompts)) << run.screen;
        if (c.by != kSigStop && c.by != kStrayContinue) {
            EXPECT_EQ(Count(run.screen, ": visible"), c.by == kCtrlZTwice ? 2u : 1u) << run.screen;
        }
        if (c.by == kOwnContinue) {
            EXPECT_NE(run.screen.find("continued 1 handler kept"), std::string::npos) << run.screen;
        }
    }
}

TEST(HiddenReadJobControl, StartedInTheBackgroundWaitsForTheForeground)
{
    // A background job that cannot be stopped (SIGTTOU ignored by a shell's trap, or blocked)
    // must not take the shell's modes or switch its echo off: it fails as a background read
    // does, and leaves the terminal alone. bash's modes while it edits a command line are not
    // the ones to put back either.
    enum Ttou { kDefault, kIgnored, kBlocked };
    struct Case {
        const char* shell;
        Ttou ttou;
    } cases[] = {
        {"bash", kDefault}, {"dash", kDefault}, {"bash", kIgnored},
        {"dash", kIgnored}, {"bash", kBlocked}, {"dash", kBlocked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.shell) + " SIGTTOU " + std::to_string(c.ttou));
        Transcript run = RunOnTerminal(InteractiveShell(c.shell, true), [c](Terminal& t) {
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
            if (c.ttou != kDefault) {
                t.Type(c.ttou == kIgnored ? "(trap '' TTOU; exec " ASK_PASSWORD ") &\nwait\n"
                                          : ASK_PASSWORD " block-ttou &\nwait\n");
                ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
                t.Type(": visible\n");
            } else {
                t.Type(ASK_PASSWORD " &\n");
                ASSERT_TRUE(t.WaitUntilJobStopped());
                ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
                t.Type("fg\n");
                ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Job));
                t.Type("s3cret\n");
            }
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
            t.Type("exit\n");
        });
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.screen.find("s3cret"), std::string::npos) << run.screen;
        if (c.ttou == kDefault) {
            EXPECT_NE(run.screen.find("result 0 reversed [terc3s] echo on"), std::string::npos)
                << run.screen;
            EXPECT_EQ(Count(run.screen, "Password : "), 2u) << run.screen;
        } else {
            // The shell's own output may come in between.
            EXPECT_NE(run.screen.find("tcgetattr failed with error 5 : 'Input/output error'"),
                      std::string::npos)
                << run.screen;
            EXPECT_NE(run.screen.find("result -1 reversed []"), std::string::npos) << run.screen;
            EXPECT_EQ(Count(run.screen, "Password : "), 1u) << run.screen;
            // The shell still echoes what is typed at it.
            EXPECT_NE(run.screen.find(": visible"), std::string::npos) << run.screen;
        }
    }
}

TEST(HiddenReadJobControl, EndingSignalLeavesNoHalfTypedPasswordForTheShell)
{
    // With NOFLSH the terminal keeps what was typed when Ctrl-C comes; the guard must drop it
    // as it puts the terminal back, or the shell would run it: "echo LE" + "AK".
    for (const char* shell : {"bash", "dash"}) {
        SCOPED_TRACE(shell);
        Transcript run = RunOnTerminal(InteractiveShell(shell), [](Terminal& t) {
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type("stty noflsh\n");
            ASSERT_TRUE(t.Answer(ASK_PASSWORD "\n"));
            ASSERT_TRUE(t.WaitForEcho(false));
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Job));
            t.Type("echo LE\x03");
            ASSERT_TRUE(t.WaitForEcho(true));
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
            t.Type("AK\n");
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
            t.Type("exit\n");
        });
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.screen.find("LEAK"), std::string::npos) << run.screen;
        EXPECT_NE(run.screen.find("AK"), std::string::npos) << run.screen;
    }
}

TEST(HiddenReadJobControl, EndingSignalInTheBackgroundLeavesTheShellAlone)
{
    // Stopped by Ctrl-Z, continued with bg and stopped again on reading, the job no longer
    // holds the terminal when the kill ends it: the modes and the half-typed command line in
    // the terminal are the shell's, and stay so, echo off too where the shell ran stty -echo.
    struct Case {
        const char* shell;
        bool quiet;
    } cases[] = {{"bash", false}, {"dash", false}, {"dash", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.shell) + (c.quiet ? " stty -echo" : ""));
        Transcript run = RunOnTerminal(InteractiveShell(c.shell), [c](Terminal& t) {
            ASSERT_TRUE(t.WaitUntilReading());
            t.Type(ASK_PASSWORD "\n");
            ASSERT_TRUE(t.WaitForEcho(false));
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Job));
            t.Type("\x1a");
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
            long progress = t.JobProgress();
            t.Type("bg\n");
            ASSERT_TRUE(t.WaitUntilJobStopped(progress));
            ASSERT_TRUE(t.WaitUntilReading(Terminal::Holder::Child));
            // bg continues the job and lets the shell's wait wait for it: the shell reads on
            // only once the job has ended.
            ASSERT_TRUE(t.Answer(std::string(c.quiet ? "stty -echo; " : "") +
                                 "kill %1; bg >/dev/null 2>&1; wait\necho ab"));
            ASSERT_TRUE(t.Answer("\"\"cd\n"));
            t.Type("exit\n");
        });
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.screen.find("\"\"cd") == std::string::npos, c.quiet) << run.screen;
        EXPECT_NE(run.screen.find("abcd\r\n"), std::string::npos) << run.screen;
        EXPECT_EQ(run.echoAtEnd, !c.quiet);
    }
}
