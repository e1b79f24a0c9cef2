// A signal that ends the process during a hidden read must not leave the terminal without
// echo, and must not take over a signal the caller handles or ignores.
#include "ChildRun.h"
#include "QHxConsole.h"

#include <csignal>
#include <cstring>
#include <gtest/gtest.h>

using namespace hxtest;

namespace
{

const int kFatalSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

volatile sig_atomic_t g_caught = 0;
void CatchSignal(int sig)
{
    g_caught = sig;
}

bool HandlerIs(int sig, void (*handler)(int))
{
    struct sigaction current;
    return sigaction(sig, nullptr, &current) == 0 && current.sa_handler == handler;
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
    else
        t.Signal(sig);
}

Outcome HiddenRead()
{
    char buf[32] = {};
    int r = QHxConsole().ReadPassword(buf);
    return Outcome{r, {}, buf};
}

} // namespace

TEST(HiddenReadSignals, FatalSignalStillKillsButEchoComesBack)
{
    for (int sig : kFatalSignals) {
        SCOPED_TRACE(strsignal(sig));
        Transcript run =
            RunOnTerminal(HiddenRead, [sig](Terminal& t) { DeliverDuringHiddenRead(t, sig); });
        EXPECT_FALSE(run.returned);
        EXPECT_EQ(run.signal, sig);
        EXPECT_TRUE(run.echoAtEnd);
    }
}

TEST(HiddenReadSignals, CallersHandlerRunsAndStaysInstalled)
{
    for (int sig : kFatalSignals) {
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

TEST(HiddenReadSignals, DefaultDispositionsAreBackAfterTheRead)
{
    Transcript run = RunOnTerminal(
        [] {
            Outcome outcome = HiddenRead();
            for (int sig : kFatalSignals)
                outcome.values.push_back(HandlerIs(sig, SIG_DFL));
            return outcome;
        },
        [](Terminal& t) {
            ASSERT_TRUE(t.WaitForEcho(false));
            t.Type("pw\n");
        });
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, 0);
    EXPECT_EQ(run.outcome.values, (std::vector<int>{1, 1, 1, 1}));
}
