// Both ciphers on any bytes of any length, into a separate buffer and in place.
//
// Every buffer is a heap block of exactly the text's length, so that a read or write one byte
// past it is an AddressSanitizer report. Beyond memory safety the target checks what holds for
// every input: in place equals out of place, bytes outside the input domain pass Encrypt
// unchanged, Decrypt yields only 31 (not in the row) or a domain character, a length of 0 or
// less writes nothing, and every text of domain characters survives Encrypt then Decrypt.
#include "QAsciiCrypt.h"
#include "QSimpleCrypt.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{

void Require(bool holds, const char* cipher, const char* what)
{
    if (holds)
        return;
    fprintf(stderr, "%s: %s\n", cipher, what);
    abort();
}

struct Simple {
    using Type = QHxSimpleCrypt;
    static constexpr const char* kName = "QHxSimpleCrypt";
    static constexpr int kLast = 127;
    static bool Produces(unsigned char c)
    {
        return (c >= 32 && c <= 126) || c == 0xA4;
    }
};

struct Ascii {
    using Type = QHxAsciiCrypt;
    static constexpr const char* kName = "QHxAsciiCrypt";
    static constexpr int kLast = 122;
    static bool Produces(unsigned char c)
    {
        return c >= 33 && c <= 126 && c != '"' && c != '\'' && c != '\\';
    }
};

bool InDomain(unsigned char c, int last)
{
    return c >= 32 && c <= last;
}

// A block of exactly `size` bytes: no slack for an overrun to hide in.
std::unique_ptr<char[]> Copy(const char* data, size_t size)
{
    std::unique_ptr<char[]> block(new char[size]);
    if (size > 0)
        memcpy(block.get(), data, size);
    return block;
}

template <class C>
void EncryptAnyBytes(typename C::Type& cipher, const char* text, unsigned int len)
{
    std::unique_ptr<char[]> out(new char[len]);
    cipher.Encrypt(text, out.get(), len);
    for (unsigned int i = 0; i < len; ++i) {
        unsigned char in = static_cast<unsigned char>(text[i]);
        unsigned char got = static_cast<unsigned char>(out[i]);
        if (InDomain(in, C::kLast))
            Require(C::Produces(got), C::kName, "Encrypt produced a byte outside its alphabet");
        else
            Require(got == in, C::kName, "Encrypt changed a byte outside its domain");
    }

    std::unique_ptr<char[]> inPlace = Copy(text, len);
    cipher.Encrypt(inPlace.get(), inPlace.get(), len);
    Require(len == 0 || memcmp(inPlace.get(), out.get(), len) == 0, C::kName,
            "Encrypt in place differs from Encrypt into another buffer");
}

template <class C>
void DecryptAnyBytes(typename C::Type& cipher, const char* text, int len)
{
    std::unique_ptr<char[]> out(new char[len]);
    cipher.Decrypt(text, out.get(), len);
    for (int i = 0; i < len; ++i) {
        unsigned char got = static_cast<unsigned char>(out[i]);
        Require(got == 31 || InDomain(got, C::kLast), C::kName,
                "Decrypt produced a byte that no character of the domain stands for");
    }

    std::unique_ptr<char[]> inPlace = Copy(text, static_cast<size_t>(len));
    cipher.Decrypt(inPlace.get(), inPlace.get(), len);
    Require(len == 0 || memcmp(inPlace.get(), out.get(), static_cast<size_t>(len)) == 0, C::kName,
            "Decrypt in place differs from Decrypt into another buffer");

    // Decrypt's length is signed: zero and below mean nothing to do, not a huge count.
    char untouched[4] = {'#', '#', '#', '#'};
    cipher.Decrypt(text, untouched, -len - 1);
    cipher.Decrypt(text, untouched, 0);
    Require(memcmp(untouched, "####", 4) == 0, C::kName, "Decrypt wrote with a length below 1");
}

// The fuzz bytes folded into the domain, then Encrypt and Decrypt, each in place or not as the
// first byte says.
template <class C>
void RoundTrip(typename C::Type& cipher, const char* text, unsigned int len, bool inPlace)
{
    const int domain = C::kLast - 31;
    std::unique_ptr<char[]> plain(new char[len]);
    for (unsigned int i = 0; i < len; ++i)
        plain[i] = static_cast<char>(32 + static_cast<unsigned char>(text[i]) % domain);

    std::unique_ptr<char[]> work = Copy(plain.get(), len);
    std::unique_ptr<char[]> other(new char[len]);
    char* scrambled = inPlace ? work.get() : other.get();
    cipher.Encrypt(work.get(), scrambled, len);
    cipher.Decrypt(scrambled, work.get(), static_cast<int>(len));
    Require(len == 0 || memcmp(work.get(), plain.get(), len) == 0, C::kName,
            "a text of domain characters did not survive Encrypt then Decrypt");
}

template <class C>
void Exercise(const char* text, unsigned int len, bool inPlace)
{
    // A fresh object each time, so construction is exercised as well.
    typename C::Type cipher;
    EncryptAnyBytes<C>(cipher, text, len);
    DecryptAnyBytes<C>(cipher, text, static_cast<int>(len));
    RoundTrip<C>(cipher, text, len, inPlace);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Texts are short in practice; a cap keeps the int length of Decrypt honest.
    if (size > 1 << 20)
        return 0;
    const char* text = reinterpret_cast<const char*>(data);
    const unsigned int len = static_cast<unsigned int>(size);
    const bool inPlace = size > 0 && (data[0] & 1) != 0;

    Exercise<Simple>(text, len, inPlace);
    Exercise<Ascii>(text, len, inPlace);
    return 0;
}
