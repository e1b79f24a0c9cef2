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
        // As a byte: char is signed on x86 but unsigned on arm64, ppc64el and s390x.
        const unsigned char b = static_cast<unsigned char>(c);
        return b >= 128 || (b >= 32 && b <= 126);
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

// The key pinned: for each cipher, a text that puts every character of its domain at every row
// (each character 16 times running) and what it scrambles to, written out. Secrets already
// stored in configuration files were scrambled with these rows, so a change of any character
// of any row must fail here.
//
// And every length from 0 to 40: each prefix of a short text, which holds the domain's first
// and last characters at rows 0 and 1 of each run of sixteen, scrambles to the same prefix of
// its answer. A length that is not a multiple of 16 leaves a last piece of len % 16
// characters, which must go through rows 0, 1, ... as the whole text would.
TEST(CipherKnownAnswers, EveryRowScramblesAsItAlwaysHas)
{
    struct KnownAnswer {
        const char* cipher;
        int last; // the domain is 32..last
        std::string (*encrypt)(const std::string&);
        std::string (*decrypt)(const std::string&);
        const char* scrambled;
        std::string shortText; // 40 characters, and what they scramble to
        std::string shortScrambled;
    };
    const KnownAnswer answers[] = {
        {"QHxAsciiCrypt", cipher::Ascii::kLast, Encrypt<cipher::Ascii>, Decrypt<cipher::Ascii>,
         "w=<l9#VB3^$0H0nTzCuBjZ+:}!GT=_e6S{f#1BQmIH<|MF_,Lgl{sFKU;a)B1WU="
         "kY@sFa#GfhtUo*oD%*F3<[--BXArj($h+S8Z{Wk;?Pp>_b@#X!6!LRY`/jV-BRY?"
         "CH_HBiD&:K1pUe[vcLI~,14S@deP8VXSpKX[ud)E!$?/Q=u^1iQAx9J,X]gCw${["
         "B}Lcz<h{Ocq&41>]P+=OKbgxCkQ4^UfkADSuW4&|_U{{qYJo[fJ+Y{_wZpBu7G=F"
         "]ocg`|0[R`(e))yybnwSS6ED{tw^CuC-!v*KG&j=k5xhNEjty8$)mC9<.0K]EI}A"
         "963=#eUn4@J@$lv3tV2;Cct>jZMNI?-Nl7}0]pFyyI:,S%l*o`1}ImRZq{^g&.:7"
         "(J&.JDB]0+2J(!NYQ>KYe=Wj^2YMxsmgOqZ&h,]qb[NqvTpO4QN9=l,dY8.b9P.P"
         "^#/E/n.5#q4OpAb_rdvt23~@+)F}<9~QV|TL!wHbzFW_k&zw&AO:t;%/coLz;{A0"
         "T0%j-/2TGYTd2@4@f.nof>3Xu1SD.-V>#r-fN^p~FLn8W;kiJEaro_zamz8ns}D~"
         "_/t<P*n?pbRfJN,$>O;U:-cCHW93u<Ks2%Wz?TCcJ(!ILQ&M{liV@)P)%|zcVpF5"
         "<)E1&2^rhVc1!JB;85BC8A(}s9kK-M8x/4bFEzXoQef.A852Rc,I)J**aG0lTgGH"
         "st(a~GGuKx+H*:<`-9rDH@!$E<rRc4/:$kd%|hl6-TDt{59EYIG-[xI0,/ZE]iSc"
         "F$4,gK/e~?C<6CQq.,^Rp$S8WrHm/hTI?jM_vvA(vC#i0HEWM_5J$r`4D%X%gB)V"
         ")Mh7bj{htS=A@O7p=~:wOoxF&ydZar`Z7bH650r+lv}$:jLKGzs]cyO!VB-;y[I|"
         "02~h7k6L|D*=}niRhW9MaELf[sE?5D#mDG?(_L;z7>Os3v(G|m[b}QN18m/GZ~Pa"
         "6<oyT:5^<E&+Ro*dv]PdZ`TYLN6W>SdBK-`kquaV=3,9`2!zmU.x.sbvxga)rx0%"
         ":x#8i7>PT,>7~>]!;TYWr~ukw=y(OLr9a?C?UV[7N&oLd3?.3:z/6Syi*f7jP/Ml"
         "Zeq508i%57bFzwc/e;m43M:_i-uxnc%j5Rgv^Pw.94P5#axnEZ)@k+|gS.~Qh^qb"
         "~XA|Q%s9$w;w+tg<,17NnOM26J[XK#WU*pk$4g$sAu`#[mO{xByPD!dHrRs2fz3&"
         "}@ViM]fJP}5a%,R(Uup^Vq@tn~mkYfsX`&!qXUZA>MiSXX;1ja|e+?1#Mi_o|+au"
         "q3RGdHo32:I[bkh8nNeQR}}K1Av~D7weNwxny.vQd*@yG]24iP>*%Xml`lhYm6|}"
         "g(+XA57Ig_]!?`trI^U2;(<p(;%`lZ^)@y{`lN=MUQ3*,|H+ds0m*feRoOU6iqZL"
         "H[j>(t?O]6|vty1JuhDp>I8NenlVFK+fWF]TwYqW)#j:ed6C",
         "z Pack my box wiz five dozen jugz 09 @_`", "W=4W6!Vte^oot0ZUW=gNlMV%M#uSHm^bW=cY9/bP"},
        {"QHxSimpleCrypt", cipher::Simple::kLast, Encrypt<cipher::Simple>, Decrypt<cipher::Simple>,
         "I{J#o#Da^\\F\\I1)vbB09~`U:F}.|{@L80pm:C76'CF$Pl;r%{]LN>C'!G|4lpzQH"
         "i\\aS4Px|+HB3ZG'93\244:{}|s3ZJ($\")u?\"SE-1^>GaoX:,,tEDQ~x y2Mt*a1Jfg+"
         "&';yHQe2(\244=JDKkOf$U2U6\"h#X*avI;@J_T>=\244)XRaAXu*4{,JBkMh+ccmf&O(l_"
         ":L1Ow,g+/@-@\\A^dKv%n[*(V\"Br[VkD((4\"_I_|&*3T-%\\Ar?>8 FNp?V%)vTSSb"
         "qjc'{%CWks}eqcnY5IMb^m:L-q~H6\"..Ru=6eBIBu)w,Q3bo+z(?_xRE|7i)7<%$"
         "6=gIy\\XUE `Yosah72G=03k; >dh55YUyXNR,[V4Wev2--`urV433t.ds'SI`i#y"
         "28![k:v$__/Wy{K-gbw1L-K(\244{#E;uPtL hH9{ tN1|*@XU`]o#LGs$KOu^Bfbh*"
         "=CxPZp0QpxcwmxZWk6V@hDyie\"2b1U[e^qP,r185<#U}'qqiQx\\<#H[`v8sN9.~~"
         "':,YTgZS9ze8GVdl)rp(EGOq3Zg4:h_7NFbtv04p7VZjnC]}WPZd(uBY$Wk+!P\2441"
         "TK_;nU,j`$L=$Je,jtnXDl1FJytx.j\"cOhuJ]E@Zd;h\"Xn|C-5qF%LQ\\0Mm6kF>;"
         "YY{ed4A\244H^n5b$<X~f\244^.@-8MK;F8di\"_c?Da]7IfIygA^BF#?-c&.Mr1?9uj~2V"
         "AHf/<Ym.,4{]+77m8#>it;*Rwn:kgH,];yr$Own<T=\\\244>g\\'\2447XZKAf1;t,0)B!0"
         "dk*U/czb=!lZ<\244w/o;Op7~wnQU'D#%$)1OtzqKt@6,&qimNsS+ K'f!>}]%M/p(A"
         "lEv\244f<5J?6PTRNox$/z}@b?,xA87LRCQG|eCY?aPnbGO3Zcf`*}%lF~gP(>n4W/J"
         "m(AjJ2c^2g3AzO1DuiQqz'Skb<q_tT&&@mk0QSi6)R QF8{NPU5u\"$jl5Q_.?=@ "
         "4Ao.65`)&.uoPwz=H&Y!5WF-z`V~_aRah3<Abi\244}LPxKe`?BMlW*xjECUS1r]M3n"
         "<~/7SJ%xhf+ Ue6M/,^QV\"L0iNKfN/y\\zD6aWaGs@v\244C(lV[p.I~\\ qw~&Di&ov4"
         "*gy|Pe_/K+5!}rHT9``g2qlfD2QcE9*IUs@\";/o9ApNSY}O5vdl\\i}#[%:!t2y-q"
         "c^d)?rYNSDJ>BD9^>\"SfNo=e\\Tj< '+#EW]4m+;A>i<Ud:EK[NCw+V&DqY[s^0f6"
         "x!'BuMPTm/O'[vW<t09Wj=}]{wpzhEswse2lX>N\"lOM9=?}RV[+Vpd/#[L\"mx#0G"
         "\\%jE`8d{rC]yW Jjn<)G\244Zb_XlHp\244_5pwRRs*(TOYGY(w|8:!1.o$z3%!rz%~!Gz"
         "FaD&)T<*89oRs+mLZ}ihsX] BE@d0>x|X-3vBv\\7j5CGCQ S.@&5|9^ygkI?M4F2"
         " 9F`!IW~'0W#S2pP%w7+ARHo:h0VK6Tg}M$]Rkrmoj7`ctj!anHMcO9v4~RLHLMZ"
         "BT|8:)JHy-?^|[:\244e)Km8n{z.[6{a]=>CZ[rg&h=IcE/r&Ik|GsT-!uu]db;*YX3",
         "\177 Sphinx of blac\177 k quartz, judg\177 ~{|}!\"",
         "|{ E?oN~^LN\\(vy4|{C#\244XLO8j-\\d>Hq|{[M:nU'"},
    };
    for (const KnownAnswer& known : answers) {
        SCOPED_TRACE(known.cipher);
        std::string plain;
        for (int c = 32; c <= known.last; ++c)
            plain += std::string(16, static_cast<char>(c));
        EXPECT_EQ(known.encrypt(plain), known.scrambled);
        EXPECT_EQ(known.decrypt(known.scrambled), plain);

        ASSERT_EQ(known.shortText.size(), 40u);
        for (size_t length = 0; length <= 40; ++length) {
            SCOPED_TRACE(length);
            const std::string text = known.shortText.substr(0, length);
            const std::string scrambled = known.shortScrambled.substr(0, length);
            EXPECT_EQ(known.encrypt(text), scrambled);
            EXPECT_EQ(known.decrypt(scrambled), text);
        }
    }
}

} // namespace
