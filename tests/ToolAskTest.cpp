// hxask as a process: each question answered through a pipe, the statuses a script tests,
// end of input, usage errors, and scripts capturing answers on a pseudo-terminal.
#include "ChildRun.h"

#include <clocale>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace hxtest;

namespace
{

const char kTool[] = HXASK;

// A call that replaces the child with `program`, in a UTF-8 locale, after `setup` (which may
// move the child's descriptors or change the locale). A pipe run leaves the test's own terminal
// first: the tool would otherwise show its dialogue there rather than on standard error.
Call Exec(std::vector<std::string> argv, const std::function<void()>& setup = {})
{
    return [argv, setup] {
        setsid(); // fails harmlessly on a terminal run, whose child leads its session already
        setenv("LC_ALL", "C.UTF-8", 1);
        if (setup)
            setup();
        std::vector<char*> pointers;
        for (const std::string& arg : argv)
            pointers.push_back(const_cast<char*>(arg.c_str()));
        pointers.push_back(nullptr);
        execv(pointers[0], pointers.data());
        _exit(127);
        return Outcome{};
    };
}

Transcript Ask(const std::string& input, std::vector<std::string> args,
               const std::function<void()>& setup = {})
{
    args.insert(args.begin(), kTool);
    return RunOnPipe(input, Exec(std::move(args), setup));
}

// Setups: descriptor `fd` opened on `path`, or closed, or a pipe whose reader is gone.
std::function<void()> Open(int fd, const char* path, int flags)
{
    return [=] { dup2(open(path, flags), fd); };
}
void CloseStandardError()
{
    close(STDERR_FILENO);
}
void ReaderGone()
{
    int ends[2];
    if (pipe(ends) == 0 && close(ends[0]) == 0)
        dup2(ends[1], STDOUT_FILENO);
}

// Runs a shell script on a terminal; "hxask" in it is the tool under test.
Transcript Script(const std::string& script, const std::function<void(Terminal&)>& keys)
{
    std::string withTool = "hxask() { '" + std::string(kTool) + "' \"$@\"; }; " + script;
    return RunOnTerminal(Exec({"/bin/sh", "-c", withTool}), keys);
}

// Types `keys` once the hidden read has switched echo off.
std::function<void(Terminal&)> Hidden(const std::string& keys)
{
    return [keys](Terminal& t) {
        if (t.WaitForEcho(false))
            t.Type(keys);
    };
}

// Runs hxask itself on a terminal, so that Terminal::Answer can count its reads.
Transcript AskOnTerminal(std::vector<std::string> args, const std::vector<std::string>& answers)
{
    args.insert(args.begin(), kTool);
    return RunOnTerminal(Exec(std::move(args)), [answers](Terminal& t) {
        for (const std::string& answer : answers)
            t.Answer(answer);
    });
}

const char kMenu[] = "\nPlease choose one of the following:\n\n"
                     "   [1] red\n"
                     "   [2] green apple\n"
                     "   [3] blue\n"
                     "   [x] Cancel\n\n";

} // namespace

TEST(AskOnPipe, EachQuestionPrintsItsAnswerAloneOnStandardOutput)
{
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string out;
        std::string dialogue; // the whole of standard error
        std::function<void()> setup = {};
    };
    const std::vector<std::string> menu{"red", "green apple", "blue"};
    auto with = [](std::vector<std::string> args, const std::vector<std::string>& items) {
        args.insert(args.end(), items.begin(), items.end());
        return args;
    };
    const std::string kRangePrompt =
        "Enter a specific number (#) or a range (FROM#-TO#) or (ALL) or (x)to exit  : \n";
    const std::string kChoicePrompt = "Enter item number: \n";
    const Case cases[] = {
        {{"int", "Copies", "--min", "1", "--max", "9"}, "7\n", 0, "7\n", "Copies (1-9) : \n"},
        {{"int", "Copies", "--min=1", "--max=9", "--default=3"},
         "\n",
         0,
         "3\n",
         "Copies (1-9, Enter for 3) : \n"},
        {{"int", "T", "--min", "-5", "--max", "5", "--default", "-5"},
         "-5\n",
         0,
         "-5\n",
         "T (-5 to 5, Enter for -5) : \n"},
        {{"int", "Copies"}, "\n", 1, "", "Copies : \n"}, // an empty line with no default
        {{"yesno", "Go on"}, "yes\n", 0, "", "Go on (y/n) : \n"},
        {{"yesno", "Go on"}, "n\n", 1, "", "Go on (y/n) : \n"},
        {{"yesno", "Go on", "--default", "no"}, "\n", 1, "", "Go on (y/n, Enter for no) : \n"},
        {{"string", "Name"}, "Ada Lovelace\n", 0, "Ada Lovelace\n", "Name : \n"},
        {{"string", "Name", "--default", "anonymous"},
         "\n",
         0,
         "anonymous\n",
         "Name (Enter for anonymous) : \n"},
        {{"string", "Name"}, "Ada\nGrace\n", 0, "Ada\n", "Name : \n"}, // one line only
        {{"string", "Name"}, "Ada", 0, "Ada\n", "Name : \n"}, // a last line without its newline
        {with({"choose"}, menu), "2\n", 0, "green apple\n", kMenu + kChoicePrompt},
        {with({"choose", "--number"}, menu), "3\n", 0, "3\n", kMenu + kChoicePrompt},
        {with({"choose"}, menu), "x\n", 1, "", kMenu + kChoicePrompt},
        {{"choose", "--title", "Colour", "--exit-label", "None", "--", "-red"},
         "1\n",
         0,
         "-red\n",
         "\nColour:\n\n   [1] -red\n   [x] None\n\nEnter item number: \n"},
        // Shown visibly, so that it cannot pass for item 1; printed exactly as given.
        {{"choose", "--title", "A\tB", "report.txt\x1b[1A\r\x1b[2K   [1] keep-everything", "b"},
         "1\n",
         0,
         "report.txt\x1b[1A\r\x1b[2K   [1] keep-everything\n",
         "\nA^IB:\n\n   [1] report.txt^[[1A^M^[[2K   [1] keep-everything\n   [2] b\n"
         "   [x] Cancel\n\nEnter item number: \n"},
        {with({"range"}, menu), "2-3\n", 0, "green apple\nblue\n", kMenu + kRangePrompt},
        {with({"range"}, menu), "X\n", 1, "", kMenu + kRangePrompt},
        {{"pause", "Insert the disk"},
         "\n",
         0,
         "",
         "Insert the disk\nPress any key to continue ...\n"},
        // DEL and C0 in a prompt; 0x9B alone, CSI to an 8-bit terminal, in every text; '-'
        // as a text, not an option.
        {{"yesno", "A\x7f\x01"
                   "B"},
         "y\n",
         0,
         "",
         "A^?^AB (y/n) : \n"},
        {{"choose", "--title",
          "\x9b"
          "2J",
          "--exit-label", "E\x9b",
          "\x9b"
          "1m",
          "-"},
         "2\n",
         0,
         "-\n",
         "\nM-^[2J:\n\n   [1] M-^[1m\n   [2] -\n   [x] EM-^[\n\nEnter item number: \n"},
        {{"string", "-", "--default", "a\x9b"}, "\n", 0, "a\x9b\n", "- (Enter for aM-^[) : \n"},
        // Outside UTF-8 every byte from 0x80 to 0x9F, even one inside a character: \xc3\x9b is Û.
        {{"yesno", "\xc3\x9b\x32J\xc2\x9b"},
         "y\n",
         0,
         "",
         "\xc3M-^[2J\xc2M-^[ (y/n) : \n",
         [] { setenv("LC_ALL", "C", 1); }},
        // An option given twice: the last counts. --help after -- is a PROMPT.
        {{"int", "N", "--default", "1", "--default=2"}, "\n", 0, "2\n", "N (Enter for 2) : \n"},
        {{"yesno", "--", "--help"}, "y\n", 0, "", "--help (y/n) : \n"},
        // Off a terminal a password is a line like any other answer.
        {{"password"}, "abc\nrest\n", 0, "abc\n", "Password : \n"},
        {{"password", "Key", "--confirm"}, "abc\nabc\n", 0, "abc\n", "Key : \nKey (again) : \n"},
        {{"password"}, "\n", 0, "\n", "Password : \n"},
    };
    // C1 controls as characters, in a UTF-8 locale: U+009B, and U+009F beside 0x9F alone. An
    // emulated big-endian program cannot load the host's locale files, and stays in "C".
    const Case utf8[] = {
        {{"string", "\xe2\x82\xac\xc2\x9b"}, "x\n", 0, "x\n", "\xe2\x82\xac^[[ : \n"},
        {{"yesno", "\xc2\x9fz\x9f"}, "y\n", 0, "", "^[_zM-^_ (y/n) : \n"},
    };
    const bool utf8Locale = setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    setlocale(LC_CTYPE, "C");
    auto check = [](const Case& c) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back() + " <<< " + c.input);
        Transcript run = Ask(c.input, c.args, c.setup);
        EXPECT_EQ(run.exitCode, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.dialogue);
    };
    for (const Case& c : cases)
        check(c);
    for (const Case& c : utf8)
        if (utf8Locale)
            check(c);
}

// Each answer at a bound and one step past it, and answers that only look like numbers: taken,
// or refused with status 4 and the reason.
TEST(AskOnPipe, EveryBoundIsCheckedOnBothSides)
{
    struct Case {
        std::vector<std::string> args;
        std::string line; // the answer, without its newline
        int status;
        std::string out;
        std::string reason; // the complaint of a refused answer
    };
    const std::vector<std::string> port{"int", "Port", "--min", "1", "--max", "65535"};
    const std::vector<std::string> anyInt{"int", "N"};
    const std::vector<std::string> small{"int", "N", "--min", "0", "--max", "10"};
    const std::vector<std::string> code{"string", "Code", "--max", "5"};
    const std::vector<std::string> choose{"choose", "a", "b", "c"};
    const std::vector<std::string> range{"range", "a", "b", "c"};
    const std::string notPort = "not from 1 to 65535";
    const std::string notInt = "not from -2147483648 to 2147483647";
    const std::string notNumber = "not a whole number";
    const std::string notItem = "not on the menu: type a number from 1 to 3 or x";
    const std::string notRange =
        "not on the menu: type a number from 1 to 3, a range FROM-TO of them, ALL or x";
    const std::string ae5 = "\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4"; // five characters
    const std::string smile3 = "\xf0\x9f\x98\x80\xf0\x9f\x98\x80\xf0\x9f\x98\x80";
    const std::string notUtf8 = "not UTF-8 text";
    const std::string differ = "the two passwords differ";
    const Case cases[] = {
        {port, "0", 4, "", notPort},
        {port, "1", 0, "1\n", ""},
        {port, "65535", 0, "65535\n", ""},
        {port, "65536", 4, "", notPort},
        {anyInt, "2147483647", 0, "2147483647\n", ""},
        {anyInt, "2147483648", 4, "", notInt},
        {anyInt, "-2147483648", 0, "-2147483648\n", ""},
        {anyInt, "-2147483649", 4, "", notInt},
        {anyInt, "99999999999999999999999", 4, "", notInt},
        {anyInt, "18446744073709551621", 4, "", notInt}, // 2^64 + 5
        {{"int", "N", "--min", "-2147483648", "--max", "2147483647"}, "\t+12 ", 0, "12\n", ""},
        {{"int", "N", "--min", "5", "--max", "5", "--default", "5"}, "5", 0, "5\n", ""},
        {{"int", "Bytes", "--min", "1", "--max", "100000000"}, "50000000", 0, "50000000\n", ""},
        {{"int", "N", "--min", "0", "--max", "100000"},
         "99999999999",
         4,
         "",
         "not from 0 to 100000"},
        {small, "abc", 4, "", notNumber},
        {small, "0x10", 4, "", notNumber},
        {small, "12.5", 4, "", notNumber},
        {small, "1e3", 4, "", notNumber},
        {small, "5 apples", 4, "", notNumber},
        {small, "-", 4, "", notNumber},
        {small, " ", 4, "", notNumber},
        {{"yesno", "Go"}, "Y", 0, "", ""},
        {{"yesno", "Go"}, " YES", 0, "", ""},
        {{"yesno", "Go"}, "No", 1, "", ""},
        {{"yesno", "Go"}, "ye", 4, "", "not y, yes, n or no"},
        {{"yesno", "Go"}, "nope", 4, "", "not y, yes, n or no"},
        {{"yesno", "Go"}, "", 4, "", "not y, yes, n or no"},
        {code, "12345", 0, "12345\n", ""},
        {code, "123456", 4, "", "the answer is longer than 5 characters"},
        {code, ae5, 0, ae5 + "\n", ""},
        {code, ae5 + "x", 4, "", "the answer is longer than 5 characters"},
        {code, "", 4, "", "the answer is empty"},
        // More bytes than --max characters can take: the line is cut and refused.
        {{"string", "S", "--max", "1"}, "abcde", 4, "", "the answer is longer than 1 characters"},
        // Longer than one plain read of 256 bytes.
        {{"string", "S", "--max", "300"},
         std::string(300, 's'),
         0,
         std::string(300, 's') + "\n",
         ""},
        {{"string", "S", "--max", "300"},
         std::string(301, 's'),
         4,
         "",
         "the answer is longer than 300 characters"},
        {{"string", "S", "--max", "65536"},
         std::string(65536, 's'),
         0,
         std::string(65536, 's') + "\n",
         ""},
        {{"string", "S", "--max", "2", "--default", "\xc3\xa4\xc3\xa4"},
         "",
         0,
         "\xc3\xa4\xc3\xa4\n",
         ""},
        {choose, "0", 4, "", notItem},
        {choose, "1", 0, "a\n", ""},
        {choose, "3", 0, "c\n", ""},
        {choose, "4", 4, "", notItem},
        {choose, "2x", 4, "", notItem},
        {choose, "", 4, "", notItem},
        {choose, "X", 1, "", ""},
        {range, "0-2", 4, "", notRange},
        {range, "1-3", 0, "a\nb\nc\n", ""},
        {range, "1-4", 4, "", notRange},
        {range, "3-2", 4, "", notRange},
        {range, "3-3", 0, "c\n", ""},
        {range, "2-", 4, "", notRange},
        {range, "all", 0, "a\nb\nc\n", ""},
        {choose, "1-2", 4, "", notItem},
        // A line of 4096 bytes, and one past it.
        {anyInt, std::string(4095, ' ') + "7", 0, "7\n", ""},
        {anyInt, std::string(4096, ' ') + "7", 4, "", notNumber},
        // Any line that ends answers the pause; the reader's bound holds for every question.
        {{"pause"}, std::string(262144, 'p'), 0, "", ""},
        {{"pause"}, std::string(262145, 'p'), 4, "", "the line does not end within 262144 bytes"},
        {{"string", "S", "--max", "65536"},
         std::string(262145, 's'),
         4,
         "",
         "the line does not end within 262144 bytes"},
        // --max characters of four bytes each fill the byte limit; one byte more is refused.
        {{"string", "S", "--max", "3"}, smile3, 0, smile3 + "\n", ""},
        {{"string", "S", "--max", "3"},
         smile3 + "x",
         4,
         "",
         "the answer is longer than 3 characters"},
        // Only UTF-8 text; its characters are counted.
        {{"string", "S", "--max", "1"}, "\x80\x80\x80\x80", 4, "", notUtf8},
        {{"string", "S"}, "\xff\xfe\x80", 4, "", notUtf8},
        {{"string", "S"}, "a\xc0\xaf", 4, "", notUtf8},             // overlong '/'
        {{"string", "S"}, "\xe0\x9f\xbf", 4, "", notUtf8},          // overlong U+07FF
        {{"string", "S"}, "\xe0\xa0\x80", 0, "\xe0\xa0\x80\n", ""}, // U+0800
        {{"string", "S"}, "\xed\xa0\x80", 4, "", notUtf8},          // a surrogate
        {{"string", "S"}, "\xf4\x8f\xbf\xbf", 0, "\xf4\x8f\xbf\xbf\n", ""},
        {{"string", "S"}, "\xf4\x90\x80\x80", 4, "", notUtf8}, // past U+10FFFF
        {{"string", "S"}, "ab\xe2\x82", 4, "", notUtf8},       // cut short
        {{"string", "S"}, "\xe2\x82\x41", 4, "", notUtf8},     // cut short by an 'A'
        {{"string", "S"}, "\xf5\x80\x80\x80", 4, "", notUtf8}, // a lead byte past U+10FFFF
        {{"string", "S"}, "\xff\x61", 4, "", notUtf8},         // then an 'a'
        // A password of 30 bytes, and one past; a confirmation that differs, however.
        {{"password"}, std::string(30, 'p'), 0, std::string(30, 'p') + "\n", ""},
        {{"password"}, std::string(31, 'p'), 4, "", "the password is longer than 30 bytes"},
        {{"password", "--confirm"}, "abc\nabd", 4, "", differ},
        {{"password", "--confirm"}, "abc\n", 4, "", differ},
        {{"password", "--confirm"}, "abc\nab", 4, "", differ},
        {{"password", "--confirm"}, "ab\nabc", 4, "", differ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back() + " <<< " + c.line.substr(0, 40));
        Transcript run = Ask(c.line + "\n", c.args);
        EXPECT_EQ(run.exitCode, c.status);
        EXPECT_EQ(run.out, c.out);
        const std::string complaint = c.reason.empty() ? "" : "hxask: " + c.reason + "\n";
        EXPECT_EQ(run.err.substr(run.err.size() - std::min(run.err.size(), complaint.size())),
                  complaint);
        EXPECT_EQ(run.err.find("hxask:") == std::string::npos, c.reason.empty()) << run.err;
    }
}

// Several questions share one input, a line each, as the shell's read does: a pipe, a file, a
// script that itself comes down a pipe into bash.
TEST(AskScripts, EachQuestionTakesItsOwnLineOfASharedInput)
{
    const std::string tool = "hxask() { '" + std::string(kTool) + "' \"$@\"; }\n";
    const std::string five =
        "{ n=$(hxask int Copies --min 1 --max 9) && h=$(hxask string Host) && hxask yesno Go && "
        "c=$(hxask choose red green) && r=$(hxask range a b c); echo \"$? $n|$h|$c|$r\"; "
        "read rest; echo \"[$rest]\"; }";
    const std::string answers = "7\nweb 01\ny\n2\n2-3\nleft over\n";
    const std::string answered = "0 7|web 01|green|b\nc\n[left over]\n";
    struct Case {
        std::vector<std::string> shell;
        std::string input;
        std::string out;
    };
    const Case cases[] = {
        {{"/bin/sh", "-c", tool + five}, answers, answered},
        {{"/bin/bash", "-c",
          tool + "f=$(mktemp) || exit; printf '%s' '" + answers + "' > \"$f\"; " + five +
              " < \"$f\"; rm -f \"$f\""},
         "",
         answered},
        {{"/bin/bash"}, tool + "x=$(hxask string Name)\nBob\necho \"got $x\"\n", "got Bob\n"},
        // A refused answer leaves the next line for whoever reads next.
        {{"/bin/sh", "-c", tool + "hxask int N --min 1 --max 9; echo $?; read a; echo \"[$a]\""},
         "12\n5\n",
         "4\n[5]\n"},
        {{"/bin/sh", "-c", tool + "hxask yesno A; echo $?; hxask yesno B; echo $?"},
         "n\ny\n",
         "1\n0\n"},
        // A refused over-long line is read to its end and dropped, and no further.
        {{"/bin/sh", "-c", tool + "hxask int N; echo $?; cat"},
         std::string(5000, '1') + "\nrest\n",
         "4\nrest\n"},
        {{"/bin/sh", "-c",
          tool + "f=$(mktemp) || exit; head -c 5000 /dev/zero | tr '\\0' 1 > \"$f\"; "
                 "echo >> \"$f\"; echo rest >> \"$f\"; { hxask int N; echo $?; cat; } < \"$f\"; "
                 "rm -f \"$f\""},
         "",
         "4\nrest\n"},
        {{"/bin/sh", "-c", tool + "hxask password; echo $?; hxask string Next; echo $?"},
         std::string(52, 'p') + "\nBob\n",
         "4\nBob\n0\n"},
        // A file written on Windows: the carriage return is part of each line's end.
        {{"/bin/sh", "-c", tool + "hxask int N && hxask password && hxask yesno Go; echo $?"},
         "5\r\npw\r\ny\r\n",
         "5\npw\n0\n"},
        {{"/bin/sh", "-c",
          tool +
              "hxask int N < /dev/zero; echo $?; hxask string S --max 65536 < /dev/zero; echo $?"},
         "",
         "4\n4\n"},
        // A file at its size limit takes the answer's first bytes, and SIGXFSZ ends hxask.
        {{"/bin/sh", "-c",
          tool + "f=$(mktemp) || exit; (ulimit -f 1; hxask string S --max 2000 > \"$f\"); "
                 "echo $?; wc -c < \"$f\"; rm -f \"$f\""},
         std::string(1000, 's') + "\n",
         "153\n512\n"},
        // Without a terminal, standard error a file: each complaint after its question.
        {{"/bin/sh", "-c",
          tool + "f=$(mktemp) || exit; { hxask int N --min 1 --max 9; hxask yesno Go; } 2> \"$f\"; "
                 "cat \"$f\"; rm -f \"$f\""},
         "12\nmaybe\n",
         "N (1-9) : \nhxask: not from 1 to 9\nGo (y/n) : \nhxask: not y, yes, n or no\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shell.back());
        Transcript run = RunOnPipe(c.input, Exec(c.shell));
        EXPECT_EQ(run.out, c.out);
    }
}

TEST(AskOnPipe, EndOfInputIsStatusThreeForEveryQuestion)
{
    const std::vector<std::string> questions[] = {
        {"int", "N"},
        {"int", "N", "--min", "1", "--max", "9", "--default", "5"},
        {"yesno", "Go on"},
        {"string", "Name", "--default", "x"},
        {"choose", "a", "b"},
        {"range", "a", "b"},
        {"pause"},
    };
    for (const auto& args : questions) {
        SCOPED_TRACE(args[0]);
        Transcript run = Ask("", args);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(run.out, "");
        const std::string message = "hxask: end of input\n";
        ASSERT_GE(run.err.size(), message.size());
        EXPECT_EQ(run.err.substr(run.err.size() - message.size()), message);
    }

    // End of input at a password, and at its confirmation, which is no mismatch; a failed
    // read, even after part of a line, is neither an answer nor the end of input.
    const std::pair<std::vector<std::string>, std::string> more[] = {
        {{"password"}, ""},
        {{"password", "--confirm"}, "abc\n"},
        {{"password", "--confirm"}, "abc"},
    };
    for (const auto& [args, input] : more) {
        SCOPED_TRACE(input);
        Transcript run = Ask(input, args);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.substr(run.err.find("hxask:")), "hxask: end of input\n");
    }
    for (const char* question : {"string", "int", "password"}) {
        Transcript run = Ask("", {question, "Q"}, Open(STDIN_FILENO, "/", O_RDONLY));
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.substr(run.err.find("hxask:")),
                  "hxask: cannot read standard input: Is a directory\n");
    }
    // Part of a line came, then the read failed: the pipe is non-blocking and stays open.
    auto partway = [] {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (poll(&in, 1, 5000) != 1 || fcntl(STDIN_FILENO, F_SETFL, O_NONBLOCK) != 0)
            _exit(126);
    };
    Transcript cut = RunOnPipe("12", Exec({kTool, "int", "Q"}, partway), false);
    EXPECT_EQ(cut.exitCode, 3);
    EXPECT_EQ(cut.out, "");
    EXPECT_NE(cut.err.find("hxask: cannot read standard input: Resource temporarily"),
              std::string::npos)
        << cut.err;
}

// Where the answer cannot go, or standard error is closed: nothing is lost without a word,
// and nothing but the answer lands on standard output.
TEST(AskOnPipe, AnswersAloneAndFailedWritesAreStatusThree)
{
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::function<void()> setup;
        int status;
        std::string out;
        std::string err;
    };
    const std::string full = "hxask: cannot write standard output: No space left on device\n";
    const std::string gone = "hxask: cannot write standard output: Broken pipe\n";
    const Case cases[] = {
        {{"string", "S"}, "abc\n", Open(STDOUT_FILENO, "/dev/full", O_WRONLY), 3, "", full},
        {{"password"}, "abc\n", Open(STDOUT_FILENO, "/dev/full", O_WRONLY), 3, "", full},
        {{"--help"}, "", Open(STDOUT_FILENO, "/dev/full", O_WRONLY), 3, "", full},
        {{"--version"}, "", Open(STDOUT_FILENO, "/dev/full", O_WRONLY), 3, "", full},
        {{"choose", "a", "b"}, "2\n", ReaderGone, 3, "", gone},
        {{"choose", "--title", "Mode", "ro", "rw"}, "2\n", CloseStandardError, 0, "rw\n", ""},
        {{"choose", "ro", "rw"}, "5\n", CloseStandardError, 4, "", ""},
        {{"int", "N"}, "", CloseStandardError, 3, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " <<< " + c.input);
        Transcript run = Ask(c.input, c.args, c.setup);
        EXPECT_EQ(run.exitCode, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err.substr(run.err.size() - std::min(run.err.size(), c.err.size())), c.err);
    }
}

TEST(AskUsage, MistakesAreStatusTwoAndAskNothing)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "hxask: no question given\n"},
        {{"int"}, "hxask: int needs a PROMPT\n"},
        {{"int", "N", "--min", "1"}, "hxask: --min and --max go together\n"},
        {{"int", "N", "--min", "5", "--max", "1"}, "hxask: --min 5 is above --max 1\n"},
        {{"int", "N", "--min", "1", "--max", "9", "--default", "0"},
         "hxask: --default 0 is outside 1 to 9\n"},
        {{"int", "N", "--max", "ten"},
         "hxask: --max takes a whole number from -2147483648 to 2147483647, not 'ten'\n"},
        {{"yesno", "Go", "--default", "Y"}, "hxask: --default takes yes or no, not 'Y'\n"},
        {{"string", "S", "--max", "2", "--default", "abc"},
         "hxask: --default is longer than --max (2)\n"},
        {{"choose"}, "hxask: choose needs an ITEM\n"},
        {{"range", "--number", "a"}, "hxask: unknown option '--number' for range\n"},
        {{"range", "--\x1b[2J", "a"}, "hxask: unknown option '--^[[2J' for range\n"},
        {{"int", "N", "--min", "1", "--max", "9", "--default", "10"},
         "hxask: --default 10 is outside 1 to 9\n"},
        {{"int", "N", "--min", "-2147483649", "--max", "9"},
         "hxask: --min takes a whole number from -2147483648 to 2147483647, not '-2147483649'\n"},
        {{"int", "N", "--min", "1", "--max", "2147483648"},
         "hxask: --max takes a whole number from -2147483648 to 2147483647, not '2147483648'\n"},
        {{"string", "S", "--max", "0"},
         "hxask: --max takes a whole number from 1 to 65536, not '0'\n"},
        {{"string", "S", "--max", "65537"},
         "hxask: --max takes a whole number from 1 to 65536, not '65537'\n"},
        {{"string", "S", "--max", "2", "--default", "\xc3\xa4\xc3\xa4\xc3\xa4"},
         "hxask: --default is longer than --max (2)\n"},
        {{"int", "N", "--max", "9"}, "hxask: --min and --max go together\n"},
        {{"int", "N", "--min"}, "hxask: --min needs a value\n"},
        {{"choose", "a", "--title"}, "hxask: --title needs a value\n"},
        {{"password", "--confirm=x"}, "hxask: --confirm takes no value\n"},
        {{"range",
          "--\x9b"
          "2J",
          "a"},
         "hxask: unknown option '--M-^[2J' for range\n"},
        {{"yesno", "a", "b"},
         "hxask: yesno takes one text at most; quote a text that holds blanks\n"},
        // A value is taken as given, even one that looks like an option.
        {{"int", "Copies", "--default", "-h"},
         "hxask: --default takes a whole number from -2147483648 to 2147483647, not '-h'\n"},
        {{"yesno", "Go", "--default", "--version"},
         "hxask: --default takes yes or no, not '--version'\n"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(message);
        Transcript run = Ask("1\n", args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, message + "Try 'hxask --help'.\n");
    }
}

TEST(AskUsage, HelpAndVersion)
{
    Transcript help = Ask("", {"choose", "-h"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: hxask int PROMPT", 0), 0u);
    EXPECT_NE(help.out.find("Exit status: 0 answered; 1"), std::string::npos);

    Transcript version = Ask("", {"pause", "--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "hxask (hxconsole) " HXCONSOLE_VERSION "\n");
}

TEST(AskOnTerminal, ScriptCapturesThePasswordWhileTheTerminalShowsOnlyThePrompt)
{
    Transcript run = Script("p=$(hxask password); echo \"status $? got $p\"", Hidden("hunter2\n"));
    EXPECT_EQ(run.out, "status 0 got hunter2\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.screen, "Password : \r\n");
    EXPECT_TRUE(run.echoAtEnd);
}

TEST(AskOnTerminal, PasswordsTakenOrEnded)
{
    struct Case {
        std::string args;
        std::function<void(Terminal&)> keys;
        int status;
        std::string complaint;
    };
    const std::string thirty(30, 'p');
    // The second hidden read discards what was typed before it began, and nothing a script
    // can watch tells the moment apart: the second answer is typed again and again while
    // echo is off, and one of them is taken.
    auto twice = [](const std::string& first, const std::string& second) {
        return [first, second](Terminal& t) {
            if (t.WaitForEcho(false))
                t.Type(first);
            for (int i = 0; i < 1000 && t.WaitForEcho(false); ++i) {
                t.Type(second);
                std::this_thread::sleep_for(Millis(5));
            }
        };
    };
    const Case cases[] = {
        {"", Hidden(thirty + "\n"), 0, ""},
        {"Key --confirm", twice("abc\n", "abc\n"), 0, ""},
        {"", Hidden("\x04"), 3, "hxask: end of input\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args + " " + std::to_string(c.status));
        Transcript run = Script("p=$(hxask password " + c.args + "); echo \"$? $p\"", c.keys);
        std::string expected = c.status == 0 ? (c.args.empty() ? thirty : "abc") : "";
        EXPECT_EQ(run.out, std::to_string(c.status) + " " + expected + "\n");
        EXPECT_NE(run.err.find(c.complaint), std::string::npos) << run.err;
        EXPECT_TRUE(run.echoAtEnd);
    }
}

TEST(AskOnTerminal, MenuItemsWithBlanksAndTheExitEntry)
{
    Transcript run = Script("c=$(hxask choose red 'green apple'); echo \"$? $c\"",
                            [](Terminal& t) { t.Type("2\n"); });
    EXPECT_EQ(run.out, "0 green apple\n");
    EXPECT_NE(run.screen.find("   [2] green apple\r\n"), std::string::npos);

    run = Script("c=$(hxask choose red 'green apple'); echo \"$? $c\"",
                 [](Terminal& t) { t.Type("x\n"); });
    EXPECT_EQ(run.out, "1 \n");

    run = Script("c=$(hxask choose red 'green apple'); echo \"$? $c\"",
                 [](Terminal& t) { t.Type("\x04"); });
    EXPECT_EQ(run.out, "3 \n");
    EXPECT_EQ(run.err, "hxask: end of input\n");
}

// On a terminal every question asks again after a refused answer, and says why.
TEST(AskOnTerminal, ARefusedAnswerIsAskedAgainWithItsReason)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> answers;
        std::string out;
        std::string screen;
        std::string err = "";
    };
    const std::string port = "Port (1-65535, Enter for 8080) : ";
    const std::string thirty(30, 'p');
    const Case cases[] = {
        {{"int", "Port", "--min", "1", "--max", "65535", "--default", "8080"},
         {"70000\n", "\n"},
         "8080\n",
         port + "70000\r\nnot from 1 to 65535\r\n" + port + "\r\n"},
        {{"string", "Code", "--max", "3"},
         {"abcd\n", "\xc3\xa4\x62\x63\n"},
         "\xc3\xa4\x62\x63\n",
         "Code : abcd\r\nthe answer is longer than 3 characters\r\nCode : \xc3\xa4\x62\x63\r\n"},
        {{"yesno", "Go"},
         {"maybe\n", "Y\n"},
         "",
         "Go (y/n) : maybe\r\nnot y, yes, n or no\r\nGo (y/n) : Y\r\n"},
        {{"choose", "--title", "T", "a", "b"},
         {"3\n", "2\n"},
         "b\n",
         "\r\nT:\r\n\r\n   [1] a\r\n   [2] b\r\n   [x] Cancel\r\n\r\nEnter item number: 3\r\n"
         "not on the menu: type a number from 1 to 2 or x\r\nEnter item number: 2\r\n"},
        {{"password", "--confirm"},
         {"abc\n", "abd\n", "abc\n", "abc\n"},
         "abc\n",
         "Password : \r\nPassword (again) : \r\nthe two passwords differ\r\n"
         "Password : \r\nPassword (again) : \r\n"},
        // Enter at the confirmation is no match; Ctrl-D there is the end of input.
        {{"password", "--confirm"},
         {"abc\n", "\n", "abc\n", "abc\n"},
         "abc\n",
         "Password : \r\nPassword (again) : \r\nthe two passwords differ\r\n"
         "Password : \r\nPassword (again) : \r\n"},
        {{"password", "--confirm"},
         {"abc\n", "\x04"},
         "",
         "Password : \r\nPassword (again) : \r\n",
         "fgets failed with error 0 : 'Success'\nhxask: end of input\n"},
        {{"password"},
         {thirty + "q\n", thirty + "\n"},
         thirty + "\n",
         "Password : \r\nthe password may have been cut: the hidden read takes at most 30 bytes\r\n"
         "Password : \r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        Transcript run = AskOnTerminal(c.args, c.answers);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.screen, c.screen);
        EXPECT_EQ(run.err, c.err);
        EXPECT_TRUE(run.echoAtEnd);
    }
}

// An answer takes its own line on a terminal too: what is typed ahead waits for the next
// question, and the shell reads on after the last.
TEST(AskOnTerminal, EachQuestionTakesItsOwnLineAndLeavesTheRest)
{
    struct Case {
        std::string script;
        std::string keys; // typed at once, before the first question
        std::string out;
        bool hidden; // typed once echo is off instead
    };
    const Case cases[] = {
        {"a=$(hxask string Host); b=$(hxask int Port); echo \"$a $b\"", "web01\n80\n", "web01 80\n",
         false},
        {"hxask int N; read rest; echo \"[$rest]\"", "123456789\nafter\n", "123456789\n[after]\n",
         false},
        // Ctrl-D ends a line without a newline, which the next answer does not continue.
        {"a=$(hxask string A); b=$(hxask string B); echo \"[$a][$b]\"",
         "ab\x04"
         "cd\n",
         "[ab][cd]\n", false},
        // A loop that reads a list asks the terminal, not the list, for each answer.
        {"printf 'a\\nb\\n' | while read f; do hxask yesno \"Delete $f\" < /dev/tty && echo "
         "\"$f\"; "
         "done",
         "n\ny\n", "b\n", false},
        // Keys handed over one at a time still make whole lines, and with stty raw the
        // carriage return that Enter sends ends one, hidden too.
        {"stty -icanon; n=$(hxask int N); hxask yesno Go; echo \"$? $n\"; read r; echo \"[$r]\"",
         "42\nyes\nafter\n", "0 42\n[after]\n", false},
        {"stty raw; p=$(hxask password); s=$?; stty sane; echo \"$s $p\"", "pw\r", "0 pw\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        Transcript run = Script(
            c.script, c.hidden ? Hidden(c.keys) : [keys = c.keys](Terminal& t) { t.Type(keys); });
        EXPECT_EQ(run.out, c.out);
    }
}

// A write that the pipe takes only in part (here a stop while the pipe is full) goes on from
// where it stopped: the reader gets the answer once, whole.
TEST(AskOnPipe, AShortWriteGoesOnWhereItStopped)
{
    const std::string script =
        "d=$(mktemp -d) || exit; mkfifo \"$d/f\"; echo all > \"$d/all\"; exec 3<>\"$d/f\"; "
        "\"$@\" < \"$d/all\" > \"$d/f\" 2>/dev/null & p=$!; "
        "state() { cut -d' ' -f3 \"/proc/$p/stat\"; }; "
        "while [ \"$(state)\" != S ]; do :; done; kill -STOP $p; "
        "while [ \"$(state)\" != T ]; do :; done; kill -CONT $p; "
        "exec 4<\"$d/f\" 3>&-; tr -s abc <&4; wait $p; echo $?; rm -r \"$d\"";
    // Each item, and the answer, longer than the pipe holds; squeezed, the answer reads a b c.
    const std::string a(100000, 'a'), b(100000, 'b'), c(100000, 'c');
    Transcript run = RunOnPipe("", Exec({"/bin/sh", "-c", script, "sh", kTool, "range", a, b, c}));
    EXPECT_EQ(run.out, "a\nb\nc\n0\n");
}

// Out of memory, hxask says so and ends with status 3. The limits swept reach from one the
// loader cannot start under to one that holds the answer.
TEST(AskOnPipe, OutOfMemoryIsStatusThreeWithTheReason)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's runtime reserves more address space than any limit swept";
#endif
    const std::string item(120000, 'i');
    std::vector<std::string> argv{"/bin/sh",
                                  "-c",
                                  "echo all > \"${TMPDIR:-/tmp}/hxask-all.$$\"; "
                                  "for v in $(seq 4000 1000 24000); do "
                                  "(ulimit -v $v; exec \"$@\" < \"${TMPDIR:-/tmp}/hxask-all.$$\" "
                                  "> /dev/null 2>&1); echo $?; "
                                  "(ulimit -v $v; exec \"$@\" < \"${TMPDIR:-/tmp}/hxask-all.$$\" "
                                  "2>&1 > /dev/null) | tail -n 1; done; "
                                  "rm -f \"${TMPDIR:-/tmp}/hxask-all.$$\"",
                                  "sh",
                                  kTool,
                                  "range"};
    argv.insert(argv.end(), 10, item);
    Transcript run = RunOnPipe("", Exec(argv));
    std::istringstream lines(run.out);
    std::string status, last;
    bool ranOut = false;
    while (std::getline(lines, status) && std::getline(lines, last)) {
        EXPECT_NE(status, "134") << "ended by abort()";
        if (last == "hxask: out of memory") {
            ranOut = true;
            EXPECT_EQ(status, "3");
        }
    }
    if (!ranOut)
        GTEST_SKIP() << "no limit swept ran out of memory inside hxask:\n" << run.out;
}
