#ifndef HXCONSOLE_QSIMPLECRYPT_H
#define HXCONSOLE_QSIMPLECRYPT_H

#ifndef HX_EXPORT
#define HX_EXPORT __attribute__((visibility("default")))
#endif

// Position-keyed substitution over printable ASCII: the character at position i is replaced
// through one of 16 fixed rows, row i mod 16, so the output has the same length as the input.
//
// This keeps a text out of plain sight; it is NOT encryption. There is no key: anyone with this
// library can restore the text.
//
// Input domain: bytes 32..127. Output: printable ASCII plus the byte 0xA4, the one byte above 127
// in every row, which stands for a character that depends on the position ("O" at position 0,
// "%" at position 1). A scrambled text can therefore hold a byte that is not valid UTF-8:
// store it as binary, or as hex.
//
// Both operations read exactly len bytes and write exactly len bytes; neither writes a
// terminator nor treats NUL specially. out may be the input buffer itself (in place), but buffers
// that overlap only in part give undefined results. Objects are read-only after construction,
// so one object may be shared by any number of threads. No call allocates or throws.
class HX_EXPORT QHxSimpleCrypt
{
  public:
    QHxSimpleCrypt();
    virtual ~QHxSimpleCrypt();

    // A byte outside 32..127 (control bytes, bytes of 128 or more) is copied to out unchanged.
    void Encrypt(const char* plain, char* out, unsigned int len);

    // A len of 0 or less writes nothing. A byte that does not occur in its position's row comes
    // back as the byte 31, so bytes that Encrypt copied unchanged do not survive a round trip
    // (all become 31, except 0xA4, which becomes its position's character).
    void Decrypt(const char* scrambled, char* out, int len);

  private:
    // 96 characters and a NUL terminator; the last two bytes are spare.
    char m_rows[16][99];
};

#endif
