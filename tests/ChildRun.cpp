#include "ChildRun.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace hxtest
{

namespace
{

using Clock = std::chrono::steady_clock;

// CI may start us with descriptors 0 to 2 closed; a pipe would then land on one of them and be
// clobbered by the child's dup2. Park /dev/null there first.
void OccupyStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1)
            open("/dev/null", O_RDWR);
}

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe()
    {
        int fds[2];
        if (pipe(fds) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
};

void CloseFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

void WriteAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EAGAIN) {
            usleep(1000); // a terminal whose input queue is full; the child will read
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        size -= static_cast<size_t>(n);
    }
}

void WriteInt(std::string& wire, int32_t value)
{
    wire.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// The child's half: run the call, flush what it printed, send the outcome up the report pipe
// and leave without running the test program's exit handlers.
[[noreturn]] void RunChild(const Call& call, int reportFd)
{
    signal(SIGPIPE, SIG_DFL); // the parent ignores it; the code under test should not
    clearerr(stdin);
    Outcome outcome = call();
    fflush(stdout);
    fflush(stderr);

    termios attributes;
    bool echo = tcgetattr(0, &attributes) == 0 && (attributes.c_lflag & ECHO) != 0;

    std::string wire;
    WriteInt(wire, outcome.result);
    WriteInt(wire, echo);
    WriteInt(wire, static_cast<int32_t>(outcome.values.size()));
    for (int v : outcome.values)
        WriteInt(wire, v);
    WriteInt(wire, static_cast<int32_t>(outcome.bytes.size()));
    wire += outcome.bytes;
    WriteAll(reportFd, wire.data(), wire.size());
    _exit(0);
}

bool ReadInt(const std::string& wire, size_t& at, int32_t& value)
{
    if (wire.size() - at < sizeof value)
        return false;
    memcpy(&value, wire.data() + at, sizeof value);
    at += sizeof value;
    return true;
}

// Decodes what RunChild sent; leaves run.returned false when the report is cut short.
void DecodeReport(const std::string& wire, Transcript& run)
{
    size_t at = 0;
    int32_t echo = 0, count = 0, size = 0;
    if (!ReadInt(wire, at, run.outcome.result) || !ReadInt(wire, at, echo) ||
        !ReadInt(wire, at, count))
        return;
    for (int32_t i = 0; i < count; ++i) {
        int32_t v;
        if (!ReadInt(wire, at, v))
            return;
        run.outcome.values.push_back(v);
    }
    if (!ReadInt(wire, at, size) || wire.size() - at != static_cast<size_t>(size))
        return;
    run.outcome.bytes = wire.substr(at);
    run.echoAfter = echo != 0;
    run.returned = true;
}

// The parent's half: feeds the input pipe, drains the output pipes (and the terminal), and
// reaps the child, killing it at the deadline.
struct Supervisor {
    Supervisor(pid_t child, Clock::time_point deadline, int out, int err, int report)
        : child(child), deadline(deadline), out(out), err(err), report(report)
    {
    }

    pid_t child;
    Clock::time_point deadline;
    int out, err, report;
    int input = -1;      // pipe runs: write end of the child's standard input
    std::string pending; // bytes still to be written to it
    bool closeInput = true;
    int master = -1; // terminal runs: the terminal's master side

    Transcript Supervise();
    void DrainScreen(std::string& into);

  private:
    void Drain(int& fd, std::string& into);
    void Feed();
};

void Supervisor::Drain(int& fd, std::string& into)
{
    char chunk[4096];
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0)
        into.append(chunk, static_cast<size_t>(n));
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        CloseFd(fd);
}

// The master side is never closed here: the terminal outlives the child, and a quiet
// terminal just has nothing to read.
void Supervisor::DrainScreen(std::string& into)
{
    char chunk[4096];
    ssize_t n = read(master, chunk, sizeof chunk);
    if (n > 0)
        into.append(chunk, static_cast<size_t>(n));
    else if (n == 0 || errno == EIO)
        master = -1;
}

void Supervisor::Feed()
{
    ssize_t n = write(input, pending.data(), pending.size());
    if (n > 0)
        pending.erase(0, static_cast<size_t>(n));
    else if (n < 0 && errno != EINTR && errno != EAGAIN)
        pending.clear(); // the child closed its end; nobody will read the rest
    if (pending.empty() && closeInput)
        CloseFd(input);
}

Transcript Supervisor::Supervise()
{
    Transcript run;
    std::string wire;
    bool reaped = false;
    int status = 0;
    if (input >= 0 && pending.empty() && closeInput)
        CloseFd(input);

    while (!reaped || out >= 0 || err >= 0 || report >= 0) {
        pollfd fds[5];
        int n = 0;
        auto watch = [&](int fd, short events) {
            if (fd >= 0)
                fds[n++] = pollfd{fd, events, 0};
        };
        watch(out, POLLIN);
        watch(err, POLLIN);
        watch(report, POLLIN);
        watch(master, POLLIN);
        if (!pending.empty())
            watch(input, POLLOUT);
        poll(fds, static_cast<nfds_t>(n), 10);

        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == out)
                Drain(out, run.out);
            else if (fds[i].fd == err)
                Drain(err, run.err);
            else if (fds[i].fd == report)
                Drain(report, wire);
            else if (fds[i].fd == master)
                DrainScreen(run.screen);
            else if (fds[i].fd == input)
                Feed();
        }

        if (!reaped && waitpid(child, &status, WNOHANG) == child)
            reaped = true;
        if (!reaped && Clock::now() > deadline) {
            kill(child, SIGKILL);
            run.timedOut = true;
            reaped = waitpid(child, &status, 0) == child;
        }
    }
    CloseFd(input);
    if (WIFSIGNALED(status) && !run.timedOut)
        run.signal = WTERMSIG(status);
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    DecodeReport(wire, run);
    return run;
}

} // namespace

std::string Bytes(const char* buf, size_t size)
{
    return std::string(buf, size);
}

Transcript RunOnPipe(const std::string& input, const Call& call, bool closeInput, Millis limit)
{
    OccupyStandardDescriptors();
    signal(SIGPIPE, SIG_IGN);
    Pipe in, out, err, report;
    fflush(nullptr); // or the child would print the test program's buffered output again

    pid_t pid = fork();
    if (pid == 0) {
        dup2(in.read, 0);
        dup2(out.write, 1);
        dup2(err.write, 2);
        for (int fd : {in.read, in.write, out.read, out.write, err.read, err.write, report.read})
            close(fd);
        RunChild(call, report.write);
    }
    for (int fd : {in.read, out.write, err.write, report.write})
        close(fd);
    fcntl(in.write, F_SETFL, O_NONBLOCK);

    Supervisor supervisor(pid, Clock::now() + limit, out.read, err.read, report.read);
    supervisor.input = in.write;
    supervisor.pending = input;
    supervisor.closeInput = closeInput;
    return supervisor.Supervise();
}

Terminal::Terminal(int master, int slave, pid_t child, Clock::time_point deadline)
    : m_master(master), m_slave(slave), m_child(child), m_deadline(deadline)
{
}

void Terminal::Type(const std::string& keys)
{
    WriteAll(m_master, keys.data(), keys.size());
}

bool Terminal::ChildGone() const
{
    siginfo_t info{};
    // WNOWAIT: only look; the supervisor does the reaping.
    return waitid(P_PID, static_cast<id_t>(m_child), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
           info.si_pid != 0;
}

bool Terminal::WaitForEcho(bool on)
{
    while (Clock::now() < m_deadline && !ChildGone()) {
        termios attributes;
        if (tcgetattr(m_slave, &attributes) == 0 && ((attributes.c_lflag & ECHO) != 0) == on)
            return true;
        std::this_thread::sleep_for(Millis(1));
    }
    return false;
}

namespace
{

// The first `size` - 1 bytes of a /proc file, terminated; empty when it cannot be read.
std::string ProcFile(pid_t pid, const char* name, size_t size)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
    std::string text(size, '\0');
    FILE* file = fopen(path.c_str(), "r");
    if (file == nullptr)
        return "";
    text.resize(fread(&text[0], 1, size - 1, file));
    fclose(file);
    return text;
}

// The state letter in /proc/PID/stat: S sleeping, T stopped, and so on.
char State(pid_t pid)
{
    std::string stat = ProcFile(pid, "stat", 256);
    size_t end = stat.rfind(") ");
    return end != std::string::npos && end + 2 < stat.size() ? stat[end + 2] : '?';
}

bool IsStopped(pid_t pid)
{
    return State(pid) == 'T';
}

// Blocked waiting for input: asleep (a job stopped in the middle of a read is not waiting for
// it) in the kernel function where a read of a terminal or a pipe waits, or the select in which
// bash's line editor waits for a key. /proc/PID/wchan names that function, the same for every
// architecture and ABI, and also when the process is a program emulated by qemu-user, whose
// /proc/PID/syscall shows qemu's own calls in the build machine's numbering. A terminal read
// waits in wait_woken, as would a write to a full terminal, which the harness never lets
// happen: it drains the terminal all along. Where the kernel does not name the function ("0",
// or an address), the number of the call in /proc/PID/syscall serves, as this build numbers
// read(2) and pselect6(2).
bool BlockedInRead(pid_t pid)
{
    if (State(pid) != 'S')
        return false;
    std::string function = ProcFile(pid, "wchan", 64);
    if (!function.empty() &&
        (isalpha(static_cast<unsigned char>(function[0])) || function[0] == '_')) {
        for (const char* wait : {"wait_woken", "n_tty_read", "pipe_read", "poll_schedule_timeout",
                                 "do_select", "do_sys_poll"})
            if (function.find(wait) != std::string::npos)
                return true;
        return false;
    }
    const std::string call = ProcFile(pid, "syscall", 8);
    if (call.empty() || call[0] < '0' || call[0] > '9') // "running"
        return false;
    return atol(call.c_str()) == SYS_read || atol(call.c_str()) == SYS_pselect6;
}

} // namespace

pid_t Terminal::Foreground() const
{
    // Asked on the master side: the slave side answers only its own session.
    pid_t group = tcgetpgrp(m_master);
    return group > 0 ? group : m_child;
}

bool Terminal::WaitUntilReading(Holder holder)
{
    while (Clock::now() < m_deadline && !ChildGone()) {
        pid_t group = Foreground();
        bool held = holder == Holder::Anyone || (group == m_child) == (holder == Holder::Child);
        if (held && BlockedInRead(group))
            return true;
        std::this_thread::sleep_for(Millis(1));
    }
    return false;
}

std::vector<pid_t> Terminal::Jobs() const
{
    const std::string children = "task/" + std::to_string(m_child) + "/children";
    std::istringstream list(ProcFile(m_child, children.c_str(), 256));
    std::vector<pid_t> pids;
    for (pid_t pid; list >> pid;)
        pids.push_back(pid);
    return pids;
}

long Terminal::JobProgress() const
{
    // Every sleep or stop is a context switch, and a stopped process makes none.
    long switches = 0;
    for (pid_t pid : Jobs()) {
        std::istringstream status(ProcFile(pid, "status", 4096));
        std::string line;
        while (std::getline(status, line))
            if (line.find("ctxt_switches:") != std::string::npos)
                switches += atol(line.substr(line.find(':') + 1).c_str());
    }
    return switches;
}

bool Terminal::WaitUntilJobStopped(long progress)
{
    while (Clock::now() < m_deadline && !ChildGone()) {
        for (pid_t pid : Jobs())
            if (IsStopped(pid) && (progress < 0 || JobProgress() != progress))
                return true;
        std::this_thread::sleep_for(Millis(1));
    }
    return false;
}

// The child's count of read(2) calls so far, from /proc/PID/io; -1 when it cannot be read.
long Terminal::ReadCalls() const
{
    const std::string path = "/proc/" + std::to_string(m_child) + "/io";
    FILE* file = fopen(path.c_str(), "r");
    if (file == nullptr)
        return -1;
    long calls = -1;
    char line[128];
    while (fgets(line, sizeof line, file) != nullptr)
        if (sscanf(line, "syscr: %ld", &calls) == 1)
            break;
    fclose(file);
    return calls;
}

bool Terminal::Answer(const std::string& keys)
{
    if (!WaitUntilReading())
        return false;
    // The count goes up when a read returns, so the one the child waits in is not counted yet.
    const long before = ReadCalls();
    Type(keys);
    while (ReadCalls() <= before) {
        if (Clock::now() >= m_deadline || ChildGone())
            return false;
        std::this_thread::sleep_for(Millis(1));
    }
    return WaitUntilReading();
}

void Terminal::Signal(int sig)
{
    kill(m_child, sig);
}

void Terminal::SignalForeground(int sig)
{
    kill(-Foreground(), sig);
}

Transcript RunOnTerminal(const Call& call, const std::function<void(Terminal&)>& script,
                         Millis limit)
{
    OccupyStandardDescriptors();
    signal(SIGPIPE, SIG_IGN);
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return Transcript{};
    Pipe out, err, report;
    fflush(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        // A session of its own with the terminal as its controlling terminal, as a shell
        // would give it: Ctrl-C and hang-ups reach it.
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        dup2(slave, 0);
        dup2(out.write, 1);
        dup2(err.write, 2);
        for (int fd : {master, slave, out.read, out.write, err.read, err.write, report.read})
            close(fd);
        RunChild(call, report.write);
    }
    for (int fd : {out.write, err.write, report.write})
        close(fd);

    fcntl(master, F_SETFL, O_NONBLOCK);
    Clock::time_point deadline = Clock::now() + limit;
    Terminal terminal(master, slave, pid, deadline);
    std::thread operatorThread([&] { script(terminal); });

    Supervisor supervisor(pid, deadline, out.read, err.read, report.read);
    supervisor.master = master;
    Transcript run = supervisor.Supervise();
    operatorThread.join();

    // Whatever the terminal echoed in the child's last moments.
    supervisor.DrainScreen(run.screen);
    termios attributes;
    run.echoAtEnd = tcgetattr(slave, &attributes) == 0 && (attributes.c_lflag & ECHO) != 0;
    close(master);
    close(slave);
    return run;
}

Transcript RunDialogue(const std::string& keys, const Call& call, Millis limit)
{
    return RunOnTerminal(
        call, [&keys](Terminal& t) { t.Type(keys); }, limit);
}

void LimitOutputFile(const std::string& path, unsigned long bytes)
{
    if (freopen(path.c_str(), "w", stdout) == nullptr)
        _exit(127);
    const rlimit limit{bytes, bytes};
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_FSIZE, &limit);
    setrlimit(RLIMIT_CORE, &noCore);
}

std::string Repeated(int n, const std::string& text)
{
    std::string all;
    for (int i = 0; i < n; ++i)
        all += text;
    return all;
}

} // namespace hxtest
