// InputWatch: hxask's hold on the library's plain reads of standard input.
//
// hxask defines read(2) itself (see InputWatch.cpp), so every plain read the library makes of
// descriptor 0 passes through here, and two things are done on the way:
//
//  - A read stops at the first newline. The library asks for a chunk, and a pipe or a file
//    holding several answers would hand over the next question's line with it. On a pipe,
//    which cannot give back what was read, bytes are taken one at a time; a file is read a
//    block at a time and the offset set back to just after the newline. A terminal in
//    canonical mode hands out one line at most anyway. This is how the shell's own `read`
//    keeps to its line, and why a script answered from one file or pipe, or piped into a
//    shell, keeps its later lines.
//  - The result is kept. The library's Read answers -1 both at end of input and for a failed
//    read, and removes a final newline; the byte count of the read itself tells these apart.
//
// Reads through the standard input stream (the hidden reads) are not seen: hxask makes that
// stream unbuffered, so that it also reads no further than it needs.
#ifndef HXCONSOLE_TOOLS_INPUTWATCH_H
#define HXCONSOLE_TOOLS_INPUTWATCH_H

namespace hxask
{

struct LastRead {
    long result = 1; // the byte count: 0 at end of input, -1 for a failed read
    int error = 0;   // the errno of a failed read
};

// The last read(2) on descriptor 0 made through the dynamic symbol `read`, as the library's
// plain reads are, as it was handed to the library.
LastRead LastInputRead();

} // namespace hxask

#endif
