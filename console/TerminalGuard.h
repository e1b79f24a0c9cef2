// TerminalGuard: switches echo off on a terminal for one hidden read and makes sure the
// operator gets it back, whatever happens in between. Internal to the library; not installed.
//
// While the guard is up, every signal whose default action would end the process, and the
// job-control stops, get a handler if they are still at their default action:
//   - an ending signal puts the terminal back as found, then is delivered again at its
//     default action, so the process ends as it would have and the shell has echo;
//   - a stop (Ctrl-Z, or a background job touching the terminal) puts the terminal back as
//     found, then stops for real; when the job continues in the foreground echo goes off
//     again at once, before any key is read, and anything typed meanwhile is dropped.
// A handler the caller installed, or SIG_IGN, stays as it is.
//
// The handlers share process-wide state, so one guard at a time: two threads must not run
// hidden reads at once.
#ifndef HXCONSOLE_TERMINALGUARD_H
#define HXCONSOLE_TERMINALGUARD_H

#include <csignal>
#include <termios.h>

namespace hxconsole
{

class TerminalGuard
{
  public:
    // Takes the attributes of the terminal behind fd. False, with errno set, when there is
    // no terminal; nothing has changed then.
    bool Capture(int fd);

    // Installs the handlers, then switches echo off. False, with errno set, when the
    // terminal refused; the handlers are gone again.
    bool Hide();

    // Before each read: switches echo off again when a stop put the terminal back and the
    // job is (once more) in the foreground; from the background it first waits, stopped, to
    // be brought forward. False, with errno set, when the terminal refused. (A shell that
    // hands a running background job the terminal in the instant between this check and the
    // read goes unseen: nothing signals that.)
    bool KeepHidden();

    // True once after a stop or a continue interrupted a call with EINTR: the caller should
    // make the call again. Any other EINTR is the caller's own signal.
    bool TakeJobControl();

    // True once after echo went off again in the foreground, after a stop or a start in the
    // background: the operator has seen the shell since the prompt, so show it again.
    bool TakeResumed();

    // Puts the attributes back as found, then removes the handlers. False, with errno set,
    // when the terminal refused.
    bool Restore();

  private:
    void Install();
    void Release();
    bool HideInForeground();

    int m_fd = -1;
    termios m_asFound{};
    struct sigaction m_previous[NSIG];
    bool m_replaced[NSIG] = {};
};

} // namespace hxconsole

#endif
