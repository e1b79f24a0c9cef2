// The console's prompts and menus on hostile input: the fuzz input becomes standard input.
//
// Input layout, read from the front:
//   byte 0          number of calls, 1 + b % 4, made in a row on one console
//   byte 1          the terminal: bit 0 set makes standard input pass for a terminal; bits 1 to
//                   7 make the first seven tcsetattr calls of this input fail, one bit each
//   8 bytes a call  operation (b % 10) and its parameters, as Run() below reads them
//   the rest        what the operator typed, served on descriptor 0 and the standard input
//                   stream alike, ending in end of input
//
// Standard input is a memory file put back in place for each input, so plain reads (read(2) on
// descriptor 0) and stream reads (Pause, hidden reads) share one offset as they would on a
// pipe. A file never blocks: every call must come back, and the menus and repeating prompts
// must stop at end of input, or libFuzzer's -timeout reports a hang.
//
// tcgetattr and tcsetattr are replaced by a pretend terminal, so that hidden reads get past
// the terminal calls and their line handling is fuzzed too. Every call whose terminal calls
// all worked must leave the terminal's modes as it found them.
#include "QHxConsole.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdio_ext.h>
#include <string>
#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace
{

struct PretendTerminal {
    bool present = false;
    unsigned failures = 0; // bit i: the i-th tcsetattr call of this input fails
    unsigned calls = 0;
    bool failed = false; // a tcsetattr call failed during the current operation
    termios attributes{};
} g_terminal;

const tcflag_t kOperatorModes = ECHO | ICANON | ISIG;

} // namespace

// Declared noexcept to match glibc's declarations.
extern "C" int tcgetattr(int, termios* attributes) noexcept
{
    if (!g_terminal.present) {
        errno = ENOTTY;
        return -1;
    }
    *attributes = g_terminal.attributes;
    return 0;
}

extern "C" int tcsetattr(int, int, const termios* attributes) noexcept
{
    unsigned call = g_terminal.calls++;
    if (!g_terminal.present || (call < 7 && (g_terminal.failures >> call & 1) != 0)) {
        g_terminal.failed = true;
        errno = g_terminal.present ? EIO : ENOTTY;
        return -1;
    }
    g_terminal.attributes = *attributes;
    return 0;
}

namespace
{

void Require(bool holds, const char* what)
{
    if (holds)
        return;
    fprintf(stderr, "%s\n", what);
    abort();
}

// Reads the layout above from the front; past the end every byte is 0.
class Layout
{
  public:
    Layout(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint8_t Byte()
    {
        return m_at < m_size ? m_data[m_at++] : 0;
    }
    const uint8_t* Rest() const
    {
        return m_data + m_at;
    }
    size_t RestSize() const
    {
        return m_size - m_at;
    }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

struct Call {
    uint8_t op;
    uint8_t p[7];
    bool Flag(int byte, int bit) const
    {
        return (p[byte] >> bit & 1) != 0;
    }
    int Signed(int byte) const
    {
        return static_cast<int8_t>(p[byte]);
    }
};

// Exactly `size` bytes, cleared, on the heap: an overrun is an AddressSanitizer report.
std::unique_ptr<char[]> Block(size_t size)
{
    return std::unique_ptr<char[]>(new char[size]());
}

const char* Text(bool absent, const char* text)
{
    return absent ? nullptr : text;
}

// `count` records with names of `nameLength` letters and ids counting up from `firstId`.
std::vector<_GENERIC_ITEM> Items(int count, int nameLength, int firstId)
{
    std::vector<_GENERIC_ITEM> items(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        _GENERIC_ITEM& item = items[static_cast<size_t>(i)];
        memset(&item, 0, sizeof item);
        item.id = firstId + i;
        memset(item.name, 'a' + i % 26, static_cast<size_t>(nameLength));
        memset(item.data, i, sizeof item.data);
    }
    return items;
}

void ReadPlain(QHxConsole& console, const Call& c)
{
    unsigned long size = c.p[0];
    auto buf = Block(size);
    int r =
        console.Read(c.Flag(1, 1) ? nullptr : buf.get(), size, Text(c.Flag(1, 0), "Name"), false);
    Require(r >= -1 && r <= static_cast<long>(size), "Read: result out of range");
}

void ReadHidden(QHxConsole& console, const Call& c)
{
    auto buf = Block(32);
    int r =
        console.Read(c.Flag(1, 1) ? nullptr : buf.get(), c.p[0], Text(c.Flag(1, 0), "Key"), true);
    Require(r >= -1 && r <= 31, "hidden Read: result out of range");
    Require(r < 0 || strlen(buf.get()) == static_cast<size_t>(r),
            "hidden Read: the count is not the length of the terminated line");
}

void ReadIntEscape(QHxConsole& console, const Call& c)
{
    int value = INT_MIN + 7;
    int r = console.ReadInt(value, static_cast<char>(c.p[0]));
    Require(r >= -1 && r <= 1, "ReadInt: result out of range");
    Require(r == 0 || value == INT_MIN + 7, "ReadInt: value set without a number");
}

void ReadIntRange(QHxConsole& console, const Call& c)
{
    // Wide ranges reach the ends of int, where a number past them must be clamped.
    const int shift = c.Flag(3, 2) ? 24 : 0;
    const int min = static_cast<int>(static_cast<unsigned>(c.Signed(0)) << shift);
    const int max = static_cast<int>(static_cast<unsigned>(c.Signed(1)) << shift);
    int defaultValue = static_cast<int>(static_cast<unsigned>(c.Signed(2)) << shift);
    int value = 0;
    int r = console.ReadInt(Text(c.Flag(3, 1), "Count"), value,
                            c.Flag(3, 0) ? &defaultValue : nullptr, min, max);
    Require(r == 0 || r == -1, "ranged ReadInt: result out of range");
    if (r == 0 && (min != 0 || max != 0))
        Require(min <= value && value <= max, "ranged ReadInt: accepted a value out of range");
}

void ReadYesNo(QHxConsole& console, const Call& c)
{
    int defaultAnswer = c.Signed(0);
    int r = console.ReadYesNo(Text(c.Flag(1, 1), "Sure"), defaultAnswer);
    Require(r == 1 || r == 2 || r == -1 || (r == defaultAnswer && r != 0),
            "ReadYesNo: result is neither an answer nor the default");
}

void ReadString(QHxConsole& console, const Call& c)
{
    const int len = c.Signed(0);
    auto dst = Block(len > 0 ? static_cast<size_t>(len) : 0);
    std::string defaultText(c.p[1], 'd');
    int r = console.ReadString(Text(c.Flag(2, 1), "Host"), dst.get(), len,
                               c.Flag(2, 0) ? &defaultText[0] : nullptr);
    Require(r >= -1 && r < (len > 0 ? len : 1), "ReadString: result out of range");
}

void ReadPassword(QHxConsole& console, const Call& c)
{
    auto buf = Block(32);
    const size_t known = c.p[0] % 32;
    memset(buf.get(), 'k', known);
    int r = console.ReadPassword(c.Flag(1, 2) ? nullptr : buf.get(), Text(c.Flag(1, 1), "PIN"));
    Require(r == 0 || r == -1, "ReadPassword: result out of range");
    if (known > 0 && !c.Flag(1, 2))
        Require(r == 0 && strlen(buf.get()) == known, "ReadPassword: a known password changed");
}

void Pause(QHxConsole& console, const Call& c)
{
    console.Pause(Text(c.Flag(0, 0), "Paused"));
}

void ListSelectOne(QHxConsole& console, const Call& c)
{
    std::vector<_GENERIC_ITEM> items = Items(c.p[0] % 33, c.p[1] % 128, c.Signed(2));
    _GENERIC_ITEM chosen;
    memset(&chosen, 0xEE, sizeof chosen);
    int r = console.ListSelect(c.Flag(3, 3) ? nullptr : &items, Text(c.Flag(3, 0), "Hosts"),
                               c.Flag(3, 2) ? nullptr : &chosen, Text(c.Flag(3, 1), "Back"));
    if (r == -1)
        return; // the exit entry, end of input, or an item whose id is -1
    bool listed = false;
    for (const _GENERIC_ITEM& item : items)
        if (item.id == r && (c.Flag(3, 2) || memcmp(&item, &chosen, sizeof item) == 0))
            listed = true;
    Require(listed, "ListSelect: result or copy is not a listed item");
}

void ListSelectRange(QHxConsole& console, const Call& c)
{
    std::vector<_GENERIC_ITEM> items = Items(c.p[0] % 33, c.p[1] % 128, 0);
    int from = 77, to = 77;
    int r = console.ListSelect(c.Flag(3, 3) ? nullptr : &items, c.Flag(3, 2) ? nullptr : &from,
                               c.Flag(3, 4) ? nullptr : &to, Text(c.Flag(3, 0), "Files"),
                               Text(c.Flag(3, 1), "Back"));
    const int count = static_cast<int>(items.size());
    if (r == -1) {
        // Nothing chosen; ALL on an empty list is the one -1 that leaves *to at -1.
        Require(c.Flag(3, 2) || from == 0, "ListSelect range: *from not reset");
        Require(c.Flag(3, 4) || to == 0 || (count == 0 && to == -1),
                "ListSelect range: *to not reset");
        return;
    }
    Require(0 <= from && from <= to && to < count && r == to, "ListSelect range: bad range");
}

void Run(QHxConsole& console, const Call& c)
{
    using Operation = void (*)(QHxConsole&, const Call&);
    static const Operation kOperations[] = {
        ReadPlain,  ReadHidden,   ReadIntEscape, ReadIntRange,  ReadYesNo,
        ReadString, ReadPassword, Pause,         ListSelectOne, ListSelectRange,
    };
    const size_t count = sizeof kOperations / sizeof kOperations[0];
    kOperations[c.op % count](console, c);
}

// Puts `size` bytes of `data` behind descriptor 0 from offset 0 and forgets whatever the
// standard input stream still buffered, or had seen of end of input, from the last input.
void ServeInput(const uint8_t* data, size_t size)
{
    Require(ftruncate(0, 0) == 0, "ftruncate on standard input failed");
    Require(size == 0 || pwrite(0, data, size, 0) == static_cast<ssize_t>(size),
            "writing standard input failed");
    Require(lseek(0, 0, SEEK_SET) == 0, "rewinding standard input failed");
    __fpurge(stdin);
    clearerr(stdin);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    int input = memfd_create("console-fuzz-stdin", 0);
    int sink = open("/dev/null", O_WRONLY);
    Require(input >= 0 && sink >= 0, "cannot set up standard input and output");
    Require(dup2(input, 0) == 0 && dup2(sink, 1) == 1, "cannot redirect standard streams");
    close(input);
    close(sink);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Layout layout(data, size);
    const int calls = 1 + layout.Byte() % 4;
    const uint8_t terminal = layout.Byte();
    std::vector<Call> plan(static_cast<size_t>(calls));
    for (Call& c : plan) {
        c.op = layout.Byte();
        for (uint8_t& p : c.p)
            p = layout.Byte();
    }

    g_terminal.present = (terminal & 1) != 0;
    g_terminal.failures = terminal >> 1;
    g_terminal.calls = 0;
    g_terminal.attributes = termios{};
    g_terminal.attributes.c_lflag = kOperatorModes;
    ServeInput(layout.Rest(), layout.RestSize());

    QHxConsole console(false);
    for (const Call& c : plan) {
        const tcflag_t before = g_terminal.attributes.c_lflag;
        g_terminal.failed = false;
        Run(console, c);
        if (!g_terminal.failed)
            Require(g_terminal.attributes.c_lflag == before,
                    "the terminal's modes were not put back");
    }
    fflush(stdout);
    return 0;
}
