// QHxConsole: a prompt-and-answer dialogue with the operator on a text terminal.
//
// The console writes prompts and lists to standard output, reports failed terminal calls on
// standard error, and reads standard input: plain reads go straight to descriptor 0, hidden
// (no-echo) reads go through the standard input stream. It keeps no state between calls and
// allocates no memory. It serves one thread talking to one operator: two threads reading at
// once would interleave prompts and fight over the terminal's echo setting, and two hidden
// reads at once, even on different objects, would also share the signal handlers that put
// the terminal back (see Read), so they must never overlap.
#ifndef HXCONSOLE_QHXCONSOLE_H
#define HXCONSOLE_QHXCONSOLE_H

#include <cstdint>
#include <vector>

#ifndef HX_EXPORT
#define HX_EXPORT __attribute__((visibility("default")))
#endif

// One entry of a menu, held by value in a std::vector<_GENERIC_ITEM>. The record has a fixed
// size and no constructor: the caller fills it in (for instance with strncpy into name) and
// keeps it. The menus read id and name; data is never read, only copied along when a menu
// hands back a whole record.
struct _GENERIC_ITEM {
    int32_t id;             // returned by the single-choice menu
    char name[128];         // shown as the entry's text; NUL-terminated
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
    // was (dropping anything typed after that line) and writes a newline for the Enter that
    // was not echoed. The line ends as an answer line does (see the typed prompts below), on
    // a terminal not in canonical mode too. At most 31 characters are taken (the line's end
    // counts as one); the rest
    // of a longer line stays in the stream and is what the next hidden read returns. `size`
    // plays no part: buf must hold 32 bytes whatever `size` says, and it always ends up
    // terminated. When standard input is not a terminal nothing is read. The line leaves no
    // copy behind but buf: the read's own buffer, the stack below it, the signal stack and
    // saved signal dispositions of the guard (below) and, with glibc, the bytes it took from the
    // stream's buffer are wiped; the library binds every symbol when it is loaded, so the
    // dynamic linker never runs during the read; and the vector registers, where the C
    // library's functions leave what they worked on, are zeroed before Read returns, so that
    // the caller's first lazily bound call, or a handler of its own, saves no piece of the line
    // on its stack: on x86-64 xmm0-15 (ymm0-15 whole where the processor has AVX), with AVX-512
    // also zmm0-31 whole and the mask registers k0-7; on arm64 v0-31, but for the low halves of
    // v8-15, which every function keeps for its caller and so get back what the caller had
    // there. On other processors they are left as they are. An end of input (Ctrl-D) met by an
    // earlier read does not end this one: on a terminal it waits for the operator; on a pipe that
    // has ended it fails at once.
    //
    // Signals during a hidden read. Only signals at their default action are handled, and
    // only while the read lasts; a handler of the caller's own, or SIG_IGN, is left in place,
    // and so is one that another thread installs while the read lasts (unless it does so in
    // the instant the read puts the dispositions back). A caller's handler that ends the
    // process must put the terminal back itself. Once Read has returned, none of the library's
    // handlers is installed, and none still running on another thread can change the terminal.
    // Which reads a handler of the caller's own ends, in every operation and not only here: a
    // signal it catches makes the read fail when it was installed without SA_RESTART
    // (sigaction without the flag), even partway through a line, and the operation returns -1
    // (only job control, below, resumes a hidden read). With SA_RESTART, which glibc's
    // signal() sets, the read goes on as if nothing had happened; but on a terminal not in
    // canonical mode each key is waited for with poll(2), which no handler restarts, so there
    // any caught signal ends it.
    //   - Every signal whose default action ends the process (SIGHUP, SIGINT, SIGQUIT, SIGILL,
    //     SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM,
    //     SIGTERM, SIGSTKFLT where the processor has it, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
    //     SIGPOLL, SIGPWR, SIGSYS and SIGRTMIN to SIGRTMAX) still ends it, from whichever
    //     thread, but only after the terminal has been put back and anything half-typed
    //     dropped. On the reading thread the handlers run on a signal stack of their own, so
    //     a stack overflow there ends the process with echo on too.
    //   - Job control: on SIGTSTP (Ctrl-Z), SIGTTIN or SIGTTOU the terminal is put back and
    //     the process stops, so the shell has echo. When it continues in the foreground (fg),
    //     echo goes off again before any key is read, what was typed meanwhile is dropped, the
    //     prompt is shown again and the read goes on. A job continued in the background (bg)
    //     leaves the terminal alone and stops again when it reads. A SIGCONT that follows no
    //     such stop changes nothing, unless the terminal's modes have changed meanwhile (bash
    //     gives a job stopped by SIGSTOP the shell's modes at fg): then the question is
    //     hidden and asked again.
    //   - The terminal's modes are never read or set from the background, where they are the
    //     shell's. A read started in the background stops until fg. One that cannot be
    //     stopped, since it ignores or blocks SIGTTOU, fails as the kernel fails a background
    //     read: "tcgetattr failed with error 5 : 'Input/output error'", terminal untouched.
    //   - A child forked without exec during the read inherits the handlers; there they only
    //     pass the signal on, and leave the terminal to the parent.
    // What no library can cover: SIGKILL ends the process with echo off. SIGSTOP cannot be
    // caught; a shell that puts back no modes for a stopped job (dash) then runs with echo off
    // until fg, and the question goes on as it was. A stack overflow on another thread ends
    // the process with echo off, unless that thread has an alternate signal stack of its own.
    //
    // Returns the number of characters left in buf once the final newline is removed; 0 for
    // an empty line; -1 for end of input, a failed read (an interrupted one too, as above), a
    // null buf, a hidden line that holds a NUL (buf is then left empty), or a failed terminal
    // call (tcgetattr, tcsetattr or fgets, each reported on standard error as "<call> failed
    // with error <errno> : '<text>'"). Every other -1 of a hidden read leaves buf as it was.
    int Read(char* buf, unsigned long size, const char* prompt, bool hidden);

    // One whole line per answer: the typed prompts below (ReadInt, ReadYesNo, ReadString,
    // ReadPassword and the menus) and Pause each take one line of standard input.
    //   - The rest of a line longer than the prompt keeps is read and dropped: it never
    //     becomes the next answer, nor input for the shell once the program has ended.
    //   - No byte past the line's end is read, so the next prompt, or the caller's own read,
    //     gets the next line: a terminal in canonical mode hands over a line at a time (the
    //     rest of a long one is dropped without waiting), a pipe is read a byte at a time, a
    //     file a block at a time with the offset put back after the line.
    //   - On a terminal not in canonical mode (stty -icanon, a caller's single-key mode, what
    //     a crashed full-screen program left) the keys are taken one at a time as they come,
    //     and the line still ends only at a newline, or at a carriage return where the
    //     terminal does not turn it into one (ICRNL off, as after stty raw).
    //   - A line that has not ended within 262144 bytes ends the question as a failed read:
    //     a stream without line ends (/dev/zero) cannot hold a prompt for ever.
    //   - Anywhere else a carriage return is a byte of the line, before a newline too.
    //   - A read that fails, even in the middle of a line, counts as end of input; so does
    //     one a signal interrupts (which handlers interrupt a read: see Read).
    //
    // Numbers are read as atoi does (leading blanks, an optional sign, digits up to the first
    // non-digit; no digits reads as 0), except that a number beyond the 32-bit range gives
    // INT_MAX or INT_MIN instead of an undefined value. An entry of more than 31 characters is
    // refused whole, never taken in part.

    // Reads a number with no prompt of its own: print one and flush standard output first.
    // Returns 1 when the answer is exactly the `escape` character (case counts; NUL means no
    // escape) and leaves `value` alone; 0 with the number in `value`; -1 on an empty line, an
    // entry of more than 31 characters, at end of input or on a failed read.
    int ReadInt(int& value, char escape);

    // Asks "prompt : " for a number within [min, max] until one comes; min and max both 0
    // mean any number. An empty line takes *defaultValue when there is one, and is -1
    // otherwise. A number out of range is stored in `value` all the same, then draws
    // "value not in range: (min - max)" and the question again. An entry of more than 31
    // characters leaves `value` alone and draws the same complaint (without a range, just
    // the question again). With a range, a default outside it, or min > max, prints "Invalid
    // range/default value" and returns -1 before asking. Returns 0 with `value` set, or -1 at
    // end of input or on a failed read.
    int ReadInt(const char* prompt, int& value, int* defaultValue = nullptr, int min = 0,
                int max = 0);

    // Asks "prompt : " until the answer starts with a lowercase y (returns 1) or n (returns
    // 2); only the first letter counts (of the first 7 characters kept), and the rest of the
    // line is dropped. An empty line returns `defaultAnswer` when that is not 0, and asks
    // again when it is. Returns -1 at end of input or on a failed read.
    int ReadYesNo(const char* prompt, int defaultAnswer = 0);

    // Asks "prompt : " and keeps the first len - 1 bytes of the answer line in `dst`, which
    // holds `len` bytes, always terminated; the rest of the line is dropped. A line cut inside
    // a UTF-8 character loses that character's bytes too (fewer are kept, and the count says
    // so; a line cut to nothing returns 0 and takes no default); text that is not UTF-8 keeps
    // every byte that fits. An empty line copies in
    // `defaultText`, cut to len - 1 bytes, or asks again when there is no default. Returns the
    // number of bytes in `dst`, or -1 at end of input, on a failed read, for a null `dst` or
    // for len below 1 (nothing shown or read); len 1 leaves no room for an answer and returns
    // -1 after the prompt, reading nothing. Whenever it returns -1 with len at least 1, dst[0]
    // is NUL.
    int ReadString(const char* prompt, char* dst, int len, const char* defaultText = nullptr);

    // Asks "prompt : " (a null prompt asks "Password : ") and reads the answer with echo off
    // into `buf`, which must hold 32 bytes and start empty: when buf already holds text,
    // nothing is asked and 0 is returned, so a caller can fill in a password it already
    // knows. The first 31 characters are kept and the rest of the line is dropped (and wiped),
    // so a confirmation asked next waits for the operator; signals (and which of them end the
    // read), job control and the copies left behind are as for a hidden Read. Returns 0, with
    // buf empty when only Enter was pressed, or -1, buf left empty, at end of input (Ctrl-D;
    // the next question waits again), on a failed read or when standard input is not a
    // terminal (reported on standard error); -1 too for a null buf.
    int ReadPassword(char* buf, const char* prompt = nullptr);

    // Shows `message` (when not null) on a line of its own, then "Press any key to continue
    // ...", and takes one whole line (see the typed prompts): on a terminal that waits for
    // Enter, even after an earlier Ctrl-D, and nothing typed at the pause answers the next
    // question, hidden or not. Input already waiting in the standard input stream (what a
    // hidden Read left of a long line, or the caller's own reads) is taken first, up to its
    // line's end. Standard output is not flushed.
    void Pause(const char* message = nullptr);

    // Shows the items as a numbered list under `title` (or "Please choose one of the
    // following:"), with an exit entry [x] labelled `exitLabel` (or "Return to the Main
    // Menu"), and asks "Enter item number: " until a listed number or a lowercase x comes
    // (an answer line of more than 31 characters is asked again).
    // Returns the chosen item's id and copies the whole item into *chosen when that is not
    // null; -1 for x, at end of input or for null items (then *chosen is not touched). An
    // item whose id is -1 cannot be told from the exit entry.
    int ListSelect(std::vector<_GENERIC_ITEM>* items, const char* title, _GENERIC_ITEM* chosen,
                   const char* exitLabel = nullptr);

    // Shows the list as above and asks for one item number, a range FROM-TO, ALL or x (both
    // in any case; an answer line of more than 1022 characters draws "Illegal item number
    // specified"). Sets *from and *to to the zero-based positions of the first and last
    // chosen items and returns *to. Returns -1, with *from and *to 0, for x, at end of input
    // or for null arguments; ALL on an empty list also gives -1. Bad entries draw "Illegal
    // range specified" or "Illegal item number specified" and the question again.
    int ListSelect(std::vector<_GENERIC_ITEM>* items, int* from, int* to, const char* title,
                   const char* exitLabel = nullptr);

  private:
    int32_t m_input;                      // descriptor that plain reads come from
    [[maybe_unused]] int32_t m_spare;     // set, never read
    [[maybe_unused]] bool m_ready;        // set once construction is done, never read
    [[maybe_unused]] int16_t m_spareWord; // set, never read
    [[maybe_unused]] bool m_flag;         // the constructor's argument, never read
};

#endif
