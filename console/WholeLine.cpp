#include "WholeLine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace hxconsole
{

namespace
{

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Is fd's canonical-mode line, whose first read filled its block, still going? poll tells
// without waiting: in canonical mode it reports input only once a whole line (or a Ctrl-D) is
// there. Without it the line was ended by Ctrl-D at exactly that length.
bool RestIsWaiting(int fd)
{
    pollfd input{fd, POLLIN, 0};
    return poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0;
}

// A line being read: what is kept of it in the caller's buffer, and how long it really is.
struct Line {
    char* buf;
    size_t size;
    size_t kept = 0;
    size_t length = 0; // bytes of the line so far, its end not counted
    char next[3] = {}; // the first bytes that did not fit: enough to end a cut character
    size_t nexts = 0;
    char last = 0; // the line's last byte
    bool ended = false;

    // Takes the bytes of a block up to the line's end; returns how many it used.
    size_t Take(const LineSource& source, const char* block, size_t count)
    {
        size_t used = 0;
        while (used < count && !ended && length <= kLongestLine) {
            const char c = block[used++];
            if (EndsLine(source, c)) {
                ended = true;
                break;
            }
            if (kept < size)
                buf[kept++] = c;
            else if (nexts < sizeof next)
                next[nexts++] = c;
            last = c;
            ++length;
        }
        return used;
    }
};

} // namespace

LineSource SourceOf(int fd)
{
    // isatty, tcgetattr and a failed lseek set errno; callers see only what the reads leave.
    const int savedErrno = errno;
    termios modes{};
    LineSource source{LineSource::kPipe, false};
    if (tcgetattr(fd, &modes) == 0) {
        const bool canonical = (modes.c_lflag & ICANON) != 0;
        source.kind = canonical ? LineSource::kLines : LineSource::kKeys;
        source.carriageReturnEnds = !canonical && (modes.c_iflag & (ICRNL | IGNCR)) == 0;
    } else if (lseek(fd, 0, SEEK_CUR) >= 0) {
        source.kind = LineSource::kFile;
    }
    errno = savedErrno;
    return source;
}

bool EndsLine(const LineSource& source, char c)
{
    return c == '\n' || (c == '\r' && source.carriageReturnEnds);
}

bool WaitForInput(int fd)
{
    pollfd input{fd, POLLIN, 0};
    return poll(&input, 1, -1) >= 0;
}

WholeLine ReadWholeLine(int fd, char* buf, size_t size, bool crlf)
{
    const LineSource source = SourceOf(fd);
    char block[1024];
    // From a pipe every byte taken is gone for whoever reads next, and a terminal not in
    // canonical mode holds the keys typed ahead: take one at a time.
    const bool blocks = source.kind == LineSource::kLines || source.kind == LineSource::kFile;
    const size_t want = blocks ? sizeof block : 1;
    Line line{buf, size};
    // Whatever ends the question without a line leaves the buffer empty.
    auto none = [buf](WholeLine::Status status, int error) {
        buf[0] = '\0';
        return WholeLine{status, 0, false, false, error};
    };
    bool readAny = false;
    while (!line.ended && line.length <= kLongestLine) {
        if (source.kind == LineSource::kKeys && !WaitForInput(fd))
            return none(WholeLine::kFailed, errno);
        const ssize_t got = read(fd, block, want);
        if (got < 0)
            return none(WholeLine::kFailed, errno);
        if (got == 0)
            break;
        readAny = true;
        const size_t count = static_cast<size_t>(got);
        const size_t used = line.Take(source, block, count);
        // Give the bytes after the line back to the file, for the next reader.
        if (source.kind == LineSource::kFile && used < count &&
            lseek(fd, -static_cast<off_t>(count - used), SEEK_CUR) < 0)
            return none(WholeLine::kFailed, errno);
        // A short terminal read without a newline is a line ended by Ctrl-D: it has no rest.
        if (source.kind == LineSource::kLines && !line.ended &&
            (count < want || !RestIsWaiting(fd)))
            break;
    }
    if (line.length > kLongestLine)
        return none(WholeLine::kEndless, 0);
    if (!readAny)
        return none(WholeLine::kEnded, 0);

    // A carriage return before the newline belongs to the line's end (a file written on
    // Windows); only the last byte kept can be it.
    if (crlf && line.ended && line.length > 0 && line.last == '\r') {
        --line.length;
        if (line.kept > line.length)
            line.kept = line.length;
    }
    const bool cut = line.length > line.kept;
    if (cut) {
        // The bytes of a cut character do not stay behind the terminator either.
        const size_t whole = KeptOfCutLine(buf, line.kept, {line.next, line.nexts});
        memset(buf + whole, 0, line.kept - whole);
        line.kept = whole;
    }
    buf[line.kept] = '\0';
    return {WholeLine::kLine, line.kept, cut, line.ended, 0};
}

size_t KeptOfCutLine(const char* text, size_t kept, std::string_view next)
{
    // Back to where a cut character would begin: a lead byte and at most two continuation bytes
    // of it can have been kept.
    size_t start = kept;
    while (start > 0 && kept - start < 2 &&
           IsContinuation(static_cast<unsigned char>(text[start - 1])))
        --start;
    if (start == 0 || next.empty() || !IsContinuation(static_cast<unsigned char>(next[0])))
        return kept;
    --start;
    // Its bytes kept and those dropped: when they make a whole UTF-8 character, the line was
    // cut inside one.
    char character[4];
    const size_t have = kept - start;
    const size_t more = std::min(next.size(), sizeof character - have);
    memcpy(character, text + start, have);
    memcpy(character + have, next.data(), more);
    const size_t length = Utf8Length({character, have + more});
    return length > have ? start : kept;
}

size_t Utf8Length(std::string_view text)
{
    if (text.empty())
        return 0;
    const unsigned char lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80)
        return 1;
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length)
        return 0;
    // The second byte's range rules out the overlong forms, the surrogates (ED A0 to ED BF)
    // and what lies past U+10FFFF.
    const unsigned char second = static_cast<unsigned char>(text[1]);
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (!IsContinuation(static_cast<unsigned char>(text[i])))
            return 0;
    return length;
}

} // namespace hxconsole
