// LineInput: the two ways the console takes a line from the operator, and the prompt in front
// of both. Internal to the library; not installed.
//
// A typed prompt takes exactly one whole line per answer (ReadWholeLine). What does not fit in
// the prompt's buffer is read and dropped, so that it never becomes the next answer or, once
// the program has ended, a command for the shell. No byte past the line's newline is taken, so
// the next prompt, or the caller's own read, starts on the next line:
//   - a terminal in canonical mode hands each read at most one line, and once Enter was
//     pressed the rest of the line is already there: it is dropped without waiting for more
//     (a line ended by Ctrl-D without a newline has no rest);
//   - a seekable file is read a block at a time, and the offset is put back to just after the
//     newline;
//   - a pipe, or anything else that cannot seek, is read a byte at a time.
//
// A hidden line (ReadHiddenLine) comes through the standard input stream with echo off, under
// the terminal guard.
#ifndef HXCONSOLE_LINEINPUT_H
#define HXCONSOLE_LINEINPUT_H

namespace hxconsole
{

// Shows "prompt : " and flushes standard output; a null prompt shows nothing.
void ShowPrompt(const char* prompt);

struct WholeLine {
    long kept; // bytes kept in the buffer, the newline not counted; -1: nothing could be read
    bool cut;  // the line held more than the buffer could keep; the rest was dropped
};

// Reads one line from fd, keeping at most `size` bytes of it in buf followed by a NUL (buf
// holds size + 1 bytes). The newline is neither kept nor counted. kept is -1 at end of input
// before any byte, and when a read fails, even in the middle of the line. Interrupted reads
// count as failures.
WholeLine ReadWholeLine(int fd, char* buf, unsigned long size);

// Reads one line of at most 31 characters, newline included, through the standard input stream
// with echo off, into buf (32 bytes), and puts the terminal back as it was. The prompt has been
// shown; it is shown again when the read resumes after a stop. Failures are reported on
// standard error. With `wholeLine`, the rest of a longer line is dropped; otherwise it stays in
// the stream for the next hidden read. Returns the line's length, newline included, or -1.
// Nothing of the line is left behind in the library's buffers or on the stack.
long ReadHiddenLine(char* buf, const char* prompt, bool wholeLine);

} // namespace hxconsole

#endif
