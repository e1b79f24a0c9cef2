// hxdemo as a process: a whole scripted tour on a pipe, end of input at the start and in the
// middle, and the password step on a pseudo-terminal.
#include "ChildRun.h"
#include "QAsciiCrypt.h"

#include <csignal>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace hxtest;

namespace
{

const char kTool[] = HXDEMO;

// Should the driver below be killed at its time limit, the tool sees end of input and ends;
// this is its own limit for anything else.
const unsigned kToolSeconds = 30;

struct Exchange {
    std::string question;
    std::string answer;
};

// Runs the tool with its standard input and output on pipes of their own and plays the
// operator: waits until each question appears, then writes its answer; or, `atOnce`, writes
// every answer before the first question, as a script piping in a file would. Hands back the
// tool's exit status and everything it printed; its standard error is the child's. The input
// ends after the last answer.
Call Converse(std::vector<Exchange> script, bool atOnce = false)
{
    return [script, atOnce] {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            _exit(126);
        pid_t tool = fork();
        if (tool == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            for (int fd : {in[0], in[1], out[0], out[1]})
                close(fd);
            alarm(kToolSeconds);
            execl(kTool, kTool, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);

        std::string seen;
        for (const Exchange& step : script)
            if (atOnce && write(in[1], step.answer.data(), step.answer.size()) < 0)
                break;
        auto readMore = [&] {
            char chunk[4096];
            ssize_t n = read(out[0], chunk, sizeof chunk);
            if (n > 0)
                seen.append(chunk, static_cast<size_t>(n));
            return n > 0;
        };
        size_t from = 0;
        for (const Exchange& step : script) {
            size_t at;
            while ((at = seen.find(step.question, from)) == std::string::npos && readMore()) {
            }
            if (at == std::string::npos)
                break; // the tool ended without asking
            from = at + step.question.size();
            if (atOnce)
                continue;
            if (write(in[1], step.answer.data(), step.answer.size()) < 0)
                break;
        }
        close(in[1]);
        while (readMore()) {
        }
        int status = 0;
        waitpid(tool, &status, 0);
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, seen};
    };
}

std::string Ascii(const std::string& plain)
{
    QHxAsciiCrypt cipher;
    std::string out(plain.size(), '\0');
    cipher.Encrypt(plain.data(), out.data(), plain.size());
    return out;
}

// The lines in order, with anything in between.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& lines)
{
    size_t at = 0;
    for (const std::string& line : lines) {
        size_t found = text.find(line, at);
        EXPECT_NE(found, std::string::npos) << "missing, or out of order: " << line << "\n" << text;
        if (found != std::string::npos)
            at = found + line.size();
    }
}

const char kName[] = "Your name (Enter for operator) : ";
const char kRetries[] = "Retries (1-10, Enter for 5) : ";
const char kLog[] = "Keep a log (y/n, Enter for yes) : ";
const char kPassword[] = "Password : ";
const char kItem[] = "Enter item number: ";
const char kRange[] = "(FROM#-TO#) or (ALL) or (x)to exit  : ";
const char kPause[] = "Press any key to continue ...\n";

// The whole tour, each answer written as its question comes or all of them in one go.
void ExpectWholeTour(bool atOnce)
{
    Transcript run = RunOnPipe("", Converse(
                                       {
                                           {kName, "\n"},
                                           {kRetries, "12\n"},
                                           {kRetries, "7\n"},
                                           {kLog, "n\n"},
                                           {kPassword, "hunter2\n"},
                                           {kItem, "2\n"},
                                           {kRange, "2-4\n"},
                                           {kPause, "\n"},
                                       },
                                       atOnce));
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, 0);
    EXPECT_EQ(run.err, "");
    ExpectInOrder(run.outcome.bytes, {
                                         "ReadString returned 8; the name is \"operator\".\n",
                                         "value not in range: (1 - 10)\n",
                                         "ReadInt returned 0; the number is 7.\n",
                                         "ReadYesNo returned 2 (no).\n",
                                         "ReadString returned 7; the password has 7 characters.\n",
                                         "QHxAsciiCrypt scrambles it to \"" + Ascii("hunter2") +
                                             "\" and restores \"hunter2\".\n",
                                         "QHxSimpleCrypt scrambles it to (hex) ",
                                         " and restores \"hunter2\".\n",
                                         "   [2] Web server\n",
                                         "ListSelect returned 102, the id of \"Web server\".\n",
                                         "ListSelect returned 3; from 1 to 3 (indexes, counted "
                                         "from 0): \"Web server\" to \"File share\".\n",
                                         "That was the last question.\n",
                                         "Pause returned.\n\nEnd of the tour.\n",
                                     });
}

} // namespace

TEST(DemoOnPipe, ScriptedTourCallsEveryOperation)
{
    ExpectWholeTour(false);
}

TEST(DemoOnPipe, AnswersSentInOneGoMakeTheSameTour)
{
    ExpectWholeTour(true);
}

TEST(DemoInformation, HelpVersionAndUsageErrorsStartNoTour)
{
    struct Case {
        std::vector<const char*> args;
        int exitCode;
        std::string out; // the start of standard output
        std::string err;
        bool full = false; // standard output a full disk
    };
    const std::string unknown = "hxdemo: unknown option in argument 1\nTry 'hxdemo --help'.\n";
    const std::string noSpace = "hxdemo: cannot write standard output: No space left on device\n";
    const Case cases[] = {
        {{"--help"}, 0, "usage: hxdemo [-h | --help | --version]\n", ""},
        {{"-h"}, 0, "usage: hxdemo", ""},
        {{"--version"}, 0, "hxdemo (hxconsole) " HXCONSOLE_VERSION "\n", ""},
        {{"--help"}, 1, "", noSpace, true},
        {{"--version"}, 1, "", noSpace, true},
        // Named, not quoted: an argument may hold escape sequences.
        {{"--tour"}, 2, "", unknown},
        {{"-\x1b]0;X\x07"}, 2, "", unknown},
        {{"now"}, 2, "", "hxdemo: takes no arguments\nTry 'hxdemo --help'.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        Transcript run = RunOnPipe("", [&c] {
            if (c.full && freopen("/dev/full", "w", stdout) == nullptr)
                _exit(127);
            std::vector<const char*> argv{kTool};
            argv.insert(argv.end(), c.args.begin(), c.args.end());
            argv.push_back(nullptr);
            execv(kTool, const_cast<char* const*>(argv.data()));
            _exit(127);
            return Outcome{};
        });
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << run.out;
        EXPECT_EQ(run.out.find("tour:"), std::string::npos);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(DemoOnPipe, ImmediateEndOfInputEndsCleanly)
{
    Transcript run = RunOnPipe("", [] {
        execl(kTool, kTool, static_cast<char*>(nullptr));
        _exit(127);
        return Outcome{};
    });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    ExpectInOrder(run.out, {kName, "\n   ReadString returned -1: no answer (end of input). "
                                   "The tour ends here.\n"});
    EXPECT_EQ(run.out.find("2. "), std::string::npos);
}

TEST(DemoOnPipe, EndOfInputAtTheMenusStillFinishesTheTour)
{
    // The menus cannot tell end of input from their exit entry; the tour must go on to the
    // end instead of asking forever.
    Transcript run = RunOnPipe("", Converse({
                                       {kName, "Ann\n"},
                                       {kRetries, "\n"},
                                       {kLog, "\n"},
                                       {kPassword, "\n"},
                                   }));
    ASSERT_TRUE(run.returned);
    EXPECT_EQ(run.outcome.result, 0);
    ExpectInOrder(run.outcome.bytes, {
                                         "the name is \"Ann\".\n",
                                         "the number is 5.\n",
                                         "ReadYesNo returned 1 (yes).\n",
                                         "An empty password scrambles to an empty text.\n",
                                         "ListSelect returned -1: nothing chosen.\n",
                                         "ListSelect returned -1: nothing chosen.\n",
                                         "End of the tour.\n",
                                     });
}

// Positions count from 1; the note on a cut password shows from 31 characters, the most one
// read takes, and not below.
TEST(DemoOnPipe, PasswordLengthAndCipherRange)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"~",
         {"the password has 1 character.\n",
          "QHxAsciiCrypt cannot take it: character 1 is outside its range.\n"}},
        {"az{",
         {"the password has 3 characters.\n",
          "QHxAsciiCrypt cannot take it: character 3 is outside its range.\n",
          "QHxSimpleCrypt scrambles it to (hex) "}},
        {std::string(30, 'p'), {"the password has 30 characters.\n"}},
        {std::string(31, 'p'),
         {"the password has 31 characters (the most a read takes: it may be cut).\n"}},
        {std::string(40, 'p'),
         {"the password has 31 characters (the most a read takes: it may be cut).\n"}},
    };
    for (const auto& [password, lines] : cases) {
        SCOPED_TRACE(password);
        Transcript run = RunOnPipe("", Converse({
                                           {kName, "\n"},
                                           {kRetries, "\n"},
                                           {kLog, "\n"},
                                           {kPassword, password + "\n"},
                                       }));
        ASSERT_TRUE(run.returned);
        EXPECT_EQ(run.outcome.result, 0);
        ExpectInOrder(run.outcome.bytes, lines);
        EXPECT_EQ(run.outcome.bytes.find("outside its range") != std::string::npos,
                  password.find_first_of("{~") != std::string::npos);
    }
}

// A closed pipe and the file size limit end the tour as they end tr: by their signals, without
// a word, and what was written stays, up to the limit, in mid-line.
TEST(DemoOnPipe, AClosedPipeAndTheFileSizeLimitEndItByTheirSignals)
{
    char path[] = "/tmp/hxdemo-test-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    close(file);
    const std::pair<int, std::function<void()>> cases[] = {
        {SIGPIPE,
         [] {
             int ends[2];
             if (pipe(ends) == 0) {
                 close(ends[0]);
                 dup2(ends[1], STDOUT_FILENO);
             }
             signal(SIGPIPE, SIG_DFL);
         }},
        {SIGXFSZ, [&path] { LimitOutputFile(path, 100); }},
    };
    for (const auto& [sig, setup] : cases) {
        SCOPED_TRACE(sig);
        Transcript run = RunOnPipe("", [&setup] {
            setup();
            execl(kTool, kTool, static_cast<char*>(nullptr));
            _exit(127);
            return Outcome{};
        });
        EXPECT_EQ(run.signal, sig);
        EXPECT_EQ(run.err, "");
    }
    FILE* written = fopen(path, "r");
    ASSERT_NE(written, nullptr);
    std::string held(200, '\0');
    held.resize(fread(held.data(), 1, held.size(), written));
    fclose(written);
    unlink(path);
    EXPECT_EQ(held, "hxconsole tour: each step calls one operation and shows what it returned.\n"
                    "End of input (Ctrl-D) at a");
}

TEST(DemoOnTerminal, PasswordIsHiddenAndShownScrambled)
{
    Transcript run = RunOnTerminal(
        [] {
            execl(kTool, kTool, static_cast<char*>(nullptr));
            _exit(127);
            return Outcome{};
        },
        [](Terminal& t) {
            t.Type("Bob\n3\ny\n"); // a terminal hands plain reads one line each
            if (!t.WaitForEcho(false))
                return;
            t.Type("s3cret\n");
            if (t.WaitForEcho(true))
                t.Type("4\nall\n\n");
        });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.screen.find("s3cret"), std::string::npos);
    ExpectInOrder(run.out, {
                               "the name is \"Bob\".\n",
                               "ReadPassword returned 0; the password has 6 characters.\n",
                               "scrambles it to \"" + Ascii("s3cret") + "\"",
                               "the id of \"File share\".\n",
                               "from 0 to 3 (indexes, counted from 0)",
                               "End of the tour.\n",
                           });
}
