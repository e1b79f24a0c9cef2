// hxscramble: scrambles a secret, such as a password a configuration file has to hold, so that
// it is not in plain sight, and restores it.
//
// Texts come from the argument, from hidden prompts (standard input a terminal, no argument)
// or from standard input one line at a time (a pipe or a file). Each text is checked in full
// before anything is written for it, so a bad line never leaves half a result behind; the first
// bad line ends the run, so the results written so far still pair up with their input lines.
// Complaints name a position and the kind of byte found there, never the byte itself: the
// text is a secret, and complaints end up in logs.
#include "QAsciiCrypt.h"
#include "QHxConsole.h"
#include "QSimpleCrypt.h"
#include "Stream.h"
#include "ToolCommon.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <emmintrin.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace
{

enum Status { kDone = 0, kFailed = 1, kUsageError = 2 };

const char kUsage[] =
    "usage: hxscramble [--simple] [--hex] [--restore] [--no-confirm] [--] [TEXT]\n";

const char kHelp[] =
    "Scrambles a secret, such as a password for a configuration file, and restores it.\n"
    "\n"
    "The scrambling keeps text out of plain sight. It is not encryption: there is no key,\n"
    "and anyone with the hxconsole library can restore the text.\n"
    "\n"
    "With TEXT, handles that one text (other users may see a command line: prefer the\n"
    "prompt or a pipe for a real secret). Otherwise, on a terminal, asks on the terminal\n"
    "without echo: for a password of at most 30 characters, twice, or for the scrambled\n"
    "text to restore (at most 30 characters, 60 hex digits). From a pipe or a file, handles\n"
    "each line of standard input (LF or CR LF) and writes one line for each.\n"
    "\n"
    "  --simple      use the simple cipher: takes printable ASCII and DEL, and since its\n"
    "                output can hold bytes of 128 or more, writes it as hex\n"
    "  --hex         write scrambled text as hex digits (with --restore: read it as hex)\n"
    "  --restore     restore scrambled text instead of scrambling plain text\n"
    "  --no-confirm  ask for the password once only\n"
    "  -h, --help    show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "The default ASCII cipher takes a blank, digits, letters and the punctuation up to 'z'\n"
    "(not '{', '|', '}' or '~'), and writes visible ASCII that can go straight into a text\n"
    "file. Put -- before a TEXT that begins with '-'.\n"
    "\n"
    "Exit status: 0 when every text was handled; 1 for bad input (nothing is written for\n"
    "the bad text, and no later line is read) or when the result cannot be written; 2 for a\n"
    "usage error.\n";

const hxtool::ToolText kTool = {"hxscramble", kUsage, kHelp};

// Standard input is read in blocks of this size at least; the buffer grows beyond it only to
// hold the longest line whole.
const size_t kReadBlock = 128 * 1024;

// Decrypt's answer for a byte that its row does not hold.
const char kNotInRow = 31;

// Encrypt's length is unsigned and Decrypt's an int, so a longer line goes in pieces. Each piece
// starts at a multiple of 16, and so at the row the whole line would use there.
const size_t kCipherPiece = size_t(1) << 30;

struct Options {
    bool simple = false;
    bool hex = false;
    bool restore = false;
    bool confirm = true;
    const char* text = nullptr;
};

void Complain(const std::string& text)
{
    hxtool::Complain(kTool, text);
}

// What a byte is, never which: enough to find it in a text the operator knows.
const char* KindOf(unsigned char c)
{
    if (c < ' ' || c == 127)
        return "a control byte";
    if (c > 127)
        return "a byte above 127";
    if (c == ' ')
        return "a blank";
    if (isdigit(c))
        return "a digit";
    if (isalpha(c))
        return "a letter";
    return "a punctuation character";
}

// Value of each byte as a hex digit, -1 for a byte that is not one.
struct HexDigits {
    signed char value[256];

    HexDigits()
    {
        memset(value, -1, sizeof value);
        for (int d = 0; d < 10; ++d)
            value['0' + d] = static_cast<signed char>(d);
        for (int d = 0; d < 6; ++d)
            value['a' + d] = value['A' + d] = static_cast<signed char>(10 + d);
    }
};

// The two ciphers share no base class; this puts the chosen one behind one face. Both take the
// characters from a blank up to their last one.
class Cipher
{
  public:
    explicit Cipher(bool simple) : m_simple(simple) {}

    const char* Name() const
    {
        return m_simple ? "the simple cipher" : "the ASCII cipher";
    }

    const char* Range() const
    {
        return m_simple ? "printable ASCII and DEL"
                        : "a blank to 'z'; --simple takes all printable ASCII";
    }

    unsigned char Last() const
    {
        return m_simple ? 127 : 'z';
    }

    void Encrypt(char* text, size_t length)
    {
        for (size_t done = 0; done < length; done += kCipherPiece) {
            unsigned int n = static_cast<unsigned int>(std::min(kCipherPiece, length - done));
            if (m_simple)
                m_simpleCipher.Encrypt(text + done, text + done, n);
            else
                m_asciiCipher.Encrypt(text + done, text + done, n);
        }
    }

    // `to` may be `from` itself.
    void Decrypt(const char* from, char* to, size_t length)
    {
        for (size_t done = 0; done < length; done += kCipherPiece) {
            int n = static_cast<int>(std::min(kCipherPiece, length - done));
            if (m_simple)
                m_simpleCipher.Decrypt(from + done, to + done, n);
            else
                m_asciiCipher.Decrypt(from + done, to + done, n);
        }
    }

  private:
    bool m_simple;
    QHxSimpleCrypt m_simpleCipher;
    QHxAsciiCrypt m_asciiCipher;
};

// A set of bytes to check a text against: a range, less up to three bytes within it. It keeps
// the vectors its check works with, built once.
class ByteSet
{
  public:
    ByteSet(unsigned char first, unsigned char last)
        : m_first(first), m_span(static_cast<unsigned char>(last - first)),
          m_firsts(_mm_set1_epi8(static_cast<char>(first))),
          m_spans(_mm_set1_epi8(static_cast<char>(m_span)))
    {
        // NUL stands for none: no range here takes it.
        for (size_t i = 0; i < kMostMissing; ++i)
            Leave(i, '\0');
    }

    // Takes `c` out of the set; false when three are out already.
    bool Leave(char c)
    {
        if (m_missingCount == kMostMissing)
            return false;
        Leave(m_missingCount++, c);
        return true;
    }

    bool Holds(unsigned char c) const
    {
        return static_cast<unsigned char>(c - m_first) <= m_span && c != m_missing[0] &&
               c != m_missing[1] && c != m_missing[2];
    }

    // Sixteen bytes at a time: a bit for each byte at `at` that the set does not hold.
    // b - first wraps the bytes below the range round to the top, so one unsigned comparison
    // finds both of its ends.
    unsigned OutsideMask(const char* at) const
    {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        __m128i inside = _mm_cmpeq_epi8(_mm_subs_epu8(_mm_sub_epi8(bytes, m_firsts), m_spans),
                                        _mm_setzero_si128());
        inside = _mm_andnot_si128(_mm_cmpeq_epi8(bytes, m_missingBytes[0]), inside);
        inside = _mm_andnot_si128(_mm_cmpeq_epi8(bytes, m_missingBytes[1]), inside);
        inside = _mm_andnot_si128(_mm_cmpeq_epi8(bytes, m_missingBytes[2]), inside);
        return ~static_cast<unsigned>(_mm_movemask_epi8(inside)) & 0xFFFF;
    }

  private:
    static constexpr size_t kMostMissing = 3;

    void Leave(size_t slot, char c)
    {
        m_missing[slot] = static_cast<unsigned char>(c);
        m_missingBytes[slot] = _mm_set1_epi8(c);
    }

    unsigned char m_first;
    unsigned char m_span;
    unsigned char m_missing[kMostMissing];
    size_t m_missingCount = 0;
    __m128i m_firsts;
    __m128i m_spans;
    __m128i m_missingBytes[kMostMissing];
};

// The offset of the first byte of `text` that `set` does not hold, or `length` when there is
// none. It runs over every byte of a stream, so a text of sixteen bytes or more is looked at
// sixteen at a time, its last sixteen overlapping the ones before when its length is not a
// multiple of sixteen.
size_t FirstOutside(const char* text, size_t length, const ByteSet& set)
{
    if (length < 16) {
        size_t i = 0;
        while (i < length && set.Holds(static_cast<unsigned char>(text[i])))
            ++i;
        return i;
    }
    for (size_t i = 0;; i += 16) {
        if (i + 16 > length)
            i = length - 16;
        unsigned outside = set.OutsideMask(text + i);
        if (outside != 0)
            return i + static_cast<size_t>(__builtin_ctz(outside));
        if (i + 16 == length)
            return length;
    }
}

// How complaints name a text: "line 12", or a name such as "the password". The line's name is
// only put together when there is something to complain about.
struct Where {
    const char* name;
    unsigned long long line;

    std::string Text() const
    {
        return name != nullptr ? name : "line " + std::to_string(line);
    }
};

std::string Position(const char* unit, size_t index)
{
    return std::string(unit) + " " + std::to_string(index + 1);
}

// Scrambles or restores texts in place and writes each result on a line of its own.
class Scrambler
{
  public:
    Scrambler(const Options& options, hxtool::Output& out)
        : m_restore(options.restore), m_hex(options.hex || options.simple),
          m_cipher(options.simple), m_domain(' ', m_cipher.Last()), m_lineBytes(m_domain),
          m_out(out)
    {
        if (m_restore)
            m_restoresInPlace = !m_hex && FindVisibleBytesWritten(m_lineBytes);
    }

    // The bytes a line may hold without a closer look: for scrambling, those the cipher takes;
    // for restoring, the visible characters less those the cipher never writes, when those are
    // few. Hex and the other visible characters are looked at closely.
    const ByteSet& LineBytes() const
    {
        return m_lineBytes;
    }

    // `text` may be changed, and has room for one more byte after `length`. `inRange` says
    // that LineBytes() is known to hold every byte already. The result may wait in
    // `text` until the next Flush, so the text must live until then.
    Status Handle(const Where& where, char* text, size_t length, bool inRange = false)
    {
        if (!m_restore)
            return Scramble(where, text, length, inRange);
        return inRange && m_restoresInPlace ? RestoreInPlace(text, length)
                                            : Restore(where, text, length);
    }

    // Writes out what is queued: before the run waits for more input, and at its end.
    Status Flush()
    {
        if (WriteRun() != kDone)
            return kFailed;
        return m_out.Flush() ? kDone : WriteFailed();
    }

  private:
    // The visible characters less those the cipher never writes, if there are three at most.
    // Every row holds the same bytes, so row 0 tells.
    bool FindVisibleBytesWritten(ByteSet& written)
    {
        ByteSet visible('!', '~');
        for (int c = '!'; c <= '~'; ++c) {
            char byte = static_cast<char>(c);
            char restored;
            m_cipher.Decrypt(&byte, &restored, 1);
            if (restored == kNotInRow && !visible.Leave(byte))
                return false;
        }
        written = visible;
        return true;
    }

    Status Scramble(const Where& where, char* text, size_t length, bool inRange)
    {
        size_t bad = inRange ? length : FirstOutside(text, length, m_domain);
        if (bad < length)
            return Refuse(where, Position("character", bad) + " is " + KindOf(text[bad]) +
                                     " outside the range of " + m_cipher.Name() + " (" +
                                     m_cipher.Range() + ")");
        m_cipher.Encrypt(text, length);
        return m_hex ? WriteHex(text, length) : WriteLine(text, length);
    }

    // Every byte is one the cipher writes, so it restores whole.
    Status RestoreInPlace(char* text, size_t length)
    {
        m_cipher.Decrypt(text, text, length);
        return WriteLine(text, length);
    }

    // Any text: restored into the scratch block first, so that a complaint can still tell
    // what kind of byte it found.
    Status Restore(const Where& where, char* text, size_t length)
    {
        const char* unit = "character";
        if (m_hex) {
            size_t bad = FirstNotHex(text, length);
            if (bad < length)
                return Refuse(where, Position("character", bad) + " is not a hex digit: it is " +
                                         KindOf(text[bad]));
            if (length % 2 != 0)
                return Refuse(where, "odd number of hex digits (" + std::to_string(length) + ")");
            length = DecodeHex(text, length);
            unit = "byte";
        }
        size_t bad = FirstNotRestored(text, length);
        if (bad < length)
            return Refuse(where, Position(unit, bad) + " is " + KindOf(text[bad]) + ", which " +
                                     m_cipher.Name() + " never writes");
        // A text that fits the scratch block was restored there while it was checked. It goes
        // back in place, where it can go out in one piece with the lines around it. (memmove:
        // GCC turns a memcpy bounded by the scratch block into rep movs, slow for short lines.)
        if (length <= kScratch)
            memmove(text, m_scratch, length);
        else
            m_cipher.Decrypt(text, text, length);
        return WriteLine(text, length);
    }

    // Restores the text block by block into the scratch block, and returns the position of the
    // first byte that its row does not hold, or `length`. Every byte a cipher writes is in all
    // of its rows and restores to a character of the cipher's range; any other byte comes back
    // as kNotInRow, just below that range.
    size_t FirstNotRestored(const char* text, size_t length)
    {
        static_assert(kNotInRow == ' ' - 1, "Decrypt's answer for a stranger lies below the range");
        for (size_t done = 0; done < length; done += kScratch) {
            size_t n = std::min(kScratch, length - done);
            m_cipher.Decrypt(text + done, m_scratch, n);
            size_t bad = FirstOutside(m_scratch, n, m_domain);
            if (bad < n)
                return done + bad;
        }
        return length;
    }

    size_t FirstNotHex(const char* text, size_t length) const
    {
        size_t i = 0;
        while (i < length && m_digits.value[static_cast<unsigned char>(text[i])] >= 0)
            ++i;
        return i;
    }

    // In place: byte i is written where digit 2i was read, never ahead of the reading.
    size_t DecodeHex(char* text, size_t length) const
    {
        const signed char* value = m_digits.value;
        for (size_t i = 0; 2 * i < length; ++i)
            text[i] = static_cast<char>(value[static_cast<unsigned char>(text[2 * i])] * 16 +
                                        value[static_cast<unsigned char>(text[2 * i + 1])]);
        return length / 2;
    }

    // Results that stand one after the other in the input, each in place of its line, go out
    // as one piece: a block of input lines becomes one write, with no copy.
    Status WriteLine(char* text, size_t length)
    {
        if (text != m_runEnd) {
            if (WriteRun() != kDone)
                return kFailed;
            m_runStart = text;
        }
        text[length] = '\n';
        m_runEnd = text + length + 1;
        return kDone;
    }

    Status WriteRun()
    {
        const char* start = m_runStart;
        const size_t size = static_cast<size_t>(m_runEnd - m_runStart);
        m_runStart = m_runEnd = nullptr;
        return size > 0 ? Put(start, size) : kDone;
    }

    Status WriteHex(const char* bytes, size_t length)
    {
        static const char kDigits[] = "0123456789abcdef";
        char chunk[4096];
        for (size_t done = 0; done < length;) {
            size_t n = std::min(length - done, sizeof chunk / 2);
            for (size_t i = 0; i < n; ++i) {
                unsigned char c = static_cast<unsigned char>(bytes[done + i]);
                chunk[2 * i] = kDigits[c >> 4];
                chunk[2 * i + 1] = kDigits[c & 15];
            }
            if (Write(chunk, 2 * n) != kDone)
                return kFailed;
            done += n;
        }
        return Write("\n", 1);
    }

    // After the results waiting in place, which came first.
    Status Write(const char* data, size_t size)
    {
        return WriteRun() == kDone ? Put(data, size) : kFailed;
    }

    Status Put(const char* data, size_t size)
    {
        return m_out.Write(data, size) ? kDone : WriteFailed();
    }

    Status WriteFailed()
    {
        // Reported once: a failed Output refuses every later write for the same reason.
        if (!m_writeFailureReported)
            hxtool::ReportWriteFailure(kTool, m_out.Error());
        m_writeFailureReported = true;
        return kFailed;
    }

    Status Refuse(const Where& where, const std::string& problem)
    {
        // The results so far go out first, so that on a terminal they stand before the
        // complaint. Should they fail to go out, Flush says so itself.
        Flush();
        Complain(where.Text() + ": " + problem);
        return kFailed;
    }

    bool m_restore;
    bool m_hex;
    Cipher m_cipher;
    ByteSet m_domain;               // the characters the cipher takes
    ByteSet m_lineBytes;            // see LineBytes()
    bool m_restoresInPlace = false; // a line LineBytes() holds whole restores straight in place
    HexDigits m_digits;
    hxtool::Output& m_out;
    bool m_writeFailureReported = false;
    char* m_runStart = nullptr; // results waiting in place, one after the other
    char* m_runEnd = nullptr;
    // A multiple of 16, so that each block starts at row 0; one spare byte for the newline.
    static constexpr size_t kScratch = 4096;
    char m_scratch[kScratch + 1];
};

// Standard input in large blocks, cut into lines in place. The buffer holds a block at least,
// and grows only to hold the longest line whole.
class LineReader
{
  public:
    LineReader() : m_buffer(static_cast<char*>(malloc(kReadBlock)), free), m_capacity(kReadBlock) {}

    // Hands each line of standard input, without its LF or CR LF, to `scrambler`, until input
    // ends or a line fails.
    Status HandleAll(Scrambler& scrambler)
    {
        Status status = HandleLines(scrambler);
        // Results may wait in place in the buffer, which goes with this reader.
        Status flushed = scrambler.Flush();
        return status != kDone ? status : flushed;
    }

  private:
    Status HandleLines(Scrambler& scrambler)
    {
        if (m_buffer == nullptr)
            return OutOfMemory();
        for (;;) {
            char* newline = FindNewline(scrambler);
            if (newline != nullptr) {
                char* line = m_buffer.get() + m_lineStart;
                m_lineStart = m_searched = static_cast<size_t>(newline - m_buffer.get()) + 1;
                Status status = HandleLine(scrambler, line, static_cast<size_t>(newline - line));
                if (status != kDone)
                    return status;
                continue;
            }
            // Nothing is waiting to go out while the run may wait for input.
            if (scrambler.Flush() != kDone)
                return kFailed;
            long got = ReadMore();
            if (got < 0)
                return got == -2 ? OutOfMemory() : ReadFailed();
            if (got == 0) {
                // A last line without a newline; the spare byte takes the one it is written with.
                size_t length = m_end - m_lineStart;
                return length > 0 ? HandleLine(scrambler, m_buffer.get() + m_lineStart, length)
                                  : kDone;
            }
        }
    }

    // The newline that ends the current line, or null when the input read so far holds none.
    // Finding it and checking the bytes before it against the scrambler's range is one pass;
    // a line with a byte outside the range (a CR too) is searched the plain way from there,
    // and its bytes are checked again when it is handled.
    char* FindNewline(const Scrambler& scrambler)
    {
        char* from = m_buffer.get() + m_searched;
        size_t left = m_end - m_searched;
        if (m_lineInRange) {
            size_t stop = FirstOutside(from, left, scrambler.LineBytes());
            if (stop < left && from[stop] == '\n')
                return from + stop;
            m_lineInRange = stop == left;
            from += stop;
            left -= stop;
        }
        char* newline = static_cast<char*>(memchr(from, '\n', left));
        if (newline == nullptr)
            m_searched = m_end;
        return newline;
    }

    Status HandleLine(Scrambler& scrambler, char* line, size_t length)
    {
        const bool inRange = m_lineInRange;
        m_lineInRange = true; // for the next line
        if (length > 0 && line[length - 1] == '\r')
            --length;
        return scrambler.Handle(Where{nullptr, ++m_lineNumber}, line, length, inRange);
    }

    // Moves the unfinished line to the front, grows the buffer when that line leaves less
    // than half a block free, and reads what standard input has. Returns the number of bytes
    // read, 0 at end of input, -1 for a failed read, -2 when memory ran out.
    long ReadMore()
    {
        memmove(m_buffer.get(), m_buffer.get() + m_lineStart, m_end - m_lineStart);
        m_end -= m_lineStart;
        m_searched -= m_lineStart;
        m_lineStart = 0;
        if (m_capacity - m_end < kReadBlock / 2 && !Grow())
            return -2;
        for (;;) {
            // One byte stays spare for the newline of a last line that has none.
            ssize_t got = read(STDIN_FILENO, m_buffer.get() + m_end, m_capacity - m_end - 1);
            if (got < 0 && errno == EINTR)
                continue;
            if (got > 0)
                m_end += static_cast<size_t>(got);
            return static_cast<long>(got);
        }
    }

    bool Grow()
    {
        // realloc of a large block moves pages rather than copying them, and pages past the
        // line are never touched: memory stays near the longest line.
        char* grown = static_cast<char*>(realloc(m_buffer.get(), 2 * m_capacity));
        if (grown == nullptr)
            return false;
        m_buffer.release();
        m_buffer.reset(grown);
        m_capacity *= 2;
        return true;
    }

    Status ReadFailed()
    {
        Complain(std::string("cannot read standard input: ") + strerror(errno));
        return kFailed;
    }

    Status OutOfMemory()
    {
        Complain("line " + std::to_string(m_lineNumber + 1) + " does not fit in memory");
        return kFailed;
    }

    std::unique_ptr<char, decltype(&free)> m_buffer;
    size_t m_capacity;
    size_t m_lineStart = 0;    // where the line being cut out begins
    size_t m_searched = 0;     // how far it has been searched for its newline
    size_t m_end = 0;          // how far the buffer holds input
    bool m_lineInRange = true; // no byte of the current line searched so far is outside the range
    unsigned long long m_lineNumber = 0;
};

// Handles one text and writes its result out before the text goes away.
Status HandleNow(Scrambler& scrambler, const Where& where, char* text, size_t length)
{
    Status status = scrambler.Handle(where, text, length);
    return status == kDone ? scrambler.Flush() : status;
}

// Scrambles a password typed twice without echo, or once with --no-confirm.
Status AskPassword(Scrambler& scrambler, bool confirm)
{
    QHxConsole console;
    hxtool::Secret password;
    hxtool::Asked asked =
        hxtool::AskPassword(console, "Password", confirm ? "Again" : nullptr, false, password);
    if (asked != hxtool::Asked::kTyped) {
        Complain(hxtool::WhyNotAsked(asked, "password", "30 characters", "nothing was scrambled"));
        return kFailed;
    }
    return HandleNow(scrambler, Where{"the password", 0}, password.Text(), password.Length());
}

// Restores scrambled text typed without echo: it is as secret as the password it hides. As hex
// it is twice as long, so it may take two hidden reads.
Status AskScrambled(Scrambler& scrambler, bool hex)
{
    QHxConsole console;
    hxtool::Secret scrambled;
    hxtool::Asked asked = hxtool::Asked::kTyped;
    switch (scrambled.Ask(console, "Scrambled text", hex ? 2 : 1)) {
    case hxtool::Secret::kEnded:
        asked = hxtool::Asked::kEnded;
        break;
    case hxtool::Secret::kCut:
        asked = hxtool::Asked::kCut;
        break;
    case hxtool::Secret::kWhole:
        if (scrambled.Length() == 0)
            asked = hxtool::Asked::kEmpty;
        break;
    }
    if (asked != hxtool::Asked::kTyped) {
        Complain(hxtool::WhyNotAsked(asked, "scrambled text",
                                     hex ? "60 hex digits" : "30 characters",
                                     "nothing was restored"));
        return kFailed;
    }
    return HandleNow(scrambler, Where{"the scrambled text", 0}, scrambled.Text(),
                     scrambled.Length());
}

Status HandleArgument(Scrambler& scrambler, const char* text)
{
    std::string copy = text;
    copy += '\0'; // the spare byte for the newline
    return HandleNow(scrambler, Where{"the argument", 0}, &copy[0], copy.size() - 1);
}

[[nodiscard]] Status UsageError(const std::string& text)
{
    return static_cast<Status>(hxtool::UsageError(kTool, text));
}

// Sets exitNow when the run ends with the arguments (help, version, a usage error) and returns
// the status to exit with.
Status ParseArguments(int argc, char** argv, Options& options, bool& exitNow)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnded = true;
            } else if (arg == "--simple") {
                options.simple = true;
            } else if (arg == "--hex") {
                options.hex = true;
            } else if (arg == "--restore") {
                options.restore = true;
            } else if (arg == "--no-confirm") {
                options.confirm = false;
            } else if (hxtool::IsInformation(arg)) {
                exitNow = true;
                return static_cast<Status>(hxtool::ShowInformation(kTool, arg, kFailed));
            } else {
                exitNow = true;
                return UsageError("unknown option '" + arg + "'");
            }
        } else if (options.text != nullptr) {
            exitNow = true;
            return UsageError("one TEXT at most; quote a text that holds blanks");
        } else {
            options.text = argv[i];
        }
    }
    return kDone;
}

Status Run(const Options& options)
{
    const bool asking = options.text == nullptr && isatty(STDIN_FILENO);
    // Questions go to the operator's terminal, so that standard output carries the answer alone
    // and a captured or redirected run still shows them.
    const int answers = asking ? hxtool::DivertDialogue() : STDOUT_FILENO;
    auto out = std::make_unique<hxtool::Output>(answers);
    Scrambler scrambler(options, *out);

    Status status;
    if (options.text != nullptr)
        status = HandleArgument(scrambler, options.text);
    else if (!asking)
        status = LineReader().HandleAll(scrambler);
    else if (options.restore)
        status = AskScrambled(scrambler, options.hex || options.simple);
    else
        status = AskPassword(scrambler, options.confirm);
    // The results written so far still pair up with their lines, whatever ended the run.
    Status flushed = scrambler.Flush();
    return status != kDone ? status : flushed;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    bool exitNow = false;
    Status status = ParseArguments(argc, argv, options, exitNow);
    if (exitNow)
        return status;
    return Run(options);
}
