// The list menus: the listing, the single-choice question and the range question.
#include "ChildRun.h"
#include "QHxConsole.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace hxtest;

namespace
{

const char kRangePrompt[] =
    "Enter a specific number (#) or a range (FROM#-TO#) or (ALL) or (x)to exit  : ";
const char kNumberPrompt[] = "Enter item number: ";

// Items named Item1, Item2, ... with ids 10, 20, ... and data bytes that say whose they are.
std::vector<_GENERIC_ITEM> MakeItems(int count)
{
    std::vector<_GENERIC_ITEM> items(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        _GENERIC_ITEM& item = items[static_cast<size_t>(i)];
        memset(&item, 0, sizeof item);
        item.id = 10 * (i + 1);
        snprintf(item.name, sizeof item.name, "Item%d", i + 1);
        memset(item.data, 'a' + i, sizeof item.data);
    }
    return items;
}

std::string Listing(int count)
{
    std::string text = "\nPlease choose one of the following:\n\n";
    for (int i = 1; i <= count; ++i)
        text += "   [" + std::to_string(i) + "] Item" + std::to_string(i) + "\n";
    return text + "   [x] Return to the Main Menu\n\n";
}

// The single-choice menu over `count` items; values[0] is the chosen record's id field as
// copied out (-5 when *chosen was left alone), bytes the whole copied record.
Call SingleChoice(int count)
{
    return [count] {
        std::vector<_GENERIC_ITEM> items = MakeItems(count);
        _GENERIC_ITEM chosen;
        memset(&chosen, 0, sizeof chosen);
        chosen.id = -5;
        int r = QHxConsole().ListSelect(&items, nullptr, &chosen);
        return Outcome{r, {chosen.id}, Bytes(reinterpret_cast<char*>(&chosen), sizeof chosen)};
    };
}

// The range menu over `count` items; values are *from and *to.
Call Range(int count)
{
    return [count] {
        std::vector<_GENERIC_ITEM> items = MakeItems(count);
        int from = -7, to = -7;
        int r = QHxConsole().ListSelect(&items, &from, &to, nullptr);
        return Outcome{r, {from, to}};
    };
}

} // namespace

TEST(MenuListing, TitleAndExitLabel)
{
    Transcript run = RunOnPipe("", [] {
        std::vector<_GENERIC_ITEM> items = MakeItems(2);
        int from, to;
        return Outcome{QHxConsole().ListSelect(&items, &from, &to, "Fruit", "Done")};
    });
    EXPECT_EQ(run.out, "\nFruit:\n\n   [1] Item1\n   [2] Item2\n   [x] Done\n\n" +
                           std::string(kRangePrompt));
}

TEST(MenuListing, NameFilledToTheBrimIsCutAtItsField)
{
    Transcript run = RunOnPipe("", [] {
        std::vector<_GENERIC_ITEM> items = MakeItems(1);
        memset(items[0].name, 'n', sizeof items[0].name); // no terminator
        return Outcome{QHxConsole().ListSelect(&items, "T", nullptr, "X")};
    });
    EXPECT_EQ(run.out, "\nT:\n\n   [1] " + std::string(sizeof(_GENERIC_ITEM::name), 'n') +
                           "\n   [x] X\n\n" + kNumberPrompt);
}

TEST(SingleChoiceMenu, ReturnsTheChosenIdAndRecord)
{
    Transcript run = RunDialogue("2\n", SingleChoice(3));
    EXPECT_EQ(run.outcome.result, 20);
    std::vector<_GENERIC_ITEM> items = MakeItems(3);
    EXPECT_EQ(run.outcome.bytes, Bytes(reinterpret_cast<char*>(&items[1]), sizeof items[1]));
    EXPECT_EQ(run.out, Listing(3) + kNumberPrompt);
}

TEST(SingleChoiceMenu, Answers)
{
    struct Case {
        const char* keys;
        int count;
        int result;
        int chosenId;
        int questions;
    } cases[] = {
        // Out of range, uppercase X, no digits, an empty line: asked again, silently.
        {"0\n4\nX\nabc\n\n3\n", 3, 30, 30, 6},
        {"x\n", 3, -1, -5, 1},
        {"1\nx\n", 0, -1, -5, 2},  // an empty list takes nothing but x
        {"9\n\x04", 3, -1, -5, 2}, // end of input ends the menu
        {"\x04", 3, -1, -5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        Transcript run = RunDialogue(c.keys, SingleChoice(c.count));
        EXPECT_EQ(run.outcome.result, c.result);
        EXPECT_EQ(run.outcome.values, std::vector<int>{c.chosenId});
        EXPECT_EQ(run.out, Listing(c.count) + Repeated(c.questions, kNumberPrompt));
    }
}

TEST(RangeMenu, Answers)
{
    struct Case {
        const char* keys;
        int count;
        int result, from, to;
    } cases[] = {
        {"2-4\n", 5, 3, 1, 3},
        {" 2 - 4\n", 5, 3, 1, 3},
        {"5\n", 5, 4, 4, 4},
        {"1\n", 5, 0, 0, 0},
        {"ALL\n", 5, 4, 0, 4},
        {"all\n", 5, 4, 0, 4},
        {"x\n", 5, -1, 0, 0},
        {"X\n", 5, -1, 0, 0},
        {"all\n", 0, -1, 0, -1}, // ALL of nothing: indistinguishable from x
        // Both ends are in the range, and it may be one item long.
        {"3-3\n", 5, 2, 2, 2},
        {"1-5\n", 5, 4, 0, 4},
        {"5-5\n", 5, 4, 4, 4},
        {"2-3-4\n", 5, 2, 1, 2}, // cut at the first dash: TO reads 3-4 as 3
        // Each bound taken at its edge, on a list of 3 (refused one past it, below).
        {"1-3\n", 3, 2, 0, 2},
        {"2-3\n", 3, 2, 1, 2},
        {"3-3\n", 3, 2, 2, 2},
        {"1-1\n", 3, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        Transcript run = RunDialogue(c.keys, Range(c.count));
        EXPECT_EQ(run.outcome.result, c.result);
        EXPECT_EQ(run.outcome.values, (std::vector<int>{c.from, c.to}));
        EXPECT_EQ(run.out, Listing(c.count) + kRangePrompt);
    }
}

TEST(RangeMenu, ComplainsAndAsksAgain)
{
    const std::string range = "Illegal range specified\n";
    const std::string item = "Illegal item number specified\n";
    struct Case {
        const char* keys;
        std::string complaint;
        int count = 5;
    } cases[] = {
        {"4-2\n", range},
        {"0-3\n", range},
        {"3-9\n", range},
        {"-3\n", range},
        {"3-\n", range},
        {"1--2147483648\n", range},
        {"6\n", item},
        {"0\n", item},
        {"\n", item}, // an empty line reads as "/0"
        {"-2147483649\n", range},
        // One past each bound that the rows of Answers take at its edge.
        {"1-4\n", range, 3},
        {"4-4\n", range, 3},
        {"3-2\n", range, 3},
        {"0-3\n", range, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        // Each bad entry, then 2, which must still be taken.
        Transcript run = RunDialogue(std::string(c.keys) + "2\n", Range(c.count));
        EXPECT_EQ(run.outcome.result, 1);
        EXPECT_EQ(run.out, Listing(c.count) + kRangePrompt + c.complaint + kRangePrompt);
    }
}

TEST(RangeMenu, EndOfInputAfterRejectedEntryLeavesZeros)
{
    Transcript run = RunDialogue("4-2\n\x04", Range(5));
    EXPECT_EQ(run.outcome.result, -1);
    EXPECT_EQ(run.outcome.values, (std::vector<int>{0, 0}));
    EXPECT_EQ(run.out, Listing(5) + kRangePrompt + "Illegal range specified\n" + kRangePrompt);
}

TEST(Menus, RefuseNullArgumentsWithoutAsking)
{
    Transcript run = RunOnPipe("1\n", [] {
        std::vector<_GENERIC_ITEM> items = MakeItems(2);
        QHxConsole console;
        int from = -7, to = -7, r;
        std::vector<int> results;
        results.push_back(console.ListSelect(nullptr, "T", nullptr));
        results.push_back(console.ListSelect(nullptr, &from, &to, "T"));
        results.push_back(from);
        results.push_back(to);
        results.push_back(console.ListSelect(&items, nullptr, &to, "T"));
        results.push_back(console.ListSelect(&items, &from, nullptr, "T"));
        r = console.ReadInt(from, 'x'); // the input is still unread
        return Outcome{r, results};
    });
    EXPECT_EQ(run.outcome.values, (std::vector<int>{-1, -1, 0, 0, -1, -1}));
    EXPECT_EQ(run.outcome.result, 0);
    EXPECT_EQ(run.out, "");
}
