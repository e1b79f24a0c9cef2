// TerminalGuard: switches echo off on a terminal for one hidden read and makes sure the
// operator gets it back, whatever happens in between. Internal to the library; not installed.
//
// While the guard is up, every signal whose default action would end the process, and the
// job-control stops, get a handler if they are still at their default action:
//   - an ending signal puts the terminal back as found, then is delivered again at its
//     default action, so the process ends as it would have and the shell has echo;
//   - a stop (Ctrl-Z, or a background job touching the terminal) puts the terminal back as
//     found, then stops for real; when the job continues in the foreground echo goes off
//     again at once, before any key is read, and anything typed meanwhile is dropped;
//   - a continue that follows no stop of ours changes nothing, unless it finds the terminal's
//     modes changed (a shell's, after a SIGSTOP that no handler sees): then echo goes off again.
// A handler the caller installed, or SIG_IGN, stays as it is. The handlers act only in the
// process that installed them: in a child forked meanwhile they just pass the signal on. On
// the reading thread they run on a signal stack of their own, so that a stack overflow there
// still puts the terminal back.
//
// The guard never reads or sets the terminal's modes from the background, where they are the
// shell's: it waits, stopped by SIGTTOU as any background job touching the terminal is, until
// the shell brings the job forward. A job that ignores or blocks SIGTTOU cannot be stopped;
// the guard then fails with EIO, as the kernel fails a background read, and leaves the
// terminal alone.
//
// The state is process-wide, shared with the handlers, and lives in one place in
// TerminalGuard.cpp; this class is only the reading thread's way in. So one guard at a time:
// two threads must not run hidden reads at once. Every call below is made on the reading
// thread.
#ifndef HXCONSOLE_TERMINALGUARD_H
#define HXCONSOLE_TERMINALGUARD_H

namespace hxconsole
{

class TerminalGuard
{
  public:
    // Takes the attributes of the terminal behind fd, once the job holds it. False, with errno
    // set, when there is no terminal (ENOTTY) or the job is in the background and cannot wait
    // (EIO); nothing has changed then.
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

    // Puts the attributes back as found, then removes the handlers. When it returns, no
    // handler of ours is installed and none still running on another thread can change the
    // terminal. False, with errno set, when the terminal refused.
    bool Restore();
};

} // namespace hxconsole

#endif
