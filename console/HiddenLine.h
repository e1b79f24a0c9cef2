// HiddenLine: a line typed with echo off, read through the standard input stream under the
// terminal guard, and what else of the console touches that stream. Internal to the library;
// not installed.
#ifndef HXCONSOLE_HIDDENLINE_H
#define HXCONSOLE_HIDDENLINE_H

#include <cstdio>

namespace hxconsole
{

// Shows "prompt : " and flushes standard output; a null prompt shows nothing.
void ShowPrompt(const char* prompt);

// Reads one line of at most 31 characters, its end included, through the standard input stream
// with echo off, into buf (32 bytes), and puts the terminal back as it was. The line ends as an
// answer line does (see WholeLine.h), and its end is stored as a newline. The prompt has been
// shown; it is shown again when the read resumes after a stop. Failures are reported on
// standard error. With `wholeLine`, the rest of a longer line is dropped; otherwise it stays in
// the stream for the next hidden read. Returns the line's length, its end included, or -1.
// Nothing of the line is left behind in the library's buffers or on the stack.
long ReadHiddenLine(char* buf, const char* prompt, bool wholeLine);

// Takes what `stream` holds of the current line, up to and including its end, and wipes it.
// True when the line ended there; false when the rest, if any, is still to be read from the
// descriptor (and always where the stream's buffer cannot be seen into).
bool TakeBufferedLine(FILE* stream);

} // namespace hxconsole

#endif
