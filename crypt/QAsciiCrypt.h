#ifndef HXCONSOLE_QASCIICRYPT_H
#define HXCONSOLE_QASCIICRYPT_H

#ifndef HX_EXPORT
#define HX_EXPORT __attribute__((visibility("default")))
#endif

// Position-keyed substitution whose output is visible ASCII only: the character at position i is
// replaced through one of 16 fixed rows, row i mod 16, so the output has the same length as the
// input and never holds a blank, '"', '\'' or '\\'.
//
// This keeps a text out of plain sight; it is NOT encryption. There is no key: anyone with this
// library can restore the text.
//
// Input domain: bytes 32 (blank) to 122 ('z').
//
// Both operations read exactly len bytes and write exactly len bytes; neither writes a
// terminator nor treats NUL specially. out may be the input buffer itself (in place), but buffers
// that overlap only in part give undefined results. Objects are read-only after construction,
// so one object may be shared by any number of threads. No call allocates or throws.
class HX_EXPORT QHxAsciiCrypt
{
  public:
    QHxAsciiCrypt();
    virtual ~QHxAsciiCrypt();

    // A byte outside 32..122 ('{', '|', '}', '~', control bytes, bytes of 128 or more) is copied
    // to out unchanged, and so may show up in the output.
    void Encrypt(const char* plain, char* out, unsigned int len);

    // A len of 0 or less writes nothing. A byte that does not occur in its position's row comes
    // back as the byte 31, so bytes that Encrypt copied unchanged do not survive a round trip
    // ('{', '|', '}' and '~' turn into whatever they stand for in their row; the rest into 31).
    void Decrypt(const char* scrambled, char* out, int len);

  private:
    // 91 characters and a NUL terminator; the last byte is spare.
    char m_rows[16][93];
};

#endif
