#include "QAsciiCrypt.h"
#include "QSimpleCrypt.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <string>
#include <vector>

// The namespace puts "cipher" into every CTest name (CipherTest.Name<cipher::Simple>), so that
// `ctest -R cipher` selects these tests.
namespace cipher
{

// Domain 32..127; every row holds 32..126 and one byte of 128 or more.
struct Simple {
    using Type = QHxSimpleCrypt;
    static constexpr int kLast = 127;
    static std::string Required()
    {
        std::string printable;
        for (int c = 32; c <= 126; ++c) {
            printable += static_cast<char>(c);
        }
        return printable;
    }
    static bool MayHold(char c)
    {
        return c < 0 || (c >= 32 && c <= 126);
    }
};

// Domain 32..122; every row holds visible characters only, never a blank.
struct Ascii {
    using Type = QHxAsciiCrypt;
    static constexpr int kLast = 122;
    static std::string Required()
    {
        return "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    }
    static bool MayHold(char c)
    {
        return c >= 33 && c <= 126;
    }
};

} // namespace cipher

namespace
{

template <class T>
constexpr int kDomain = T::kLast - 31;

template <class T>
bool InDomain(int b)
{
    return b >= 32 && b <= T::kLast;
}

template <class T>
std::string Encrypt(const std::string& plain)
{
    typename T::Type cipher;
    std::string out(plain.size(), '\0');
    cipher.Encrypt(plain.data(), &out[0], static_cast<unsigned int>(plain.size()));
    return out;
}

template <class T>
std::string Decrypt(const std::string& scrambled)
{
    typename T::Type cipher;
    std::string out(scrambled.size(), '\0');
    cipher.Decrypt(scrambled.data(), &out[0], static_cast<int>(scrambled.size()));
    return out;
}

// Every domain character at every row: position 16 * k + r holds the character k + 32.
template <class T>
std::string AllPairs()
{
    std::string text;
    for (int k = 0; k < kDomain<T>; ++k) {
        text += std::string(16, static_cast<char>(k + 32));
    }
    return text;
}

// The 16 rows as Encrypt shows them: rows[r][k] is the substitute for k + 32 at row r.
template <class T>
std::vector<std::string> Rows()
{
    const std::string out = Encrypt<T>(AllPairs<T>());
    std::vector<std::string> rows(16);
    for (size_t i = 0; i < out.size(); ++i) {
        rows[i % 16] += out[i];
    }
    return rows;
}

template <class T>
std::string RandomDomainText(std::mt19937& rng, size_t len)
{
    std::uniform_int_distribution<int> pick(32, T::kLast);
    std::string text(len, '\0');
    for (char& c : text) {
        c = static_cast<char>(pick(rng));
    }
    return text;
}

template <class T>
class CipherTest : public ::testing::Test
{
};
using Ciphers = ::testing::Types<cipher::Simple, cipher::Ascii>;
TYPED_TEST_SUITE(CipherTest, Ciphers);

TYPED_TEST(CipherTest, RowsAreDistinctPermutationsOfOneSet)
{
    const std::vector<std::string> rows = Rows<TypeParam>();
    const std::set<char> first(rows[0].begin(), rows[0].end());
    EXPECT_EQ(first.size(), size_t(kDomain<TypeParam>)) << "row 0 repeats a character";
    EXPECT_EQ(first.count('\0'), 0u);
    for (int r = 0; r < 16; ++r) {
        EXPECT_EQ(std::set<char>(rows[r].begin(), rows[r].end()), first) << "row " << r;
        for (int s = 0; s < r; ++s) {
            EXPECT_NE(rows[r], rows[s]) << "rows " << s << " and " << r;
        }
    }
}

// With the test above this pins each class's set: one high byte in QHxSimpleCrypt, 29
// punctuation characters in QHxAsciiCrypt, whose output is thereby visible ASCII only.
TYPED_TEST(CipherTest, RowsHoldTheirClassCharactersAndNoOthers)
{
    for (const std::string& row : Rows<TypeParam>()) {
        for (char c : row) {
            EXPECT_TRUE(TypeParam::MayHold(c)) << "byte " << int(static_cast<unsigned char>(c));
        }
        for (char c : TypeParam::Required()) {
            EXPECT_NE(row.find(c), std::string::npos) << "'" << c << "' missing";
        }
    }
}

TYPED_TEST(CipherTest, RoundTripRestoresTheDomainAtEveryRow)
{
    std::string domain;
    for (int c = 32; c <= TypeParam::kLast; ++c) {
        domain += static_cast<char>(c);
    }
    EXPECT_EQ(Decrypt<TypeParam>(Encrypt<TypeParam>(domain)), domain);
    const std::string pairs = AllPairs<TypeParam>();
    EXPECT_EQ(Decrypt<TypeParam>(Encrypt<TypeParam>(pairs)), pairs);
}

TYPED_TEST(CipherTest, RandomTextsRoundTrip)
{
    std::mt19937 rng(20240521);
    std::uniform_int_distribution<size_t> length(0, 300);
    for (int n = 0; n < 2000; ++n) {
        const std::string text = RandomDomainText<TypeParam>(rng, length(rng));
        ASSERT_EQ(Decrypt<TypeParam>(Encrypt<TypeParam>(text)), text);
    }
}

TYPED_TEST(CipherTest, PositionsSixteenApartShareARow)
{
    for (int c = 32; c <= TypeParam::kLast; ++c) {
        const std::string out = Encrypt<TypeParam>(std::string(17, static_cast<char>(c)));
        EXPECT_EQ(out[0], out[16]) << "character " << c;
    }
}

TYPED_TEST(CipherTest, InPlaceMatchesSeparateBuffers)
{
    std::mt19937 rng(7);
    typename TypeParam::Type cipher;
    for (size_t len : {5, 20, 300}) {
        const std::string plain = RandomDomainText<TypeParam>(rng, len);
        std::string text = plain;
        cipher.Encrypt(&text[0], &text[0], static_cast<unsigned int>(len));
        EXPECT_EQ(text, Encrypt<TypeParam>(plain));
        const std::string scrambled = text;
        cipher.Decrypt(&text[0], &text[0], static_cast<int>(len));
        EXPECT_EQ(text, Decrypt<TypeParam>(scrambled));
        EXPECT_EQ(text, plain);
    }
}

// Every byte at every row, against the rows Encrypt shows: bytes missing from their row give 31
// between correctly restored neighbours, in one long text and in 16-byte pieces alike.
TYPED_TEST(CipherTest, DecryptGivesRowPositionPlus32Or31)
{
    const std::vector<std::string> rows = Rows<TypeParam>();
    std::string text, expected;
    for (int b = 0; b < 256; ++b) {
        for (int r = 0; r < 16; ++r) {
            const size_t k = rows[r].find(static_cast<char>(b));
            text += static_cast<char>(b);
            expected += static_cast<char>(k == std::string::npos ? 31 : k + 32);
        }
    }
    EXPECT_EQ(Decrypt<TypeParam>(text), expected);
    for (size_t i = 0; i < text.size(); i += 16) {
        EXPECT_EQ(Decrypt<TypeParam>(text.substr(i, 16)), expected.substr(i, 16))
            << "byte " << i / 16;
    }
}

TYPED_TEST(CipherTest, WritesExactlyLenBytes)
{
    typename TypeParam::Type cipher;
    const std::string input(400, 'a');
    const std::string guard(400, '\x5a');
    for (int len : {0, -1, -16, INT_MIN}) {
        std::string out = guard;
        cipher.Decrypt(input.data(), &out[0], len);
        EXPECT_EQ(out, guard) << "Decrypt length " << len;
    }
    for (int len : {0, 3, 300}) {
        std::string out = guard;
        cipher.Encrypt(input.data(), &out[0], len);
        EXPECT_EQ(out.substr(len), guard.substr(len)) << "Encrypt length " << len;
        out = guard;
        cipher.Decrypt(input.data(), &out[0], len);
        EXPECT_EQ(out.substr(len), guard.substr(len)) << "Decrypt length " << len;
    }
}

TYPED_TEST(CipherTest, EncryptCopiesBytesOutsideTheDomain)
{
    std::string text;
    for (int b = 0; b < 256; ++b) {
        if (!InDomain<TypeParam>(b)) {
            text += std::string(16, static_cast<char>(b)); // at each row
        }
    }
    EXPECT_EQ(Encrypt<TypeParam>(text), text);
}

} // namespace
