// The typed prompts: numbers, yes/no, strings, passwords and the pause. Dialogues of several
// lines are typed on a pseudo-terminal, where canonical mode hands each read one line, as an
// operator's typing would; single answers and chunked input come through a pipe.
#include "ChildRun.h"
#include "QHxConsole.h"

#include <climits>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string_view>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace hxtest;

namespace
{

const int kUntouched = 77;

Call EscapedInt(char escape)
{
    return [escape] {
        QHxConsole console;
        int value = kUntouched;
        int r = console.ReadInt(value, escape);
        return Outcome{r, {value}, {}};
    };
}

Call RangedInt(int* defaultValue, int min, int max)
{
    // Copy the default into the call: the pointer is the test's, the call runs in a child.
    bool hasDefault = defaultValue != nullptr;
    int fallback = hasDefault ? *defaultValue : 0;
    return [=]() mutable {
        QHxConsole console;
        int value = kUntouched;
        int r = console.ReadInt("Age", value, hasDefault ? &fallback : nullptr, min, max);
        return Outcome{r, {value}, {}};
    };
}

Call YesNo(int defaultAnswer)
{
    return [defaultAnswer] { return Outcome{QHxConsole().ReadYesNo("Sure", defaultAnswer)}; };
}

// ReadString into a buffer of `len` bytes that starts filled with `fill` (cleared unless
// told otherwise), followed by guard bytes.
Call String(int len, const char* defaultText, char fill = '\0')
{
    return [=] {
        QHxConsole console;
        char buf[64];
        memset(buf, '#', sizeof buf);
        memset(buf, fill, len > 0 ? static_cast<size_t>(len) : 0);
        int r = console.ReadString("Name", buf, len, defaultText);
        return Outcome{r, {}, Bytes(buf, len > 0 ? static_cast<size_t>(len) + 2 : 2)};
    };
}

Call Password(const char* preset, const char* prompt)
{
    return [=] {
        QHxConsole console;
        char buf[32] = {};
        strcpy(buf, preset);
        int r = console.ReadPassword(buf, prompt);
        return Outcome{r, {}, buf};
    };
}

// Runs `call`, then adds to its values whether anything of the typed input still waits to be
// read: what a shell would read once the program has ended.
Call ThenNothingWaits(const Call& call)
{
    return [call] {
        Outcome outcome = call();
        pollfd input{0, POLLIN, 0};
        outcome.values.push_back(poll(&input, 1, 0));
        return outcome;
    };
}

Call Menu(bool range)
{
    return [range] {
        std::vector<_GENERIC_ITEM> items(3);
        for (size_t i = 0; i < items.size(); ++i)
            items[i] = {static_cast<int32_t>(10 * (i + 1)), "item", {}};
        int from = -7, to = -7;
        QHxConsole console;
        return Outcome{range ? console.ListSelect(&items, &from, &to, "M")
                             : console.ListSelect(&items, "M", nullptr)};
    };
}

// Three prompts, then the caller's own read(2) of what is left.
Outcome ThreePromptsThenRead()
{
    QHxConsole console;
    char name[8] = {};
    int port = kUntouched;
    int nameCount = console.ReadString("Name", name, sizeof name);
    int portResult = console.ReadInt("Port", port);
    int go = console.ReadYesNo("Go");
    char rest[16] = {};
    long restCount = read(0, rest, sizeof rest - 1);
    return Outcome{nameCount,
                   {portResult, port, go, static_cast<int>(restCount)},
                   std::string(name) + "|" + rest};
}

// How many places in `data` hold one of the 8-byte pieces `secret` is cut into: registers are
// saved in 16-byte lanes, apart from one another, so a copy is seldom whole.
int Pieces(std::string_view data, const char* secret)
{
    int copies = 0;
    for (std::string_view piece(secret); piece.size() >= 8; piece.remove_prefix(8))
        for (size_t at = data.find(piece.substr(0, 8)); at != data.npos;
             at = data.find(piece.substr(0, 8), at + 1))
            ++copies;
    return copies;
}

// Scans every writable mapping of the stopped process `pid` for pieces of `secret`, which it
// got from the terminal alone. Mappings of a gigabyte or more are the sanitizers' shadow
// memory, reserved rather than used: they are passed over.
int CopiesInMemory(pid_t pid, const char* secret)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    FILE* maps = fopen((proc + "/maps").c_str(), "r");
    int mem = open((proc + "/mem").c_str(), O_RDONLY);
    if (maps == nullptr || mem < 0)
        return -1;
    int copies = 0;
    unsigned long start = 0, end = 0;
    char perms[8] = {};
    char rest[512];
    while (fscanf(maps, "%lx-%lx %7s%511[^\n]", &start, &end, perms, rest) == 4) {
        if (perms[0] != 'r' || perms[1] != 'w' || end - start >= (1ul << 30))
            continue;
        std::string mapping(end - start, '\0');
        if (pread(mem, &mapping[0], mapping.size(), static_cast<off_t>(start)) > 0)
            copies += Pieces(mapping, secret);
    }
    close(mem);
    fclose(maps);
    return copies;
}

// Pieces of `secret` in the registers of the stopped process `pid`, in the processor's save
// format as ptrace hands it over; 0 where the test knows no such format.
int CopiesInRegisters([[maybe_unused]] pid_t pid, [[maybe_unused]] const char* secret)
{
#ifdef __x86_64__
    static char state[64 * 1024];
    iovec area{state, sizeof state};
    int status = 0;
    if (ptrace(PTRACE_ATTACH, pid, nullptr, nullptr) != 0 || waitpid(pid, &status, 0) != pid ||
        ptrace(PTRACE_GETREGSET, pid, NT_X86_XSTATE, &area) != 0)
        return -1;
    return Pieces({state, area.iov_len}, secret);
#else
    return 0;
#endif
}

const char kSecret[] = "Qz8#Lw2!Tq-first+Mv5&Rk9";

} // namespace

TEST(ReadIntEscape, Answers)
{
    struct Case {
        std::string input;
        int result;
        int value;
    } cases[] = {
        {"x\n", 1, kUntouched},
        {"X\n", 0, 0},  // case counts
        {"xx\n", 0, 0}, // the escape must stand alone
        {"\n", -1, kUntouched},
        {"", -1, kUntouched},
        {"  -42abc\n", 0, -42},
        {"2147483648\n", 0, INT_MAX},
        {"99999999999999999999\n", 0, INT_MAX},
        {"-2147483648\n", 0, INT_MIN},
        {"-99999999999\n", 0, INT_MIN},
        {"+7\n", 0, 7},
        {"+-7\n", 0, 0}, // one sign only
        {"2147483647\n", 0, INT_MAX},
        {"+2147483647\n", 0, INT_MAX},
        {"-2147483647\n", 0, -INT_MAX},
        {"-2147483649\n", 0, INT_MIN},
        // 31 characters fit; an entry of 32 is refused whole, never taken in part.
        {std::string(29, '0') + "42\n", 0, 42},
        {std::string(30, '0') + "42\n", -1, kUntouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Transcript run = RunOnPipe(c.input, EscapedInt('x'));
        EXPECT_EQ(run.outcome.result, c.result);
        EXPECT_EQ(run.outcome.values, std::vector<int>{c.value});
        EXPECT_EQ(run.out, ""); // the caller prints the question
    }
}

TEST(ReadIntEscape, NulEscapeMeansNone)
{
    Transcript run = RunOnPipe(std::string("\0\n", 2), EscapedInt('\0'));
    EXPECT_EQ(run.outcome.result, 0);
    EXPECT_EQ(run.outcome.values, std::vector<int>{0});
}

TEST(ReadIntRanged, RefusesRangesThatCannotBeAnswered)
{
    int eleven = 11, five = 5;
    struct Case {
        int* defaultValue;
        int min, max;
    } cases[] = {{&eleven, 1, 10}, {&five, 10, 1}, {nullptr, 10, 1}};
    for (const Case& c : cases) {
        Transcript run = RunOnPipe("5\n", RangedInt(c.defaultValue, c.min, c.max));
        EXPECT_EQ(run.outcome.result, -1);
        EXPECT_EQ(run.outcome.values, std::vector<int>{kUntouched});
        EXPECT_EQ(run.out, "Invalid range/default value\n"); // before any prompt
    }
}

TEST(ReadIntRanged, Answers)
{
    int one = 1, three = 3, ten = 10;
    const std::string complaint = "value not in range: (1 - 10)\n";
    struct Case {
        std::string input;
        int* defaultValue;
        int min, max;
        int result, value;
        std::string out;
    } cases[] = {
        {"5\n", nullptr, 1, 10, 0, 5, "Age : "},
        {"-5\n", nullptr, 0, 0, 0, -5, "Age : "}, // 0..0 means no range
        {"\n", &three, 0, 0, 0, 3, "Age : "},
        {"\n", &three, 1, 10, 0, 3, "Age : "},
        {"\n", nullptr, 1, 10, -1, kUntouched, "Age : "},
        {"", &three, 1, 10, -1, kUntouched, "Age : "},
        // The entry that fails the range still reaches value; then input ends.
        {"12\n", nullptr, 1, 10, -1, 12, "Age : " + complaint + "Age : "},
        // A range with 0 at one end is still a range.
        {"11\n", nullptr, 0, 10, -1, 11, "Age : value not in range: (0 - 10)\nAge : "},
        {"1\n", nullptr, -10, 0, -1, 1, "Age : value not in range: (-10 - 0)\nAge : "},
        // The whole line is one answer: 12345678 is refused, and nothing of it is taken later.
        {"12345678\n", nullptr, 1, 10, -1, 12345678, "Age : " + complaint + "Age : "},
        {"12345678\n", nullptr, 0, 0, 0, 12345678, "Age : "},
        {"99999999999\n", nullptr, 0, 0, 0, INT_MAX, "Age : "},
        // 31 characters fit; 32 are refused whole, with the range's complaint or without one.
        {std::string(30, '0') + "5\n", nullptr, 1, 10, 0, 5, "Age : "},
        {std::string(31, '0') + "5\n", nullptr, 1, 10, -1, kUntouched,
         "Age : " + complaint + "Age : "},
        {std::string(31, '0') + "5\n", nullptr, 0, 0, -1, kUntouched, "Age : Age : "},
        // A range of one value.
        {"5\n", nullptr, 5, 5, 0, 5, "Age : "},
        {"6\n", nullptr, 5, 5, -1, 6, "Age : value not in range: (5 - 5)\nAge : "},
        {"4\n", nullptr, 5, 5, -1, 4, "Age : value not in range: (5 - 5)\nAge : "},
        // Both ends of the range are in it, for an answer and for a default.
        {"1\n", nullptr, 1, 10, 0, 1, "Age : "},
        {"10\n", nullptr, 1, 10, 0, 10, "Age : "},
        {"\n", &one, 1, 10, 0, 1, "Age : "},
        {"\n", &ten, 1, 10, 0, 10, "Age : "},
        // The last line needs no newline.
        {"7", nullptr, 1, 10, 0, 7, "Age : "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Transcript run = RunOnPipe(c.input, RangedInt(c.defaultValue, c.min, c.max));
        EXPECT_EQ(run.outcome.result, c.result);
        EXPECT_EQ(run.outcome.values, std::vector<int>{c.value});
        EXPECT_EQ(run.out, c.out);
    }
}

TEST(ReadIntRanged, AsksUntilInRangeThenEndsAtEndOfInput)
{
    Transcript run = RunDialogue("0\n11\n-3\n\x04", RangedInt(nullptr, 1, 10));
    EXPECT_EQ(run.outcome.result, -1);
    EXPECT_EQ(run.outcome.values, std::vector<int>{-3});
    EXPECT_EQ(run.out, Repeated(3, "Age : value not in range: (1 - 10)\n") + "Age : ");
}

TEST(ReadYesNo, Answers)
{
    struct Case {
        const char* keys;
        int defaultAnswer;
        int result;
        int prompts;
    } cases[] = {
        {"yes\n", 0, 1, 1},     {"no\n", 0, 2, 1},         {"nope\n", 0, 2, 1},
        {"\nn\n", 0, 2, 2},     {"\n", 2, 2, 1},           {"\n", -1, -1, 1},
        {"Y\nN\ny\n", 1, 1, 3}, {"maybe\n\x04", 0, -1, 2}, {"\x04", 1, -1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        Transcript run = RunDialogue(c.keys, YesNo(c.defaultAnswer));
        EXPECT_EQ(run.outcome.result, c.result);
        EXPECT_EQ(run.out, Repeated(c.prompts, "Sure : "));
    }
}

TEST(ReadString, Answers)
{
    using std::string;
    struct Case {
        const char* keys;
        int len;
        const char* defaultText;
        int result;
        string bytes;
        int prompts;
    } cases[] = {
        {"hello\n", 8, nullptr, 5, string("hello\0\0\0##", 10), 1},
        {"\n\nhi\n", 8, nullptr, 2, string("hi\0\0\0\0\0\0##", 10), 3},
        {"\n", 8, "abc", 3, string("abc\0\0\0\0\0##", 10), 1},
        // A default longer than the buffer is cut and still terminated.
        {"\n", 4, "abcdefgh", 3, string("abc\0##", 6), 1},
        // A long line keeps len - 1 characters, always terminated; the rest is dropped.
        {"abcdef\n", 4, nullptr, 3, string("abc\0##", 6), 1},
        // Cut inside a UTF-8 character, the whole character goes; other text keeps its bytes.
        {"h\xc3\xa9llo\n", 3, nullptr, 1, string("h\0\0##", 5), 1},
        {"\xe2\x82\xac\xe2\x82\xac\n", 6, nullptr, 3, string("\xe2\x82\xac\0\0\0##", 8), 1},
        {"h\xe9llo\n", 3, nullptr, 2, string("h\xe9\0##", 5), 1},
        {"\xc3\xa9\n", 2, "x", 0, string("\0\0##", 4), 1}, // cut to nothing: not empty
        // len 1 leaves no room: the prompt, then -1.
        {"abc\n", 1, "x", -1, string("\0##", 3), 1},
        {"\n\x04", 8, nullptr, -1, string("\0\0\0\0\0\0\0\0##", 10), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        Transcript run = RunDialogue(c.keys, String(c.len, c.defaultText));
        EXPECT_EQ(run.outcome.result, c.result);
        EXPECT_EQ(run.outcome.bytes, c.bytes);
        EXPECT_EQ(run.out, Repeated(c.prompts, "Name : "));
    }
}

TEST(ReadString, CutDefaultIsTerminatedInAnUnclearedBuffer)
{
    Transcript run = RunDialogue("\n", String(4, "abcdefgh", '#'));
    EXPECT_EQ(run.outcome.result, 3);
    EXPECT_EQ(run.outcome.bytes, std::string("abc\0##", 6));
}

TEST(ReadString, RefusesBadArgumentsWithoutAsking)
{
    for (int len : {0, -1, INT_MIN}) {
        Transcript run = RunOnPipe("abc\n", String(len, "x"));
        EXPECT_EQ(run.outcome.result, -1);
        EXPECT_EQ(run.outcome.bytes, "##");
        EXPECT_EQ(run.out, "");
    }
    Transcript run = RunOnPipe(
        "abc\n", [] { return Outcome{QHxConsole().ReadString("Name", nullptr, 8, "x")}; });
    EXPECT_EQ(run.outcome.result, -1);
    EXPECT_EQ(run.out, "");
}

TEST(ReadString, LeavesDstTerminatedWheneverItFails)
{
    // Standard input closed, a directory, non-blocking with nothing to read; no room (len 1).
    const std::function<bool()> inputs[] = {
        [] { return close(0) == 0; },
        [] { return dup2(open("/", O_RDONLY | O_DIRECTORY), 0) == 0; },
        [] { return fcntl(0, F_SETFL, O_NONBLOCK) == 0; },
        [] { return true; },
    };
    for (size_t i = 0; i < std::size(inputs); ++i) {
        SCOPED_TRACE(i);
        const int len = i == 3 ? 1 : 8;
        Call call = [&inputs, i, len] {
            if (!inputs[i]())
                return Outcome{-100};
            char buf[8];
            memset(buf, '#', sizeof buf);
            return Outcome{QHxConsole().ReadString("Name", buf, len, "x"), {}, Bytes(buf, 1)};
        };
        Transcript run = RunOnPipe(i == 3 ? "abc\n" : "", call, false);
        EXPECT_EQ(run.outcome.result, -1);
        EXPECT_EQ(run.outcome.bytes, std::string(1, '\0'));
    }
}

TEST(ReadPassword, AsksWithEchoOff)
{
    Transcript run = RunOnTerminal(Password("", nullptr), [](Terminal& t) {
        ASSERT_TRUE(t.WaitForEcho(false));
        t.Type("s3cret\n");
    });
    EXPECT_EQ(run.outcome.result, 0);
    EXPECT_EQ(run.outcome.bytes, "s3cret");
    EXPECT_EQ(run.out, "Password : \n");
    EXPECT_EQ(run.screen.find("s3cret"), std::string::npos);
    EXPECT_TRUE(run.echoAfter);
}

TEST(ReadPassword, Answers)
{
    struct Case {
        const char* preset;
        const char* prompt;
        const char* keys;
        int result;
        std::string bytes, out;
    } cases[] = {
        {"", "PIN", "\n", 0, "", "PIN : \n"}, // only Enter: still 0, buffer empty
        {"", nullptr, "\x04", -1, "", "Password : "},
        {"kept", nullptr, "", 0, "kept", ""}, // already known: not asked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        Transcript run = RunOnTerminal(Password(c.preset, c.prompt), [&c](Terminal& t) {
            if (*c.keys != '\0' && t.WaitForEcho(false))
                t.Type(c.keys);
        });
        EXPECT_EQ(run.outcome.result, c.result);
        EXPECT_EQ(run.outcome.bytes, c.bytes);
        EXPECT_EQ(run.out, c.out);
    }
}

TEST(ReadPassword, RefusesNullBufferAndNonTerminal)
{
    Transcript null =
        RunOnTerminal([] { return Outcome{QHxConsole().ReadPassword(nullptr)}; }, [](Terminal&) {});
    EXPECT_EQ(null.outcome.result, -1);
    EXPECT_EQ(null.out, "");

    Transcript piped = RunOnPipe("secret\n", Password("", nullptr));
    EXPECT_EQ(piped.outcome.result, -1);
    EXPECT_EQ(piped.out, "Password : ");
    EXPECT_EQ(piped.err, "tcgetattr failed with error 25 : 'Inappropriate ioctl for device'\n");
}

TEST(Pause, ShowsMessageAndTakesOneWholeLine)
{
    // Off a terminal no byte past the pause's line is read: the next question gets the next
    // line. What the caller left in the standard input stream is the pause's line.
    struct Case {
        bool callerReadsFirst;
        std::string input;
    } cases[] = {{false, "abc\nnext\n"}, {true, "xyz\nnext\n"}};
    for (const Case& c : cases) {
        Transcript run = RunOnPipe(c.input, [&c] {
            QHxConsole console;
            if (c.callerReadsFirst && getchar() != 'x')
                return Outcome{-100};
            console.Pause("Done");
            char buf[8] = {};
            if (c.callerReadsFirst)
                return Outcome{0, {}, fgets(buf, sizeof buf, stdin) ? buf : ""};
            return Outcome{console.ReadString(nullptr, buf, sizeof buf), {}, buf};
        });
        EXPECT_EQ(run.outcome.bytes, c.callerReadsFirst ? "next\n" : "next");
        EXPECT_EQ(run.out, "Done\nPress any key to continue ...\n");
    }

    Transcript bare = RunOnPipe("", [] {
        QHxConsole().Pause(nullptr);
        return Outcome{};
    });
    EXPECT_TRUE(bare.returned); // end of input does not keep it waiting
    EXPECT_EQ(bare.out, "Press any key to continue ...\n");
}

TEST(Pause, LeavesNothingOfItsLineForAHiddenRead)
{
    // Ctrl-D answers the first pause only, the second takes all of "ab", and the password
    // waits for a line of its own, also where keys come one at a time.
    for (bool canonical : {true, false}) {
        SCOPED_TRACE(canonical);
        Transcript run = RunOnTerminal(
            [canonical] {
                if (!canonical && system("stty -icanon") != 0)
                    return Outcome{-100};
                QHxConsole console;
                console.Pause(nullptr);
                console.Pause(nullptr);
                char buf[32] = {};
                int r = console.ReadPassword(buf);
                return Outcome{r, {}, buf};
            },
            [canonical](Terminal& t) {
                t.Type(canonical ? "\x04" : "\n");
                t.Type("ab\n");
                ASSERT_TRUE(t.WaitForEcho(false));
                t.Type("pw\n");
            });
        EXPECT_EQ(run.outcome.result, 0);
        EXPECT_EQ(run.outcome.bytes, "pw");
    }
}

TEST(TypedPrompts, OverLongAnswerLeavesNothingBehind)
{
    const std::string complaint = "value not in range: (1 - 10)\n";
    const std::string menu =
        "\nM:\n\n   [1] item\n   [2] item\n   [3] item\n   [x] Return to the Main Menu\n\n";
    const std::string rangePrompt =
        "Enter a specific number (#) or a range (FROM#-TO#) or (ALL) or (x)to exit  : ";
    struct Case {
        const char* name;
        Call call;
        std::string keys;
        int result;
        std::string out;
    } cases[] = {
        {"escape", EscapedInt('x'), "7" + std::string(40, ' ') + "\n", -1, ""},
        {"ranged", RangedInt(nullptr, 1, 10), "12345678\n5\n", 0, "Age : " + complaint + "Age : "},
        {"yes/no", YesNo(0), "no way; echo LEAKED\n", 2, "Sure : "},
        {"string", String(8, nullptr), "abcdefghijk\n", 7, "Name : "},
        // Past the reader's 1024-byte block, and a line ended by Ctrl-D exactly there.
        {"string", String(8, nullptr), std::string(1500, 's') + "\n", 7, "Name : "},
        {"string", String(8, nullptr), std::string(1024, 's') + "\x04", 7, "Name : "},
        {"menu", Menu(false), std::string(40, '1') + "\n2\n", 20,
         menu + "Enter item number: Enter item number: "},
        // The range menu keeps 1022 characters: one more and the entry is not judged at all.
        {"range", Menu(true), "2" + std::string(1021, ' ') + "\n", 1, menu + rangePrompt},
        {"range", Menu(true), "1" + std::string(1022, ' ') + "\n2\n", 1,
         menu + rangePrompt + "Illegal item number specified\n" + rangePrompt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + c.keys.substr(0, 40));
        Transcript run = RunDialogue(c.keys, ThenNothingWaits(c.call));
        ASSERT_TRUE(run.returned);
        EXPECT_EQ(run.outcome.result, c.result);
        EXPECT_EQ(run.outcome.values.back(), 0);
        EXPECT_EQ(run.out, c.out);
    }
}

TEST(TypedPrompts, TakeOneLineEachFromAPipeOrAFile)
{
    const std::string input = "bob\n80\ny\nfourth\n";
    Call fromFile = [&input] {
        int fd = memfd_create("answers", 0);
        if (fd < 0 || write(fd, input.data(), input.size()) != static_cast<ssize_t>(input.size()) ||
            lseek(fd, 0, SEEK_SET) != 0 || dup2(fd, 0) != 0)
            return Outcome{-100};
        return ThreePromptsThenRead();
    };
    for (const Call& call : {Call(ThreePromptsThenRead), fromFile}) {
        Transcript run = RunOnPipe(input, call);
        EXPECT_EQ(run.outcome.result, 3);
        EXPECT_EQ(run.outcome.values, (std::vector<int>{0, 80, 1, 7}));
        EXPECT_EQ(run.outcome.bytes, "bob|fourth\n");
        EXPECT_EQ(run.out, "Name : Port : Go : ");
    }
}

TEST(ReadPassword, OverLongPasswordLeavesTheConfirmationToTheOperator)
{
    const std::string typed = "abcdefghijklmnopqrstuvwxyz0123456789ABCD"; // 40 characters
    Transcript run = RunOnTerminal(
        [] {
            QHxConsole console;
            char first[32] = {}, second[32] = {};
            int r = console.ReadPassword(first);
            console.ReadPassword(second, "Again");
            return Outcome{r, {}, std::string(first) + "|" + second};
        },
        [&typed](Terminal& t) {
            ASSERT_TRUE(t.WaitForEcho(false));
            ASSERT_TRUE(t.WaitUntilReading());
            ASSERT_TRUE(t.Answer(typed + "\n")); // the confirmation waits for a line of its own
            t.Type("again\n");
        });
    EXPECT_EQ(run.outcome.bytes, typed.substr(0, 31) + "|again");
    EXPECT_EQ(run.out, "Password : \nAgain : \n");
}

TEST(ReadPassword, LeavesNoCopyInTheCallersMemory)
{
    // Linked the default way, the caller binds lazily: its first call after the read runs the
    // resolver, which saves the vector registers on its stack; bound at load, only its own
    // signal handler's frame saves them. It is looked through once it has stopped itself.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const bool lazy = attempt % 2 == 0;
        SCOPED_TRACE(lazy ? "lazy binding" : "bound at load");
        Transcript run = RunOnTerminal(
            [lazy] {
                pid_t caller = fork();
                if (caller == 0) {
                    if (!lazy)
                        setenv("LD_BIND_NOW", "1", 1);
                    execl(ASK_PASSWORD, ASK_PASSWORD, "stop", nullptr);
                    _exit(127);
                }
                int status = 0;
                waitpid(caller, &status, WUNTRACED);
                Outcome outcome{
                    WIFSTOPPED(status),
                    {CopiesInMemory(caller, kSecret), CopiesInRegisters(caller, kSecret)}};
                kill(caller, SIGKILL);
                waitpid(caller, &status, 0);
                return outcome;
            },
            [](Terminal& t) {
                ASSERT_TRUE(t.WaitForEcho(false));
                t.Type(std::string(kSecret) + "\n");
            });
        EXPECT_EQ(run.outcome.result, 1);
        EXPECT_EQ(run.outcome.values, (std::vector<int>{0, 0}));
    }
}
