// The substitution both ciphers share, written once over rows of any length. Internal to the
// library: not installed, and nothing here is exported.
#ifndef HXCONSOLE_ROWCIPHER_H
#define HXCONSOLE_ROWCIPHER_H

#include <cstring>

namespace rowcipher
{

constexpr int kRows = 16;
constexpr int kFirst = 32; // the character that row position 0 stands for

// Each cipher's own search of a row: the first position below n holding exactly c, or -1.
using IndexOfFunction = int (*)(char c, const char* row, int n);

template <int kArray, int kTextSize>
void FillRows(char (&rows)[kRows][kArray], const char (&text)[kRows][kTextSize])
{
    static_assert(kTextSize <= kArray, "a row and its terminator must fit the array");
    memset(rows, 0, sizeof rows);
    for (int r = 0; r < kRows; ++r)
        memcpy(rows[r], text[r], sizeof text[r]);
}

// Characters outside the domain (those at or past the end of a row) are copied unchanged, so
// that nothing is ever read outside the rows.
template <int kArray>
void Encrypt(const char (&rows)[kRows][kArray], int rowLength, const char* plain, char* out,
             unsigned int len)
{
    for (unsigned int i = 0; i < len; ++i) {
        // char is signed here: bytes of 128 or more come out negative and stay outside.
        const int k = static_cast<signed char>(plain[i]) - kFirst;
        out[i] = (k >= 0 && k < rowLength) ? rows[i % kRows][k] : plain[i];
    }
}

// What each byte decrypts to at each row: byte[r][b] is the row position of b plus 32, or 31
// (-1 + 32) for a byte the row does not hold. Built at compile time from the same constant
// rows the constructors copy, so it is never written at run time and any number of threads
// may read it.
struct InverseRows {
    char byte[kRows][256];
};

template <int kTextSize>
constexpr int RowLength(const char (&row)[kTextSize])
{
    int n = 0;
    while (n < kTextSize && row[n] != '\0')
        ++n;
    return n;
}

// Each byte of a row is looked up with the cipher's own IndexOf, so that a byte a row held
// twice would decrypt to its first position, as a search would find it.
template <IndexOfFunction IndexOf, int kTextSize>
constexpr InverseRows Invert(const char (&text)[kRows][kTextSize])
{
    InverseRows inverse{};
    for (int r = 0; r < kRows; ++r) {
        for (int b = 0; b < 256; ++b)
            inverse.byte[r][b] = kFirst - 1;
        const int n = RowLength(text[r]);
        for (int k = 0; k < n; ++k) {
            const int position = IndexOf(text[r][k], text[r], n);
            inverse.byte[r][static_cast<unsigned char>(text[r][k])] =
                static_cast<char>(position + kFirst);
        }
    }
    return inverse;
}

// One table lookup per character, whatever the length, as Encrypt.
inline void Decrypt(const InverseRows& inverse, const char* scrambled, char* out, int len)
{
    if (len <= 0)
        return;
    const unsigned int count = static_cast<unsigned int>(len);
    for (unsigned int i = 0; i < count; ++i)
        out[i] = inverse.byte[i % kRows][static_cast<unsigned char>(scrambled[i])];
}

} // namespace rowcipher

#endif
