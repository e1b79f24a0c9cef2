#include "GuardSignals.h"

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

// The reading thread's handlers run here. Static, since the library allocates nothing; one is
// enough, since there is one hidden read at a time. The kernel's signal frame takes a few KiB
// on today's processors, more with the widest vector registers; the handlers need little.
alignas(64) char g_signalStack[64 * 1024];

} // namespace

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

struct sigaction ActionFor(void (*handler)(int))
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    // No SA_RESTART: a read interrupted by a stop must come back to the caller, which shows
    // the prompt again. Every guarded signal waits while one of the handlers runs.
    action.sa_flags = SA_ONSTACK;
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

// A thread that is running on its alternate stack right now cannot switch (EPERM) and keeps
// it. Where the processor's signal frame would leave the handlers too little room, they stay
// where they are.
void SignalStack::Use()
{
    m_replaced = false;
    if (sysconf(_SC_MINSIGSTKSZ) > static_cast<long>(sizeof g_signalStack / 2))
        return;
    stack_t mine{};
    mine.ss_sp = g_signalStack;
    mine.ss_size = sizeof g_signalStack;
    m_replaced = sigaltstack(&mine, &m_callers) == 0;
}

// The kernel saved every register on this stack for each handler that ran, and those may
// have held pieces of the line being read.
void SignalStack::GiveBack()
{
    if (m_replaced) {
        sigaltstack(&m_callers, nullptr);
        explicit_bzero(g_signalStack, sizeof g_signalStack);
    }
    m_replaced = false;
}

} // namespace hxconsole
