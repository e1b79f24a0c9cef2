// The substitution both ciphers share, written once over rows of any length. Internal to the
// library: not installed, and nothing here is exported.
#ifndef HXCONSOLE_ROWCIPHER_H
#define HXCONSOLE_ROWCIPHER_H

#include <cstring>

namespace rowcipher
{

constexpr int kRows = 16;
constexpr int kFirst = 32; // the character that row position 0 stands for

// Decrypt builds a 4 KiB inverse table on the stack only for texts at least this long: filling
// it costs about as much as 250 memchr searches of a row, the way shorter texts are decrypted.
constexpr int kInverseTableMinLength = 256;

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

template <IndexOfFunction IndexOf, int kArray>
void Decrypt(const char (&rows)[kRows][kArray], const char* scrambled, char* out, int len)
{
    if (len <= 0)
        return;
    const int rowsUsed = len < kRows ? len : kRows;
    int rowLength[kRows];
    for (int r = 0; r < rowsUsed; ++r)
        rowLength[r] = static_cast<int>(strlen(rows[r]));

    if (len < kInverseTableMinLength) {
        for (int i = 0; i < len; ++i) {
            const int r = i % kRows;
            out[i] = static_cast<char>(IndexOf(scrambled[i], rows[r], rowLength[r]) + kFirst);
        }
        return;
    }

    // inverse[r][b] is what byte b decrypts to in row r. Filling each row from its end lets
    // the first occurrence of a repeated byte win, as IndexOf would; absent bytes keep -1 + 32.
    char inverse[kRows][256];
    memset(inverse, kFirst - 1, sizeof inverse[0] * static_cast<size_t>(rowsUsed));
    for (int r = 0; r < rowsUsed; ++r)
        for (int k = rowLength[r] - 1; k >= 0; --k)
            inverse[r][static_cast<unsigned char>(rows[r][k])] = static_cast<char>(k + kFirst);
    for (int i = 0; i < len; ++i)
        out[i] = inverse[i % kRows][static_cast<unsigned char>(scrambled[i])];
}

} // namespace rowcipher

#endif
