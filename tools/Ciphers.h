// Ciphers: the library's ciphers as the tools offer them, one row each, and the sets of bytes
// each takes and writes. A cipher the library gains is one more row here.
#ifndef HXCONSOLE_TOOLS_CIPHERS_H
#define HXCONSOLE_TOOLS_CIPHERS_H

#include "QAsciiCrypt.h"
#include "QSimpleCrypt.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace hxtool
{

// The library's calls take an unsigned or an int length, so a longer text goes in pieces. Each
// piece starts at a multiple of 16, and so at the row the whole text would use there.
const size_t kCipherPiece = size_t(1) << 30;

// Both directions over a text of any length; `out` may be `in`. One object serves every call:
// it is read-only once built.
template <class Library, bool kEncrypt>
void CipherWith(const char* in, char* out, size_t length)
{
    static Library cipher;
    for (size_t done = 0; done < length; done += kCipherPiece) {
        const size_t piece = std::min(kCipherPiece, length - done);
        if constexpr (kEncrypt)
            cipher.Encrypt(in + done, out + done, static_cast<unsigned int>(piece));
        else
            cipher.Decrypt(in + done, out + done, static_cast<int>(piece));
    }
}

struct Cipher {
    const char* className; // the library's class: "QHxAsciiCrypt"
    const char* name;      // how complaints name it: "the ASCII cipher"
    const char* option;    // the long option that picks it (simple: --simple); null for the default
    const char* range;     // how complaints word the characters it takes
    // It takes the characters first..last.
    unsigned char first;
    unsigned char last;
    bool hex; // its output can hold bytes a text file cannot, so it is always written as hex
    void (*encrypt)(const char* in, char* out, size_t length);
    void (*decrypt)(const char* in, char* out, size_t length);
};

// The default first.
inline const Cipher kCiphers[] = {
    {"QHxAsciiCrypt", "the ASCII cipher", nullptr,
     "a blank to 'z'; --simple takes all printable ASCII", ' ', 'z', false,
     CipherWith<QHxAsciiCrypt, true>, CipherWith<QHxAsciiCrypt, false>},
    {"QHxSimpleCrypt", "the simple cipher", "simple", "printable ASCII and DEL", ' ', 127, true,
     CipherWith<QHxSimpleCrypt, true>, CipherWith<QHxSimpleCrypt, false>},
};

// A set of bytes, such as the characters a cipher takes, as a table. A range less three bytes
// at most, as each cipher's input and output are, is checked sixteen bytes at a time too:
// every byte of a stream passes through here.
class ByteSet
{
  public:
    template <class Predicate>
    explicit ByteSet(Predicate holds)
    {
        int low = 256, high = -1;
        for (int b = 0; b < 256; ++b) {
            m_holds[b] = holds(static_cast<unsigned char>(b));
            if (m_holds[b]) {
                low = std::min(low, b);
                high = b;
            }
        }
        // Unused gaps hold a byte below the range, which the range refuses anyway.
        memset(m_gaps, low - 1, sizeof m_gaps);
        size_t gaps = 0;
        for (int b = low; b < high; ++b)
            if (!m_holds[b] && gaps++ < kMostGaps)
                m_gaps[gaps - 1] = static_cast<unsigned char>(b);
        m_wide = low <= high && gaps <= kMostGaps;
        m_low = static_cast<unsigned char>(low);
        m_span = static_cast<unsigned char>(high - low);
    }

    static ByteSet Taken(const Cipher& cipher)
    {
        return ByteSet(
            [&cipher](unsigned char c) { return c >= cipher.first && c <= cipher.last; });
    }

    // The bytes `cipher` writes: decrypt answers a byte below first for one its row does not
    // hold, and every row holds the same bytes, so those that row 0 restores are all it writes.
    static ByteSet Written(const Cipher& cipher)
    {
        return ByteSet([&cipher](unsigned char c) {
            unsigned char restored;
            cipher.decrypt(reinterpret_cast<const char*>(&c), reinterpret_cast<char*>(&restored),
                           1);
            return restored >= cipher.first && restored <= cipher.last;
        });
    }

    // The offset of the first byte of `text` outside the set, or `length`. Sixteen bytes or more
    // are looked at sixteen at a time, the last sixteen overlapping those before if need be.
    size_t FirstOutside(const char* text, size_t length) const
    {
        size_t i = 0;
        for (bool wide = m_wide && length >= 16; wide && AllIn(text + i);
             i = std::min(i + 16, length - 16)) {
            if (i + 16 == length)
                return length;
        }
        while (i < length && m_holds[static_cast<unsigned char>(text[i])])
            ++i;
        return i;
    }

  private:
    static const size_t kMostGaps = 3;

    // GCC's vector extensions, which every target compiles. The vector types stay inside: as
    // parameters they would change the calling convention on some targets. b - low wraps the
    // bytes below the range round to the top, so one unsigned comparison finds both its ends.
    bool AllIn(const char* sixteen) const
    {
        typedef unsigned char Bytes __attribute__((vector_size(16)));
        typedef unsigned long long Halves __attribute__((vector_size(16)));
        Bytes b;
        memcpy(&b, sixteen, sizeof b);
        Bytes out = (Bytes)(b - m_low > m_span);
        for (unsigned char gap : m_gaps)
            out |= (Bytes)(b == gap);
        const Halves halves = (Halves)out;
        return (halves[0] | halves[1]) == 0;
    }

    bool m_holds[256];
    bool m_wide;
    unsigned char m_low;
    unsigned char m_span;
    unsigned char m_gaps[kMostGaps];
};

} // namespace hxtool

#endif
