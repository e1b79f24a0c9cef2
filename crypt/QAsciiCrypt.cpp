#include "QAsciiCrypt.h"

#include "RowCipher.h"

namespace
{

using rowcipher::kRows;
constexpr int kRowLength = 91;

// Every row holds the 91 visible characters other than '"', '\'' and '\\', so that scrambled
// text can stand between quotes in a string literal or a configuration file without escapes.
// Position k is the substitute for the character k + 32.
constexpr char kRowText[kRows][kRowLength + 1] = {
    "wzSLk%+XCcp1BPA[]b!y9tlo(QO4^rV&Tf#J_>2{<8/Rs"
    "-$YF.?M)=7G0hD|6vKm:;a3Ze5E~,*x}U`jqnNigI@dHuW",
    "=C{gY*S!HLKi}+Dfonv86V7`J>qQ#d|A0.rE/O%l)54ct"
    "9kI$,j_M~bz2WGm<]-UxT?:e;RZX1pB@u&a3NwP(^ys[hF",
    "<ufl@F86_IXQL=SJcw*$32}1&KZN/vTO%n-at;WiEBb,("
    "rdG4^M5h:Hs~9?[oP`.#YCzqmg)A7kyVp!|Rex>+U{0jD]",
    "lB#{s3Z!H~[AcOu+gSK)=;0}.Y&9EtL:jofr<UzV1CFIa"
    "D%-,R_J7w6]hM(bydkx8W?/54v@|N$Pi^qeGQn*X2`m>pT",
    "9j1sF<{LB,uxzKWY`SGm#C]IJeh=/2!t-fNoP:?@&8E)~"
    "H|[gpv$bO5c7a_}TZq.irU603^kQn4DMVX+dRy%A;l*(>w",
    "#ZBFa[WRi1d9<b4{|6&CecpmD=,ln3w;/>^_*-T)2AzJG"
    "@hxK$vrjo0ykELQ:`us7~VS8MP+%Og!]qU?H}.X5(NftIY",
    "V+QK#-kYD4)Jhg&_0Ej9UtFRBW],.~H%23pzncCP^(X*G"
    "!lI/SA`{xrO6L;N5Tab>u[yi:w|sM$df@Z1o}vm7<=e?8q",
    "B:mUG-;`&SE,{x|w[D=<n>yZ]jqd5@b/TX~a?Cc)r}o*u"
    "$60e8(4hF+!Lfz1^YVvPk7i%_.g92sHJtA#3KQlIpMRONW",
    "3}I;fB?/:@!XOC_ZR{k.4jyq0^bY#+zcGuFmpHJ%hsQaK"
    "E-,~WvDt&lV|[78<L=xTwN*5i9S$6ArPn>M21d`g(Uo]e)",
    "^!HahXPjKd$]ckUp`t50@ZI{+2[8q)FoY1LzbW(|V9eGx"
    "<T/?rC%SyvBDs>mEN3g,=&f7-4.wJuR}~Mi:A*l_;QO6n#",
    "$G<)tApV1e?gqQ{B(wxKJM:^2YN.4FWLTSn8R9!zckf0+"
    "rDZCH#X=d}-*EO/&6,a>yo7buP~;[`s5mi_Iv@h]%3U|lj",
    "0T|BUr>-pP/C&4{ue^h]@N,gJMqbO}_zdD8nf3Ic1K.lH"
    "RtE<mi%AZ$;=?sG+W9)7(LjFx5QwX#2akSo[~yY!`*6vV:",
    "H=M1oj_BU8Qw4^q7)CNE$IS&(xv9p<k;2.WsJuLV!-AT*"
    "c{]6/0g@a:y}53ZR>`r~OdPzn#h+K[f%YX|bDGm?l,itFe",
    "0_FW*(bReV=$1UYG)uEIl?%.!sTPA9&{@-;}N<QpJM8g:"
    "45iChHBOrj[nDv~oS2x>L3/wca^t#mz,fX+k7]6`Z|qyKd",
    "ne_Uo$@Y[Xu{>fJ=yCj}v-l:Nmp.b~zA4VkD,K&FB85G<"
    "/9SQTE)7`LIi#(P*d!0]r?Mc%xqgWO3Rs;ahw2|t^HZ1+6",
    "T6,=Dh#?vS^[]koFy-tA3N*7YgOP_Qw0@>i~$sM5;x2H`"
    ":EcqIWVpZK|RmGadBz%!9.l/jnb<U{&(X1u8e4}r)+LJfC",
};

constexpr rowcipher::ByteTable kForward = rowcipher::Forward(kRowText);
constexpr rowcipher::ByteTable kInverse = rowcipher::Inverse(kRowText);

} // namespace

QHxAsciiCrypt::QHxAsciiCrypt()
{
    rowcipher::FillRows(m_rows, kRowText);
}

QHxAsciiCrypt::~QHxAsciiCrypt() {}

void QHxAsciiCrypt::Encrypt(const char* plain, char* out, unsigned int len)
{
    rowcipher::Apply(kForward, plain, out, len);
}

void QHxAsciiCrypt::Decrypt(const char* scrambled, char* out, int len)
{
    // A len of 0 or less writes nothing.
    if (len > 0)
        rowcipher::Apply(kInverse, scrambled, out, static_cast<unsigned int>(len));
}
