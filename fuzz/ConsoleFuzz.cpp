// The console's prompts and menus on hostile input: the fuzz input becomes standard input, and
// each result is judged against a small model of the prompt, not only survived.
//
// Input layout, read from the front:
//   byte 0           number of calls, 1 + b % 4, made in a row on one console
//   byte 1           the terminal: bit 0 set makes standard input pass for a terminal; bits 1 to
//                    7 make the first seven tcsetattr calls of this input fail, one bit each
//   16 bytes a call  operation (b % 10) and its parameters, as Run() below reads them
//   the rest         what the operator typed, ending in end of input
//
// Standard input is served the way a terminal, or a pipe with a slow writer, delivers it: one
// line at a time. Every read, read(2) on descriptor 0 and the standard input stream's refills
// alike, gets at most the rest of the current line. Both come from one line source in this
// process (read(2) is replaced, and the stream is a cookie stream over the same source), so a
// run is repeatable and never waits: every call must come back, and the menus and repeating
// prompts must stop at end of input, or libFuzzer's -timeout reports a hang.
//
// As long as a plan has used only plain reads, a model of each prompt, fed the same lines,
// says what it must return (the number the first line gives, the item chosen, the range
// returned); a stream read (Pause, hidden reads) ends the modelling for the rest of the plan.
//
// tcgetattr and tcsetattr are replaced by a pretend terminal, so that hidden reads get past
// the terminal calls and their line handling is fuzzed too. Every call whose terminal calls
// all worked must leave the terminal's modes as it found them.
#include "QHxConsole.h"

#include <algorithm>
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
#include <sys/syscall.h>
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

// What the operator typed, handed out one line at a time: a read gets at most the rest of the
// current line, and 0 once all is read.
class LineSource
{
  public:
    void Serve(const uint8_t* data, size_t size)
    {
        m_data = data;
        m_size = size;
        m_at = 0;
    }

    size_t Take(char* buf, size_t size)
    {
        const uint8_t* end = m_data + m_size;
        const uint8_t* newline =
            static_cast<const uint8_t*>(memchr(m_data + m_at, '\n', m_size - m_at));
        size_t line = (newline != nullptr ? newline + 1 : end) - (m_data + m_at);
        size_t n = std::min(size, line);
        memcpy(buf, m_data + m_at, n);
        m_at += n;
        return n;
    }

  private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_at = 0;
} g_input;

} // namespace

// Descriptor 0 reads from the line source; every other descriptor is the real one.
extern "C" ssize_t read(int fd, void* buf, size_t size)
{
    if (fd == 0)
        return static_cast<ssize_t>(g_input.Take(static_cast<char*>(buf), size));
    return syscall(SYS_read, fd, buf, size);
}

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
    uint8_t p[15];
    bool Flag(int byte, int bit) const
    {
        return (p[byte] >> bit & 1) != 0;
    }
    int Signed(int byte) const
    {
        return static_cast<int8_t>(p[byte]);
    }
    int Unsigned16(int byte) const
    {
        return p[byte] | p[byte + 1] << 8;
    }
    int Signed16(int byte) const
    {
        return static_cast<int16_t>(Unsigned16(byte));
    }
    int Signed32(int byte) const
    {
        int32_t value;
        memcpy(&value, &p[byte], sizeof value);
        return value;
    }
    // A number from anywhere in int, chosen by two bits: a small one, any one, or an end.
    int Number(int selector, int byte) const
    {
        switch (selector & 3) {
        case 0:
            return Signed(byte);
        case 1:
            return Signed32(byte);
        case 2:
            return INT_MIN;
        default:
            return INT_MAX;
        }
    }
};

const int kUnset = INT_MIN + 7;

// Exactly `size` bytes, cleared, on the heap: an overrun is an AddressSanitizer report.
std::unique_ptr<char[]> Block(size_t size)
{
    return std::unique_ptr<char[]>(new char[size]());
}

const char* Text(bool absent, const char* text)
{
    return absent ? nullptr : text;
}

// `count` records with names of `nameLength` letters (128: the whole field, no NUL) and ids
// counting up from `firstId`, wrapping at the end of int.
std::vector<_GENERIC_ITEM> Items(int count, int nameLength, int firstId)
{
    std::vector<_GENERIC_ITEM> items(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        _GENERIC_ITEM& item = items[static_cast<size_t>(i)];
        memset(&item, 0, sizeof item);
        item.id = static_cast<int32_t>(static_cast<uint32_t>(firstId) + static_cast<uint32_t>(i));
        memset(item.name, 'a' + i % 26, static_cast<size_t>(nameLength));
        memset(item.data, i, sizeof item.data);
    }
    return items;
}

// The model: the prompts as their contract describes them, on the model's copy of the lines.

int ModelRead(LineSource& in, char* buf, size_t size)
{
    long count = static_cast<long>(in.Take(buf, size));
    if (count <= 0)
        return -1;
    if (buf[count - 1] == '\n')
        buf[--count] = '\0';
    return static_cast<int>(count);
}

// A typed prompt's line: the whole line is taken, `size` bytes of it kept and terminated.
struct ModelLine {
    int kept; // -1: nothing read
    bool cut;
};

// The length of the UTF-8 character at text[0] (the forms of Unicode's table of well-formed
// byte sequences), or 0 where none begins.
size_t ModelCharacter(const std::string& text, size_t at)
{
    struct Form {
        unsigned char lead, lastLead, second, lastSecond;
        size_t length;
    };
    static const Form forms[] = {
        {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
        {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
        {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
    };
    auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    for (const Form& f : forms) {
        if (byte(at) < f.lead || byte(at) > f.lastLead)
            continue;
        if (f.length == 1)
            return 1;
        if (at + f.length > text.size() || byte(at + 1) < f.second || byte(at + 1) > f.lastSecond)
            return 0;
        for (size_t i = 2; i < f.length; ++i)
            if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
                return 0;
        return f.length;
    }
    return 0;
}

ModelLine ModelWholeLine(LineSource& in, char* buf, size_t size)
{
    std::string line;
    char chunk[256];
    size_t n = 0;
    while ((line.empty() || line.back() != '\n') && (n = in.Take(chunk, sizeof chunk)) > 0)
        line.append(chunk, n);
    if (line.empty())
        return {-1, false};
    if (line.back() == '\n')
        line.pop_back();
    size_t keep = std::min(size, line.size());
    // A cut never keeps part of a UTF-8 character that the line holds whole.
    for (size_t at = 0, length; at < keep; at += std::max<size_t>(length, 1)) {
        length = ModelCharacter(line, at);
        if (at + length > keep)
            keep = at;
    }
    memcpy(buf, line.data(), keep);
    buf[keep] = '\0';
    return {static_cast<int>(keep), keep < line.size()};
}

// atoi, with a number beyond int at its nearer end.
int ModelNumber(const char* text)
{
    return static_cast<int>(std::clamp<long long>(strtoll(text, nullptr, 10), INT_MIN, INT_MAX));
}

int ModelRangedInt(LineSource& in, int& value, const int* defaultValue, int min, int max)
{
    const bool ranged = min != 0 || max != 0;
    if (ranged &&
        (min > max || (defaultValue != nullptr && (*defaultValue < min || *defaultValue > max))))
        return -1;
    char buf[32] = {};
    for (;;) {
        ModelLine line = ModelWholeLine(in, buf, 31);
        if (line.kept < 0 || (line.kept == 0 && defaultValue == nullptr))
            return -1;
        if (line.cut) // refused whole
            continue;
        value = line.kept == 0 ? *defaultValue : ModelNumber(buf);
        if (!ranged || (min <= value && value <= max))
            return 0;
    }
}

ModelLine ModelString(LineSource& in, char* dst, int len, const char* defaultText)
{
    if (len == 1)
        return {-1, false}; // no room for an answer: nothing is read
    for (;;) {
        ModelLine line = ModelWholeLine(in, dst, static_cast<size_t>(len) - 1);
        if (line.kept != 0)
            return line;
        if (defaultText == nullptr)
            continue;
        // The default cut to len - 1 characters, the rest of the buffer cleared.
        size_t length = strnlen(defaultText, static_cast<size_t>(len) - 1);
        memcpy(dst, defaultText, length);
        memset(dst + length, 0, static_cast<size_t>(len) - length);
        return {static_cast<int>(length), false};
    }
}

// The position of the item the single-choice menu takes, or -1 when it takes none.
long ModelChoice(LineSource& in, size_t count)
{
    for (;;) {
        char buf[32] = {};
        ModelLine line = ModelWholeLine(in, buf, 31);
        if (line.kept < 0 || (!line.cut && buf[0] == 'x' && strlen(buf) == 1))
            return -1;
        long number = line.kept <= 0 || line.cut ? 0 : ModelNumber(buf);
        if (number >= 1 && static_cast<size_t>(number) <= count)
            return number - 1;
    }
}

struct Range {
    long long result, from, to;
};

// What the range menu returns and leaves in *from and *to.
Range ModelRange(LineSource& in, long long count)
{
    for (;;) {
        char entry[1024] = {};
        ModelLine line = ModelString(in, entry, 1023, "/0");
        if (line.kept < 0)
            return {-1, 0, 0};
        if (entry[0] == '\0' || line.cut)
            continue;
        if (strcasecmp(entry, "x") == 0)
            return {-1, 0, 0};
        if (strcasecmp(entry, "all") == 0)
            return {count - 1, 0, count - 1};
        char* dash = strchr(entry, '-');
        if (dash != nullptr)
            *dash = '\0';
        long long from = ModelNumber(entry) - 1LL;
        long long to = dash != nullptr ? ModelNumber(dash + 1) - 1LL : from;
        if (from >= 0 && to >= from && to < count)
            return {to, from, to};
    }
}

// Each operation judges its own results; `model`, when not null, has the same lines still
// to come as standard input and is advanced as the operation reads.

void ReadPlain(QHxConsole& console, const Call& c, LineSource* model)
{
    const unsigned long size = static_cast<unsigned long>(c.Unsigned16(0));
    const bool noBuffer = c.Flag(2, 1);
    auto buf = Block(size);
    int r = console.Read(noBuffer ? nullptr : buf.get(), size, Text(c.Flag(2, 0), "Name"), false);
    Require(r >= -1 && r <= static_cast<long>(size), "Read: result out of range");
    if (model == nullptr)
        return;
    auto expected = Block(size);
    int er = noBuffer ? -1 : ModelRead(*model, expected.get(), size);
    Require(r == er && memcmp(buf.get(), expected.get(), size) == 0,
            "Read: not the chunk of the line");
}

void ReadHidden(QHxConsole& console, const Call& c, LineSource*)
{
    auto buf = Block(32);
    int r =
        console.Read(c.Flag(1, 1) ? nullptr : buf.get(), c.p[0], Text(c.Flag(1, 0), "Key"), true);
    Require(r >= -1 && r <= 31, "hidden Read: result out of range");
    Require(r < 0 || strlen(buf.get()) == static_cast<size_t>(r),
            "hidden Read: the count is not the length of the terminated line");
}

void ReadIntEscape(QHxConsole& console, const Call& c, LineSource* model)
{
    const char escape = static_cast<char>(c.p[0]);
    int value = kUnset;
    int r = console.ReadInt(value, escape);
    Require(r >= -1 && r <= 1, "ReadInt: result out of range");
    Require(r == 0 || value == kUnset, "ReadInt: value set without a number");
    if (model == nullptr)
        return;
    char buf[32] = {};
    ModelLine line = ModelWholeLine(*model, buf, 31);
    int er = line.kept <= 0 || line.cut                               ? -1
             : escape != '\0' && buf[0] == escape && strlen(buf) == 1 ? 1
                                                                      : 0;
    Require(r == er && (er != 0 || value == ModelNumber(buf)),
            "ReadInt: not the number the line gives");
}

void ReadIntRange(QHxConsole& console, const Call& c, LineSource* model)
{
    const int selectors = c.p[12];
    const int min = c.Number(selectors, 0);
    const int max = c.Number(selectors >> 2, 4);
    const int defaultValue = c.Number(selectors >> 4, 8);
    const int* fallback = c.Flag(13, 0) ? &defaultValue : nullptr;
    int value = kUnset;
    int r =
        console.ReadInt(Text(c.Flag(13, 1), "Count"), value, const_cast<int*>(fallback), min, max);
    Require(r == 0 || r == -1, "ranged ReadInt: result out of range");
    if (r == 0 && (min != 0 || max != 0))
        Require(min <= value && value <= max, "ranged ReadInt: accepted a value out of range");
    if (model == nullptr)
        return;
    int expected = kUnset;
    int er = ModelRangedInt(*model, expected, fallback, min, max);
    Require(r == er && value == expected, "ranged ReadInt: not the number the lines give");
}

void ReadYesNo(QHxConsole& console, const Call& c, LineSource* model)
{
    const int defaultAnswer = c.Signed32(0);
    int r = console.ReadYesNo(Text(c.Flag(4, 0), "Sure"), defaultAnswer);
    Require(r == 1 || r == 2 || r == -1 || (r == defaultAnswer && r != 0),
            "ReadYesNo: result is neither an answer nor the default");
    if (model == nullptr)
        return;
    char buf[8] = {};
    int er;
    for (;;) {
        int count = ModelWholeLine(*model, buf, 7).kept;
        er = count < 0                          ? -1
             : count == 0 && defaultAnswer != 0 ? defaultAnswer
             : buf[0] == 'y'                    ? 1
             : buf[0] == 'n'                    ? 2
                                                : 0;
        if (er != 0)
            break;
    }
    Require(r == er, "ReadYesNo: not the answer the lines give");
}

void ReadString(QHxConsole& console, const Call& c, LineSource* model)
{
    const int len = c.Signed16(0);
    const size_t size = len > 0 ? static_cast<size_t>(len) : 0;
    auto dst = Block(size);
    // Up to 8191 characters: defaults longer than any buffer, cut without a NUL.
    std::string defaultText(static_cast<size_t>(c.Unsigned16(2) % 8192), 'd');
    const char* fallback = c.Flag(4, 0) ? defaultText.c_str() : nullptr;
    int r = console.ReadString(Text(c.Flag(4, 1), "Host"), dst.get(), len, fallback);
    Require(r >= -1 && r < (len > 0 ? len : 1), "ReadString: result out of range");
    if (model == nullptr)
        return;
    auto expected = Block(size);
    int er = len <= 0 ? -1 : ModelString(*model, expected.get(), len, fallback).kept;
    Require(r == er && memcmp(dst.get(), expected.get(), size) == 0,
            "ReadString: not the answer the lines give");
}

void ReadPassword(QHxConsole& console, const Call& c, LineSource*)
{
    auto buf = Block(32);
    const size_t known = c.p[0] % 32;
    memset(buf.get(), 'k', known);
    int r = console.ReadPassword(c.Flag(1, 2) ? nullptr : buf.get(), Text(c.Flag(1, 1), "PIN"));
    Require(r == 0 || r == -1, "ReadPassword: result out of range");
    if (known > 0 && !c.Flag(1, 2))
        Require(r == 0 && strlen(buf.get()) == known, "ReadPassword: a known password changed");
}

void Pause(QHxConsole& console, const Call& c, LineSource*)
{
    console.Pause(Text(c.Flag(0, 0), "Paused"));
}

void ListSelectOne(QHxConsole& console, const Call& c, LineSource* model)
{
    std::vector<_GENERIC_ITEM> items = Items(c.p[0] % 33, c.p[1] % 129, c.Signed32(2));
    const bool noItems = c.Flag(6, 3), noCopy = c.Flag(6, 2);
    _GENERIC_ITEM chosen;
    memset(&chosen, 0xEE, sizeof chosen);
    _GENERIC_ITEM untouched = chosen;
    int r = console.ListSelect(noItems ? nullptr : &items, Text(c.Flag(6, 0), "Hosts"),
                               noCopy ? nullptr : &chosen, Text(c.Flag(6, 1), "Back"));
    if (model == nullptr) {
        if (r == -1)
            return; // the exit entry, end of input, or an item whose id is -1
        auto item = std::find_if(items.begin(), items.end(),
                                 [r](const _GENERIC_ITEM& i) { return i.id == r; });
        Require(item != items.end(), "ListSelect: result is not a listed item");
        Require(noCopy || memcmp(&chosen, &*item, sizeof chosen) == 0,
                "ListSelect: copy is not the chosen item");
        return;
    }
    long position = noItems ? -1 : ModelChoice(*model, items.size());
    const _GENERIC_ITEM& expected =
        position >= 0 ? items[static_cast<size_t>(position)] : untouched;
    Require(r == (position >= 0 ? expected.id : -1), "ListSelect: not the item the lines give");
    Require(noCopy || memcmp(&chosen, &expected, sizeof chosen) == 0,
            "ListSelect: copy is not the item the lines give");
}

void ListSelectRange(QHxConsole& console, const Call& c, LineSource* model)
{
    std::vector<_GENERIC_ITEM> items = Items(c.p[0] % 33, c.p[1] % 129, 0);
    const bool noItems = c.Flag(3, 3), noFrom = c.Flag(3, 2), noTo = c.Flag(3, 4);
    int from = 77, to = 77;
    int r = console.ListSelect(noItems ? nullptr : &items, noFrom ? nullptr : &from,
                               noTo ? nullptr : &to, Text(c.Flag(3, 0), "Files"),
                               Text(c.Flag(3, 1), "Back"));
    const long long count = static_cast<long long>(items.size());
    if (model != nullptr) {
        Range expected{-1, 0, 0};
        if (!noItems && !noFrom && !noTo)
            expected = ModelRange(*model, count);
        Require(r == expected.result && (noFrom || from == expected.from) &&
                    (noTo || to == expected.to),
                "ListSelect range: not the range the lines give");
    }
    Require(r == -1 || (0 <= from && from <= to && to < count && r == to),
            "ListSelect range: bad range");
    Require(r != -1 || noFrom || from == 0, "ListSelect range: *from not reset");
    // Nothing chosen; ALL on an empty list is the one -1 that leaves *to at -1.
    Require(r != -1 || noTo || to == 0 || (count == 0 && to == -1),
            "ListSelect range: *to not reset");
}

using Operation = void (*)(QHxConsole&, const Call&, LineSource*);

struct Kind {
    Operation run;
    bool plain; // reads only with read(2), so the model can follow
};

const Kind kOperations[] = {
    {ReadPlain, true},     {ReadHidden, false},     {ReadIntEscape, true}, {ReadIntRange, true},
    {ReadYesNo, true},     {ReadString, true},      {ReadPassword, false}, {Pause, false},
    {ListSelectOne, true}, {ListSelectRange, true},
};

ssize_t ReadCookie(void*, char* buf, size_t size)
{
    return static_cast<ssize_t>(g_input.Take(buf, size));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The standard input stream refills from the same line source as descriptor 0.
    stdin = fopencookie(nullptr, "r", cookie_io_functions_t{ReadCookie, nullptr, nullptr, nullptr});
    int sink = open("/dev/null", O_WRONLY);
    Require(stdin != nullptr && sink >= 0, "cannot set up standard input and output");
    Require(dup2(sink, 1) == 1, "cannot redirect standard output");
    close(sink);
    // Descriptor 0 itself is /dev/null, whatever the fuzzer was started with: the prompts take
    // it for a file and read it in blocks, which the line source answers. On a terminal they
    // would ask poll(2) about the real one.
    int none = open("/dev/null", O_RDONLY);
    Require(none >= 0 && dup2(none, 0) == 0, "cannot redirect standard input");
    close(none);
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
    // Forget whatever the stream still buffered, or had seen of end of input, last time.
    g_input.Serve(layout.Rest(), layout.RestSize());
    __fpurge(stdin);
    clearerr(stdin);
    LineSource model = g_input;
    bool modelled = true;

    QHxConsole console(false);
    for (const Call& c : plan) {
        const Kind& kind = kOperations[c.op % (sizeof kOperations / sizeof kOperations[0])];
        modelled = modelled && kind.plain;
        const tcflag_t before = g_terminal.attributes.c_lflag;
        g_terminal.failed = false;
        kind.run(console, c, modelled ? &model : nullptr);
        if (!g_terminal.failed)
            Require(g_terminal.attributes.c_lflag == before,
                    "the terminal's modes were not put back");
    }
    fflush(stdout);
    return 0;
}
