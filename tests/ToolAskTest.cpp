// hxask as a process: each question answered through a pipe, the statuses a script tests,
// end of input, usage errors, and scripts capturing answers on a pseudo-terminal.
#include "ChildRun.h"

#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace hxtest;

namespace
{

const char kTool[] = HXASK;

// A call that replaces the child with `program`. A pipe run leaves the test's own terminal
// first: the tool would otherwise show its dialogue there rather than on standard error.
Call Exec(std::vector<std::string> argv)
{
    return [argv] {
        setsid(); // fails harmlessly on a terminal run, whose child leads its session already
        std::vector<char*> pointers;
        for (const std::string& arg : argv)
            pointers.push_back(const_cast<char*>(arg.c_str()));
        pointers.push_back(nullptr);
        execv(pointers[0], pointers.data());
        _exit(127);
        return Outcome{};
    };
}

Transcript Ask(const std::string& input, std::vector<std::string> args)
{
    args.insert(args.begin(), kTool);
    return RunOnPipe(input, Exec(std::move(args)));
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " <<< " + c.input);
        Transcript run = Ask(c.input, c.args);
        EXPECT_EQ(run.exitCode, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.dialogue);
    }
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " <<< " + c.line.substr(0, 40));
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

    // A password needs a terminal: the hidden read reads nothing from a pipe.
    Transcript run = Ask("secret\n", {"password"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("hxask: no password was read: standard input is not a terminal\n"),
              std::string::npos);
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

    Transcript version = Ask("", {"--version"});
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
        EXPECT_EQ(run.err, "");
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
    };
    const Case cases[] = {
        {"a=$(hxask string Host); b=$(hxask int Port); echo \"$a $b\"", "web01\n80\n",
         "web01 80\n"},
        {"hxask int N; read rest; echo \"[$rest]\"", "123456789\nafter\n", "123456789\n[after]\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        Transcript run = Script(c.script, [keys = c.keys](Terminal& t) { t.Type(keys); });
        EXPECT_EQ(run.out, c.out);
    }
}
