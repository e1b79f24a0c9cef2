// The substitution both ciphers share, written once over rows of any length. Internal to the
// library: not installed, and nothing here is exported.
#ifndef HXCONSOLE_ROWCIPHER_H
#define HXCONSOLE_ROWCIPHER_H

#include <cstring>

namespace rowcipher
{

constexpr int kRows = 16;
constexpr int kFirst = 32; // the character that row position 0 stands for

// The first position below n at which row holds exactly c, or -1.
constexpr int IndexOf(char c, const char* row, int n)
{
    for (int k = 0; k < n; ++k)
        if (row[k] == c)
            return k;
    return -1;
}

// Encrypt and Decrypt read only the tables below, never the m_rows arrays of the objects. The
// arrays stay because the size and layout of QHxSimpleCrypt and QHxAsciiCrypt are compiled into
// every caller that builds one: without them, a program built against an earlier version would
// break. They are filled as before, so an object holds what it always held.
template <int kArray, int kTextSize>
void FillRows(char (&rows)[kRows][kArray], const char (&text)[kRows][kTextSize])
{
    static_assert(kTextSize <= kArray, "a row and its terminator must fit the array");
    memset(rows, 0, sizeof rows);
    for (int r = 0; r < kRows; ++r)
        memcpy(rows[r], text[r], sizeof text[r]);
}

// What each byte becomes at each row, for one direction: byte[r][b] is what b turns into at a
// text position p with p mod 16 = r. Built at compile time from the same constant rows the
// constructors copy, so it is never written at run time and any number of threads may read it.
struct ByteTable {
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

// Encrypt's table: a character k + 32 of the domain becomes row position k. A byte outside
// the domain (past the end of the row, or 128 and above) stays as it is, so that nothing is
// ever read outside the rows.
template <int kTextSize>
constexpr ByteTable Forward(const char (&text)[kRows][kTextSize])
{
    ByteTable forward{};
    for (int r = 0; r < kRows; ++r) {
        for (int b = 0; b < 256; ++b)
            forward.byte[r][b] = static_cast<char>(b);
        const int n = RowLength(text[r]);
        for (int k = 0; k < n && k + kFirst < 128; ++k)
            forward.byte[r][k + kFirst] = text[r][k];
    }
    return forward;
}

// Decrypt's table: a byte becomes its row position plus 32, or 31 (-1 + 32) when the row does
// not hold it. Each byte of a row is looked up with IndexOf, so that a byte a row held twice
// would decrypt to its first position, as a search would find it.
template <int kTextSize>
constexpr ByteTable Inverse(const char (&text)[kRows][kTextSize])
{
    ByteTable inverse{};
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

inline char Lookup(const char (&row)[256], char c)
{
    return row[static_cast<unsigned char>(c)];
}

// One table lookup per character. Sixteen characters at a time, one per row, unrolled: each
// row's place is then a constant, where working it out per character would cost more than
// the lookup itself. Each input byte is read before its output byte is written, and no other,
// so `out` may be `in`.
inline void Apply(const ByteTable& table, const char* in, char* out, unsigned int len)
{
    const char* const end = in + len;
    for (; end - in >= kRows; in += kRows, out += kRows) {
#pragma GCC unroll 16
        for (int r = 0; r < kRows; ++r)
            out[r] = Lookup(table.byte[r], in[r]);
    }
    // Fewer than sixteen are left, from row 0 on.
    for (const char(*row)[256] = table.byte; in < end; ++in, ++out, ++row)
        *out = Lookup(*row, *in);
}

} // namespace rowcipher

#endif
