// InputWatch: what the last read(2) on standard input returned.
//
// The library's menus, and its ranged number prompt, answer -1 both when the operator declined
// (the exit entry x, or an empty line where no default exists) and when input ended or failed.
// Nothing a caller can look at afterwards tells these apart: a pipe that held "x\n" is at its
// end either way, and a terminal keeps no trace of a Ctrl-D. The read that ended the question
// does know, so hxask watches the plain reads the library makes (see InputWatch.cpp).
#ifndef HXCONSOLE_TOOLS_INPUTWATCH_H
#define HXCONSOLE_TOOLS_INPUTWATCH_H

namespace hxask
{

struct LastRead {
    long result = 1; // the byte count: 0 at end of input, -1 for a failed read
    int error = 0;   // the errno of a failed read
};

// The last read(2) on descriptor 0 made through the dynamic symbol `read`, as the library's
// plain reads are. Reads through the standard input stream (hidden reads, Pause) are not seen.
LastRead LastInputRead();

} // namespace hxask

#endif
