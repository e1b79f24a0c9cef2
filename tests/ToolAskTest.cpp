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

const char kMenu[] = "\nPlease choose one of the following:\n\n"
                     "   [1] red\n"
                     "   [2] green apple\n"
                     "   [3] blue\n"
                     "   [x] Return to the Main Menu\n\n";

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
        "Enter a specific number (#) or a range (FROM#-TO#) or (ALL) or (x)to exit  : ";
    const Case cases[] = {
        {{"int", "Copies", "--min", "1", "--max", "9"}, "7\n", 0, "7\n", "Copies : "},
        {{"int", "Copies", "--min=1", "--max=9", "--default=3"}, "\n", 0, "3\n", "Copies : "},
        {{"int", "Copies"}, "\n", 1, "", "Copies : "}, // an empty line with no default
        {{"yesno", "Go on"}, "yes\n", 0, "", "Go on : "},
        {{"yesno", "Go on"}, "n\n", 1, "", "Go on : "},
        {{"yesno", "Go on", "--default", "no"}, "\n", 1, "", "Go on : "},
        {{"string", "Name"}, "Ada Lovelace\n", 0, "Ada Lovelace\n", "Name : "},
        {{"string", "Name", "--default", "anonymous"}, "\n", 0, "anonymous\n", "Name : "},
        {{"string", "Code", "--max", "5"}, "12345\n", 0, "12345\n", "Code : "},
        {{"string", "Code", "--max", "5"},
         "123456\n",
         4,
         "",
         "Code : hxask: the answer is longer than 5 characters\n"},
        {{"string", "Name"},
         "Ada\nGrace\n",
         4,
         "",
         "Name : hxask: the answer holds more than one line: send each answer after its "
         "question\n"},
        {with({"choose"}, menu), "2\n", 0, "green apple\n",
         kMenu + std::string("Enter item number: ")},
        {with({"choose", "--number"}, menu), "3\n", 0, "3\n",
         kMenu + std::string("Enter item number: ")},
        {with({"choose"}, menu), "x\n", 1, "", kMenu + std::string("Enter item number: ")},
        {{"choose", "--title", "Colour", "--exit-label", "None", "--", "-red"},
         "1\n",
         0,
         "-red\n",
         "\nColour:\n\n   [1] -red\n   [x] None\n\nEnter item number: "},
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

    // Input that ends after a refused answer ends the question too, not only an empty pipe.
    Transcript run = Ask("12\n", {"int", "N", "--min", "1", "--max", "9"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err, "N : value not in range: (1 - 9)\nN : hxask: end of input\n");

    // A password needs a terminal: the hidden read reads nothing from a pipe.
    run = Ask("secret\n", {"password"});
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
        {{"choose", std::string(127, 'a'), std::string(128, 'b')},
         "hxask: item 2 is longer than 127 bytes\n"
         "hxask: menu items are at most 127 bytes\n"},
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

TEST(AskOnTerminal, PasswordsItCannotVouchForAreRefused)
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
        {"", Hidden(thirty + "q\n"), 4, "hxask: the password may have been cut"},
        {"Key --confirm", twice("abc\n", "abc\n"), 0, ""},
        {"Key --confirm", twice("abc\n", "abd\n"), 4, "hxask: the two passwords differ\n"},
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

TEST(AskOnTerminal, TheRestOfALongAnswerNeverReachesTheShell)
{
    // The number is read in chunks of 7; the shell's own read comes next.
    Transcript run = Script("hxask int N; read rest; echo \"[$rest]\"", [](Terminal& t) {
        t.Type("123456789\n");
        if (t.WaitUntilReading())
            t.Type("after\n");
    });
    EXPECT_EQ(run.out, "1234567\n[after]\n");
}
