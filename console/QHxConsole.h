// QHxConsole: a prompt-and-answer dialogue with the operator on a text terminal.
//
// The console writes prompts and lists to standard output, reports failed terminal calls on
// standard error, and reads standard input: plain reads go straight to descriptor 0, hidden
// (no-echo) reads go through the standard input stream. It keeps no state between calls and
// allocates no memory. It serves one thread talking to one operator: two threads reading at
// once would interleave prompts and fight over the terminal's echo setting.
#ifndef HXCONSOLE_QHXCONSOLE_H
#define HXCONSOLE_QHXCONSOLE_H

#include <cstdint>

#ifndef HX_EXPORT
#define HX_EXPORT __attribute__((visibility("default")))
#endif

// One entry of a menu, held by value in a std::vector<_GENERIC_ITEM>. The record has a fixed
// size and no constructor: the caller fills it in (for instance with strncpy into name) and
// keeps it. The menus read id and name; data is never read, only copied along when a menu
// hands back a whole record.
struct _GENERIC_ITEM {
    int32_t id;          // returned by the single-choice menu
    char name[128];      // shown as the entry's text; NUL-terminated
    unsigned char data[64]; // free for the caller
};

class HX_EXPORT QHxConsole
{
  public:
    // The flag is stored and never read.
    explicit QHxConsole(bool flag = false);
    virtual ~QHxConsole();

    // Shows `prompt` as "prompt : " (nothing when null) and reads one chunk of input into buf.
    //
    // Plain mode (hidden false): one read(2) of at most `size` bytes from descriptor 0,
    // bypassing the standard input stream. A chunk that ends in a newline has it replaced by
    // NUL; any other chunk (a line of `size` bytes or more, whose rest waits for the next
    // call, or the last bytes before end of input) is left as read, unterminated. Hand it a
    // buffer one byte larger than `size`, cleared beforehand.
    //
    // Hidden mode (hidden true): switches echo off on the terminal behind standard input,
    // reads one line through the standard input stream, puts the terminal back exactly as it
    // was and writes a newline for the Enter that was not echoed. At most 31 characters are
    // taken (the newline counts as one); the rest of a longer line stays in the stream and
    // is what the next hidden read returns. `size` plays no part: buf must hold 32 bytes, and
    // it always ends up terminated. When standard input is not a terminal nothing is read.
    //
    // Returns the number of characters left in buf once the final newline is removed; 0 for
    // an empty line; -1 for end of input, a failed read, a null buf, a hidden line that starts
    // with NUL, or a failed terminal call (tcgetattr, tcsetattr or fgets, each reported on
    // standard error as "<call> failed with error <errno> : '<text>'"). Interrupted calls are
    // not retried.
    int Read(char* buf, unsigned long size, const char* prompt, bool hidden);

  private:
    int32_t m_input;     // descriptor that plain reads come from
    int32_t m_spare;     // set, never read
    bool m_ready;        // set once construction is done, never read
    int16_t m_spareWord; // set, never read
    bool m_flag;         // the constructor's argument, never read
};

#endif
