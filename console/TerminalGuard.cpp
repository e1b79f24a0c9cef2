#include "TerminalGuard.h"

#include "GuardSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace hxconsole
{

namespace
{

// How far a hidden read has got, as the handlers see it. Open: echo belongs off. Closing:
// Restore is putting the terminal back, and a handler may only put it back too. Closed: none
// of our handlers is installed; one that still runs only passes its signal on.
enum Phase : unsigned { kClosed = 0, kClosing = 1, kOpen = 2 };

// The gate word: the phase in its low bits, above them the count of handlers running. A handler
// counts itself in before it looks at the phase, so once Restore has changed the phase and seen
// the count drop to zero, every handler after that sees the new phase.
const unsigned kPhaseBits = 3;
const unsigned kOneHandler = 4;

static_assert(ATOMIC_INT_LOCK_FREE == 2 && ATOMIC_BOOL_LOCK_FREE == 2,
              "the handlers need atomics that take no lock");

// The guard's whole state, shared by the reading thread and the handlers. The plain members are
// written while the gate is closed (Capture, Install), then only read; handlers write atomics.
struct State {
    int fd = -1;
    termios asFound{};
    termios quiet{};
    struct sigaction defaultAction;
    struct sigaction stopAction;
    struct sigaction previous[NSIG];
    bool replaced[NSIG]{};
    SignalStack stack;

    std::atomic<unsigned> gate{kClosed};
    std::atomic<pid_t> owner{0};         // the process that installed the handlers
    std::atomic<bool> hidden{false};     // echo may be off because of us
    std::atomic<bool> jobControl{false}; // a stop or a continue came in
    std::atomic<bool> resumed{false};    // echo went off again after a return to the foreground
} g_state;

// A job in the background must leave the terminal alone: its modes are the shell's now. A
// terminal that is not our controlling one (after setsid, a console handed to a daemon) has no
// job control for us: we may always put it back. errno is left as found (the handlers call it).
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
    return HoldsTerminal(g_state.fd);
}

// The kernel lets a background job that ignores or blocks SIGTTOU change the terminal's modes,
// and tcdrain does not stop it either.
bool StopsForTerminal()
{
    struct sigaction action;
    sigset_t blocked;
    if (sigaction(SIGTTOU, nullptr, &action) != 0 || sigprocmask(SIG_BLOCK, nullptr, &blocked) != 0)
        return false;
    bool ignored = (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_IGN;
    return !ignored && sigismember(&blocked, SIGTTOU) == 0;
}

bool TakeFlag(std::atomic<bool>& flag)
{
    return flag.exchange(false);
}

// Waits until the job holds the terminal. tcdrain changes nothing, but from the background it
// stops us with SIGTTOU until the shell brings us forward, as it would any background job
// touching the terminal. A stop handler of ours makes it fail with EINTR, and it is made again.
// A job that cannot be stopped fails with EIO, as the kernel fails a background read.
bool WaitForForeground(int fd)
{
    while (!HoldsTerminal(fd)) {
        if (!StopsForTerminal()) {
            errno = EIO;
            return false;
        }
        if (tcdrain(fd) != 0 && (errno != EINTR || !TakeFlag(g_state.jobControl)))
            return false;
    }
    return true;
}

// The count of handlers running is left alone: one from an earlier read may still be leaving.
void SetPhase(Phase phase)
{
    unsigned gate = g_state.gate.load();
    while (!g_state.gate.compare_exchange_weak(gate, (gate & ~kPhaseBits) | phase)) {
    }
}

// Open to Closing, and nothing else: Restore may have moved on to Closed already.
void CloseIfOpen()
{
    unsigned gate = g_state.gate.load();
    while ((gate & kPhaseBits) == kOpen &&
           !g_state.gate.compare_exchange_weak(gate, (gate & ~kPhaseBits) | kClosing)) {
    }
}

// Counts a handler in and tells it its phase. Every Enter has its Leave.
Phase Enter()
{
    return static_cast<Phase>(g_state.gate.fetch_add(kOneHandler) & kPhaseBits);
}

void Leave()
{
    g_state.gate.fetch_sub(kOneHandler);
}

// The signal is blocked while its handler runs, so a raise takes effect once the handler
// returns (a fault simply happens again), at the disposition then in place: after the read,
// the caller's. A child forked during the read still has our handlers: there the default
// action (as before us) goes back and the signal does what it would; the terminal is the
// parent's.
void PassOn(int sig, bool inChild)
{
    if (inChild)
        sigaction(sig, &g_state.defaultAction, nullptr);
    raise(sig);
}

bool InChild()
{
    return getpid() != g_state.owner;
}

// TCSAFLUSH also drops a half-typed password, which the shell would read as a command.
void PutBackAsFound()
{
    if (g_state.hidden.exchange(false) && InForeground())
        tcsetattr(g_state.fd, TCSAFLUSH, &g_state.asFound);
}

// Before any key is read: TCSAFLUSH drops what was typed, visibly, since the shell handed the
// terminal back to us.
void HideAgainInForeground()
{
    if (!InForeground()) {
        g_state.hidden = false;
        return;
    }
    g_state.hidden = true;
    if (tcsetattr(g_state.fd, TCSAFLUSH, &g_state.quiet) == 0)
        g_state.resumed = true;
}

// The modes we set are still on the terminal, whatever the hidden flag thinks. The flags that
// ECHO and canonical input live in are compared; the line speed is the driver's business.
bool StillQuiet()
{
    termios now;
    return InForeground() && tcgetattr(g_state.fd, &now) == 0 &&
           now.c_lflag == g_state.quiet.c_lflag && now.c_iflag == g_state.quiet.c_iflag &&
           now.c_oflag == g_state.quiet.c_oflag;
}

// The process is about to end: give the operator their terminal back, then let the signal
// do what it would have done had we not been reading.
void PutBackAndRedeliver(int sig)
{
    Phase phase = Enter();
    bool inChild = InChild();
    if (phase != kClosed && !inChild) {
        // No stop handler on another thread may hide again once we have put the terminal back.
        CloseIfOpen();
        PutBackAsFound();
        sigaction(sig, &g_state.defaultAction, nullptr);
    }
    PassOn(sig, inChild);
    Leave();
}

// Restore the terminal as found (dash puts nothing back for a stopped job), stop for real, and
// on waking up hide again if the shell gave us the terminal; the interrupted read fails with
// EINTR, and the caller shows the prompt again and retries. Once Restore has begun it still
// puts the terminal back and stops, but neither hides again nor reinstalls itself.
void PutBackAndStop(int sig)
{
    int savedErrno = errno;
    Phase phase = Enter();
    bool inChild = InChild();
    if (phase == kClosed || inChild) {
        PassOn(sig, inChild);
        Leave();
        errno = savedErrno;
        return;
    }
    g_state.jobControl = true;
    PutBackAsFound();

    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    sigaction(sig, &g_state.defaultAction, nullptr);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig); // stops here until SIGCONT
    sigprocmask(SIG_BLOCK, &only, nullptr);

    // Restore waits for us before it puts the dispositions back, so this comes before that.
    if ((g_state.gate.load() & kPhaseBits) == kOpen) {
        sigaction(sig, &g_state.stopAction, nullptr);
        HideAgainInForeground();
    }
    Leave();
    errno = savedErrno;
}

// After a stop of ours the stop handler has hidden again already. Otherwise a continue means
// something only when the terminal's modes are no longer ours: after a SIGSTOP, which no
// handler sees, bash hands the job the terminal with the shell's modes. A stray SIGCONT leaves
// the question and what was typed as they are, and the read it interrupts goes on.
void HideAgainOnContinue(int sig)
{
    int savedErrno = errno;
    Phase phase = Enter();
    bool inChild = InChild();
    if (inChild) {
        PassOn(sig, true);
    } else if (phase == kOpen) {
        g_state.jobControl = true;
        if (!StillQuiet())
            HideAgainInForeground();
    }
    Leave();
    errno = savedErrno;
}

void Install()
{
    g_state.owner = getpid();
    // Only ECHO goes: canonical mode stays, so the operator can still edit the line and
    // Ctrl-C, Ctrl-\ and Ctrl-Z still work.
    g_state.quiet = g_state.asFound;
    g_state.quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    g_state.hidden = false;
    g_state.jobControl = false;

    g_state.defaultAction = ActionFor(SIG_DFL);
    g_state.stopAction = ActionFor(PutBackAndStop);
    const struct sigaction ending = ActionFor(PutBackAndRedeliver);
    const struct sigaction continuing = ActionFor(HideAgainOnContinue);

    g_state.stack.Use();
    SetPhase(kOpen);
    for (int sig = 1; sig < NSIG; ++sig) {
        g_state.replaced[sig] = false;
        Role role = RoleOf(sig);
        // A signal the caller handles or ignores is the caller's business.
        if (role == Role::None || sigaction(sig, nullptr, &g_state.previous[sig]) != 0 ||
            !AtDefault(g_state.previous[sig]))
            continue;
        const struct sigaction& mine = role == Role::Ends    ? ending
                                       : role == Role::Stops ? g_state.stopAction
                                                             : continuing;
        g_state.replaced[sig] = sigaction(sig, &mine, nullptr) == 0;
    }
}

// Moves the gate to `phase` and waits until every handler that came in before has gone: from
// then on none acts in an earlier phase. A handler stopped by a signal holds the whole process,
// this thread included, so the wait ends when the process runs again.
void CloseTo(Phase phase)
{
    SetPhase(phase);
    while ((g_state.gate.load() & ~kPhaseBits) != 0)
        sched_yield();
}

// One of the guard's handlers: not another thread's, nor a default action ours put back.
bool IsOurs(const struct sigaction& action)
{
    return (action.sa_flags & SA_SIGINFO) == 0 &&
           (action.sa_handler == PutBackAndRedeliver || action.sa_handler == PutBackAndStop ||
            action.sa_handler == HideAgainOnContinue);
}

// Takes the handlers out for good, after CloseTo(kClosing) has stopped them hiding, where one of
// ours is still in place: one another thread installed meanwhile stays (short of one installed
// between the look and the change, which sigaction cannot do at once). Handlers still running
// are waited for, so none outlives the read. errno is left as found.
void Release()
{
    int savedErrno = errno;
    struct sigaction now;
    for (int sig = 1; sig < NSIG; ++sig)
        if (g_state.replaced[sig] && sigaction(sig, nullptr, &now) == 0 && IsOurs(now))
            sigaction(sig, &g_state.previous[sig], nullptr);
    g_state.stack.GiveBack();
    CloseTo(kClosed);
    // glibc's sigaction fills the part of sa_mask that the kernel leaves alone from its own
    // stack, where the line being read may have left pieces: keep no copy past the read.
    explicit_bzero(g_state.previous, sizeof g_state.previous);
    explicit_bzero(&now, sizeof now);
    errno = savedErrno;
}

// Echo goes off only while we hold the terminal. bash's fg sends no SIGCONT to a job it
// believes running, only hands it the terminal, so after each stop or continue ask again where
// we are.
bool HideInForeground()
{
    for (;;) {
        if (!WaitForForeground(g_state.fd))
            return false;
        g_state.hidden = true;
        if (tcsetattr(g_state.fd, TCSAFLUSH, &g_state.quiet) == 0)
            return true;
        if (errno != EINTR || !TakeFlag(g_state.jobControl)) {
            g_state.hidden = false;
            return false;
        }
    }
}

} // namespace

// Started in the background, the terminal's modes are the shell's (bash's line editing has echo
// off), not ours to put back: wait for the foreground, take the modes it left us, ask again.
bool TerminalGuard::Capture(int fd)
{
    g_state.fd = fd;
    g_state.jobControl = false;
    g_state.resumed = !HoldsTerminal(fd);
    return WaitForForeground(fd) && tcgetattr(fd, &g_state.asFound) == 0;
}

// The handlers go in before echo goes off and come out only after echo is back: no signal can
// leave the operator without echo.
bool TerminalGuard::Hide()
{
    Install();
    if (HideInForeground())
        return true;
    // The terminal refused to hide us: there is nothing to put back.
    CloseTo(kClosing);
    Release();
    return false;
}

bool TerminalGuard::KeepHidden()
{
    if (g_state.hidden)
        return true;
    if (!HideInForeground())
        return false;
    g_state.resumed = true;
    return true;
}

bool TerminalGuard::TakeJobControl()
{
    return TakeFlag(g_state.jobControl);
}

bool TerminalGuard::TakeResumed()
{
    return TakeFlag(g_state.resumed);
}

// From the moment the gate closes no handler hides again; one that comes in meanwhile may still
// put the terminal back, which is what we do too.
bool TerminalGuard::Restore()
{
    CloseTo(kClosing);
    // Made again whatever signal interrupts it: a stop, or a handler of the caller's own
    // without SA_RESTART (TCSAFLUSH waits for output to drain, on a slow line long enough for
    // a signal to come in). Giving up would leave the operator without echo.
    bool restored;
    do {
        restored = WaitForForeground(g_state.fd) &&
                   tcsetattr(g_state.fd, TCSAFLUSH, &g_state.asFound) == 0;
    } while (!restored && errno == EINTR);
    if (restored)
        g_state.hidden = false;
    Release();
    return restored;
}

} // namespace hxconsole
