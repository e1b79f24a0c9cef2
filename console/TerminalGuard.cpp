#include "TerminalGuard.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace hxconsole
{

namespace
{

// Signals whose default action ends the process, besides the real-time ones. SIGKILL cannot
// be caught; SIGCHLD, SIGURG and SIGWINCH are ignored by default.
const int kEndingSignals[] = {SIGHUP,    SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                              SIGFPE,    SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
#ifdef SIGSTKFLT // not every architecture has it: MIPS does not
                              SIGSTKFLT,
#endif
                              SIGXCPU,   SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR,  SIGSYS};
// Signals whose default action stops the process and that a handler can catch.
const int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

enum class Role { None, Ends, Stops, Continues };

Role RoleOf(int sig)
{
    for (int s : kEndingSignals)
        if (s == sig)
            return Role::Ends;
    for (int s : kStopSignals)
        if (s == sig)
            return Role::Stops;
    if (sig == SIGCONT)
        return Role::Continues;
    // The real-time signals glibc leaves to applications all end the process by default.
    return sig >= SIGRTMIN && sig <= SIGRTMAX ? Role::Ends : Role::None;
}

// Shared with the handlers. Everything but the flags is written before any handler is
// installed and only read afterwards; the flags are what a handler may write.
int g_fd = -1;
termios g_asFound;
termios g_quiet;
struct sigaction g_defaultAction;
struct sigaction g_stopAction;
volatile sig_atomic_t g_wantHidden = 0; // echo belongs off while we are in the foreground
volatile sig_atomic_t g_hidden = 0;     // echo may be off because of us
volatile sig_atomic_t g_jobControl = 0; // a stop or a continue came in
volatile sig_atomic_t g_resumed = 0;    // echo went off again after a return to the foreground

// A job in the background must leave the terminal alone: its modes are the shell's now, and
// a tcsetattr would only stop us again with SIGTTOU. A terminal that is not our controlling
// terminal (after setsid, or a console handed to a daemon) has no job control for us: we
// are never in its background, and may always put it back. errno is left as found, since
// the handlers call this too.
bool HoldsTerminal(int fd)
{
    int savedErrno = errno;
    pid_t group = tcgetpgrp(fd);
    bool holds = group < 0 ? errno == ENOTTY : group == getpgrp();
    errno = savedErrno;
    return holds;
}

bool InForeground()
{
    return HoldsTerminal(g_fd);
}

// TCSAFLUSH also drops a half-typed password, which the shell would otherwise read as a
// command.
void PutBackAsFound()
{
    if (g_hidden && InForeground())
        tcsetattr(g_fd, TCSAFLUSH, &g_asFound);
    g_hidden = 0;
}

// Before any key is read: TCSAFLUSH drops what was typed, visibly, since the shell handed the
// terminal back to us.
void HideAgainInForeground()
{
    if (!g_wantHidden)
        return;
    if (!InForeground()) {
        g_hidden = 0;
        return;
    }
    g_hidden = 1;
    if (tcsetattr(g_fd, TCSAFLUSH, &g_quiet) == 0)
        g_resumed = 1;
}

// The process is about to end: give the operator their terminal back, then let the signal
// do what it would have done had we not been reading. The signal is blocked while its handler
// runs, so the raise takes effect on return (a fault simply happens again, unhandled).
void PutBackAndRedeliver(int sig)
{
    PutBackAsFound();
    sigaction(sig, &g_defaultAction, nullptr);
    raise(sig);
}

// Restore the terminal as found (dash puts nothing back for a stopped job), stop for real, and
// on waking up hide again if the shell gave us the terminal. The interrupted read then fails
// with EINTR, and the caller shows the prompt again and retries.
void PutBackAndStop(int sig)
{
    int savedErrno = errno;
    g_jobControl = 1;
    PutBackAsFound();

    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    sigaction(sig, &g_defaultAction, nullptr);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig); // stops here until SIGCONT
    sigprocmask(SIG_BLOCK, &only, nullptr);
    sigaction(sig, &g_stopAction, nullptr);

    HideAgainInForeground();
    errno = savedErrno;
}

// Also after a SIGSTOP, which no handler sees: bash does not give a job back its modes at fg,
// and the job continues with the shell's.
void HideAgainOnContinue(int)
{
    int savedErrno = errno;
    g_jobControl = 1;
    HideAgainInForeground();
    errno = savedErrno;
}

struct sigaction ActionFor(void (*handler)(int))
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    // No SA_RESTART: a read interrupted by a stop must come back to the caller, which shows
    // the prompt again. Every guarded signal waits while one of the handlers runs.
    sigemptyset(&action.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig)
        if (RoleOf(sig) != Role::None)
            sigaddset(&action.sa_mask, sig);
    return action;
}

bool AtDefault(const struct sigaction& action)
{
    return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL;
}

} // namespace

bool TerminalGuard::Capture(int fd)
{
    m_fd = fd;
    g_resumed = 0;
    if (tcgetattr(fd, &m_asFound) != 0)
        return false;
    if (HoldsTerminal(fd))
        return true;
    // Started in the background: the modes on the terminal now are the shell's (bash's line
    // editing has echo off), not the ones to put back. tcdrain changes nothing, but from the
    // background it stops us with SIGTTOU until the shell brings us forward; then take the
    // modes it left for us, and show the prompt again.
    tcdrain(fd);
    g_resumed = 1;
    return tcgetattr(fd, &m_asFound) == 0;
}

void TerminalGuard::Install()
{
    g_fd = m_fd;
    g_asFound = m_asFound;
    // Only ECHO goes: canonical mode stays, so the operator can still edit the line and
    // Ctrl-C, Ctrl-\ and Ctrl-Z still work.
    g_quiet = m_asFound;
    g_quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    g_wantHidden = 0;
    g_hidden = 0;
    g_jobControl = 0;

    g_defaultAction = ActionFor(SIG_DFL);
    g_stopAction = ActionFor(PutBackAndStop);
    const struct sigaction ending = ActionFor(PutBackAndRedeliver);
    const struct sigaction continuing = ActionFor(HideAgainOnContinue);

    for (int sig = 1; sig < NSIG; ++sig) {
        m_replaced[sig] = false;
        Role role = RoleOf(sig);
        // A signal the caller handles or ignores is the caller's business.
        if (role == Role::None || sigaction(sig, nullptr, &m_previous[sig]) != 0 ||
            !AtDefault(m_previous[sig]))
            continue;
        const struct sigaction& mine = role == Role::Ends    ? ending
                                       : role == Role::Stops ? g_stopAction
                                                             : continuing;
        m_replaced[sig] = sigaction(sig, &mine, nullptr) == 0;
    }
}

void TerminalGuard::Release()
{
    for (int sig = 1; sig < NSIG; ++sig)
        if (m_replaced[sig])
            sigaction(sig, &m_previous[sig], nullptr);
}

// The handlers go in before echo goes off and come out only after echo is back, so there is
// no moment at which a signal could leave the operator without echo.
bool TerminalGuard::Hide()
{
    Install();
    g_wantHidden = 1;
    if (HideInForeground())
        return true;

    int error = errno;
    g_wantHidden = 0;
    Release();
    errno = error;
    return false;
}

bool TerminalGuard::KeepHidden()
{
    if (g_hidden)
        return true;
    if (!HideInForeground())
        return false;
    g_resumed = 1;
    return true;
}

// Echo goes off only while we hold the terminal. From the background tcdrain, which changes
// nothing, stops us with SIGTTOU until the shell brings us forward (and the stop handler hides
// us then). bash's fg sends no SIGCONT to a job it believes running, only hands it the
// terminal, so after each stop or continue ask again where we are.
bool TerminalGuard::HideInForeground()
{
    for (;;) {
        if (!InForeground() && tcdrain(m_fd) != 0 && errno == EINTR && TakeJobControl())
            continue;
        g_hidden = 1;
        if (tcsetattr(m_fd, TCSAFLUSH, &g_quiet) == 0)
            return true;
        if (errno != EINTR || !TakeJobControl()) {
            g_hidden = 0;
            return false;
        }
    }
}

bool TerminalGuard::TakeJobControl()
{
    bool happened = g_jobControl != 0;
    g_jobControl = 0;
    return happened;
}

bool TerminalGuard::TakeResumed()
{
    bool happened = g_resumed != 0;
    g_resumed = 0;
    return happened;
}

bool TerminalGuard::Restore()
{
    g_wantHidden = 0;
    bool restored;
    do {
        restored = tcsetattr(m_fd, TCSAFLUSH, &m_asFound) == 0;
    } while (!restored && errno == EINTR && TakeJobControl());
    int error = errno;
    g_hidden = 0;
    Release();
    errno = error;
    return restored;
}

} // namespace hxconsole
