// ChildRun: runs one piece of console code in a forked child whose standard input is a pipe
// or a pseudo-terminal, and hands back what the code returned and exactly what it printed.
//
// The console works on process-wide state (descriptor 0, the standard streams, the terminal's
// attributes), so each call gets a fresh process: nothing one test reads or leaves buffered
// can leak into the next, and a call that would wait forever is killed at its time limit.
//
//   Transcript run = RunOnPipe("42\n", [] {
//       QHxConsole console;
//       char buf[16] = {};
//       int r = console.Read(buf, 15, "Age", false);
//       return Outcome{r, {}, Bytes(buf, sizeof buf)};
//   });
//   EXPECT_EQ(run.out, "Age : ");
//
// The call runs in the child, so GoogleTest assertions inside it are lost: hand everything
// worth checking back in the Outcome and assert in the test. A call may also exec a program
// (a tool under test); its exit status then comes back in Transcript::exitCode.
#ifndef HXCONSOLE_TESTS_CHILDRUN_H
#define HXCONSOLE_TESTS_CHILDRUN_H

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace hxtest
{

// What the call hands back from the child.
struct Outcome {
    Outcome(int result = 0, std::vector<int> values = {}, std::string bytes = {})
        : result(result), values(std::move(values)), bytes(std::move(bytes))
    {
    }

    int result;              // the operation's result
    std::vector<int> values; // anything else worth a look: out-parameters, second results
    std::string bytes;       // raw bytes, typically the whole buffer the call read into
};

// What the test gets back.
struct Transcript {
    bool returned = false; // the call returned and its Outcome arrived
    Outcome outcome;
    std::string out;        // standard output, byte for byte
    std::string err;        // standard error, byte for byte
    std::string screen;     // terminal runs: what the terminal displayed (echoed keys)
    bool echoAfter = false; // terminal runs: ECHO was on when the call returned
    bool echoAtEnd = false; // terminal runs: ECHO was on once the child was gone
    bool timedOut = false;  // the child outlived its time limit and was killed
    int signal = 0;         // the signal that ended the child; 0 when it exited
    int exitCode = -1;      // the child's exit status when it exited
};

using Call = std::function<Outcome()>;
using Millis = std::chrono::milliseconds;

const Millis kTimeLimit{10000};

// `size` bytes of `buf`, NULs and all.
std::string Bytes(const char* buf, size_t size);

// Runs `call` with standard input reading a pipe that holds `input`. The pipe is closed after
// the input (end of input) unless `closeInput` is false, in which case a read past the input
// waits until the time limit ends the child.
Transcript RunOnPipe(const std::string& input, const Call& call, bool closeInput = true,
                     Millis limit = kTimeLimit);

// The operator's side of a pseudo-terminal: what a script can do while the call runs.
class Terminal
{
  public:
    // Sends keys as if typed: "\n" is Enter, "\x04" (Ctrl-D) at the start of a line is end of
    // input, "\x03" (Ctrl-C) interrupts.
    void Type(const std::string& keys);

    // Waits until the terminal's ECHO flag is `on`; false if the child ended or the time
    // limit passed first. Type a hidden answer only after WaitForEcho(false): switching echo
    // off discards whatever was typed before.
    bool WaitForEcho(bool on);

    // Who holds the terminal: whoever it is, the child itself, or a job that the child, an
    // interactive shell, started and brought to the foreground.
    enum class Holder { Anyone, Child, Job };

    // Waits until the terminal's foreground job (the child, unless the child is a shell that
    // started one) is blocked waiting for input, as when it waits for a line, and is held by
    // `holder`; false if the child ended or the time limit passed first. Echo going off says
    // the job is about to read, not that it already waits: a signal sent in between finds it
    // still running.
    bool WaitUntilReading(Holder holder = Holder::Anyone);

    // How far the processes the child (a shell) started have run: a count that grows
    // whenever one of them runs and sleeps or stops.
    long JobProgress() const;

    // Waits until a process the child started is stopped, and has run since `progress` was
    // taken when that is given (a job continued in the background that stopped again).
    bool WaitUntilJobStopped(long progress = -1);

    // Types `keys` for the read the child waits in, then waits until that read has returned and
    // the child waits in a read again; false if it ended or the time limit passed first. Two
    // hidden questions in a row leave echo on too briefly to be seen between them, so this
    // tells one read from the next by the child's count of read calls.
    bool Answer(const std::string& keys);

    // Sends a signal to the child, or to the terminal's foreground job.
    void Signal(int sig);
    void SignalForeground(int sig);

  private:
    friend Transcript RunOnTerminal(const Call&, const std::function<void(Terminal&)>&, Millis);
    Terminal(int master, int slave, pid_t child, std::chrono::steady_clock::time_point deadline);
    bool ChildGone() const;
    pid_t Foreground() const;
    std::vector<pid_t> Jobs() const;
    long ReadCalls() const;

    int m_master;
    int m_slave;
    pid_t m_child;
    std::chrono::steady_clock::time_point m_deadline;
};

// Runs `call` with standard input on a fresh pseudo-terminal that is the child's controlling
// terminal, while `script` plays the operator from the test's side. Standard output and
// standard error stay pipes, so Transcript::out holds only what the call printed and
// Transcript::screen what the terminal echoed.
Transcript RunOnTerminal(const Call& call, const std::function<void(Terminal&)>& script,
                         Millis limit = kTimeLimit);

// Types all of `keys` at once and lets the call answer them. Canonical mode hands each plain
// read one line, so a dialogue of several answers plays out as an operator's typing would.
Transcript RunDialogue(const std::string& keys, const Call& call, Millis limit = kTimeLimit);

// For a child that is about to exec a tool: its standard output goes to the file at `path`,
// which may grow to `bytes` bytes; a write past that raises SIGXFSZ. No core file is written
// for the signal (qemu-user writes one itself for an emulated program).
void LimitOutputFile(const std::string& path, unsigned long bytes);

// `text` written `n` times: the prompts a dialogue shows again and again.
std::string Repeated(int n, const std::string& text);

} // namespace hxtest

#endif
