// WholeLine: how one answer line is read from a descriptor, the one rule that the console's
// typed prompts, its pause and hxask share. Internal; not installed, nothing of it exported.
//
// An answer is one whole line. What does not fit in the caller's buffer is read and dropped, so
// it never becomes the next answer or, once the program has ended, a command for the shell; no
// byte past the line's end is taken, so the next question, or the caller's own read, starts on
// the next line. How that is done depends on what the descriptor is:
//   - a terminal in canonical mode hands each read at most one line, and once Enter was
//     pressed the whole line is there: it is read in blocks, and the rest of a long line is
//     dropped without waiting (a line ended by Ctrl-D without a newline has no rest);
//   - a terminal not in canonical mode (a caller's single-key mode, or what a crashed
//     full-screen program left) hands over keys as they are typed: the reader waits for each
//     one with poll, since a read may return at once with nothing (VMIN 0), and takes one at a
//     time, since keys typed ahead belong to the next line. The line ends at a newline, or at
//     a carriage return where the terminal does not turn it into one (ICRNL off, as after
//     stty raw, where Enter sends a carriage return);
//   - a seekable file is read a block at a time, and the offset is put back to just after the
//     line;
//   - a pipe, or anything else that cannot seek, is read a byte at a time.
// A line that has not ended after kLongestLine bytes (a hostile pipe, /dev/zero) ends the
// question as a failed read: it cannot hold a prompt for ever, and nothing grows with it.
#ifndef HXCONSOLE_WHOLELINE_H
#define HXCONSOLE_WHOLELINE_H

#include <cstddef>
#include <string_view>

namespace hxconsole
{

// The longest line, in bytes without its end, that is read to its end.
const size_t kLongestLine = 256 * 1024;

// What a descriptor is, as far as the end of a line goes.
struct LineSource {
    enum Kind { kLines, kKeys, kFile, kPipe } kind; // kLines, kKeys: a terminal
    bool carriageReturnEnds; // a terminal not in canonical mode whose Enter stays a '\r'
};
LineSource SourceOf(int fd);
bool EndsLine(const LineSource& source, char c);

// Waits until fd has something to read; false, with errno set, when poll failed.
bool WaitForInput(int fd);

struct WholeLine {
    enum Status {
        kLine,    // a line came, ended by its end or by the end of input
        kEnded,   // input ended before any byte
        kFailed,  // a read (or putting a file's offset back) failed, even in the middle of a line
        kEndless, // no end within kLongestLine bytes
    } status;
    size_t kept; // bytes kept in the buffer, the line's end not counted
    bool cut;    // the line held more than the buffer keeps; the rest was dropped
    bool ended;  // kLine: the line's end (not the end of input) ended it
    int error;   // kFailed: errno
};

// Reads one line from fd and keeps at most `size` bytes of it in buf, followed by a NUL (buf
// holds size + 1 bytes; on every status it is terminated). The line's end is neither kept nor
// counted; with `crlf`, neither is a carriage return just before a newline. A cut line never
// keeps part of a UTF-8 character (see KeptOfCutLine). Interrupted reads count as failures.
WholeLine ReadWholeLine(int fd, char* buf, size_t size, bool crlf = false);

// How many of the `kept` bytes of a cut line to keep, `next` being the first bytes dropped (up
// to three): all of them, unless they end in the first bytes of a whole UTF-8 character that
// `next` completes; then that character goes too. Text that is not UTF-8 keeps every byte.
size_t KeptOfCutLine(const char* text, size_t kept, std::string_view next);

// The length of the UTF-8 character that begins `text`, or 0 where none does: a stray
// continuation byte, an overlong form, a surrogate, a code point past U+10FFFF, a cut one.
size_t Utf8Length(std::string_view text);

} // namespace hxconsole

#endif
