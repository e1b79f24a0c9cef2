#include "QSimpleCrypt.h"

#include "RowCipher.h"

namespace
{

using rowcipher::kRows;
constexpr int kRowLength = 96;

// Every row holds 32..126 once and 0xA4 (written in octal: a hex escape would swallow the next
// character when it is a hex digit). Position k is the substitute for the character k + 32.
constexpr char kRowText[kRows][kRowLength + 1] = {
    "Ib0{i3\"D&fJ,:K(?q5R+67yr2gL]=k^Q')NWTjO-Y~_#A8;\244"
    "do1Sl$G`mu@P4HhM</zp*9Uvc>E[xtsV\\nw!FZX. %}aBeC|",
    "{Bp]\\\244SQ'$_JLv4>jIuz=2XV8b oC6qx:rFPKth5Yfc?H#y7"
    "k;O+E/|*(imUA&3l~,D.g`sd^\"WN!0e[%<R1a}-@9wMnT)ZG",
    "J0mLa:E~;UTB1%\"8cM=(gGN4!wh#xVP\\,pbZ_nuq{\244?-f>rX"
    "*Ot vze}AQk5oY<W/^6Iy`@ldS]C'92+j)R.Di3&F7$H|K[s",
    "#9:NS{-xy2>kOn_ 'b6?I=R3[1HLP@,<Y(td;XJFe^Dc/i$Z"
    "UpzK\244}C%jq0u.!A*7Qa~|g\"\\)f4wBWlVEGso&hv5`+]M8mrT",
    "o~C>4}1 HU=Mw[IF{^e_y0,3kL9GZhr#TEv(nD]%d.a&<tOK"
    "/7q'f@YlJzQ\"65bxSVW\\P2;i?Nm+ujXp`\244*$)sB|!ARc:8g-",
    "#`7CP|^yQ6\244h,*_N%mBx\\3[t:-{spD1HgG0uUlEL4@].Y;wA"
    "c~Kf<b?F2'S$5WijJ\"a eq/}ro+VM=>d8Z(zTXv9IRkO)n&!",
    "DU6'xs>2e\")+g(|pC:IRXkV.vK $0y8[ZO4B,1@QA-7Mm*nf"
    "zwt!5?a~cSij`F\244E%LGq_lo#Y=;&P}N/dbT3<]\\^WHr9J{hu",
    "a:'!|3GM2hXc+V&?WLBEU;4d$(tKQi5`SqpYjFZ\\\2448Ir.R<1"
    "bn@>J,Pg^k6l)-}Cx0sw/f9[NeADT]\"#{_O%* 7y~omvHz=u",
    "^FCG+Zat(#Rc/\"*Vk-u|E Ws_\244NOpe<v937$`Jd0HMf1,wT;"
    "=Q6}?xnP2b)5&zLUhi@~KDA%S\\>qm{l[rXY!8Bjg':o4y.I]",
    "\\}F|HJo*\244Xam@B3%sq)7 >e'_{1ux\"#8zZVW$y;M^KI?4n=t"
    "!U,]6Ab(g<RQ.`PSfNv&+2p:DTiY/wOLClGr9E5k0hj~-[cd",
    "F.$4B(Xa=*Af-rT)}~wi`dvS/#|^c2UsegZkLthmn;y9{:\\,"
    "l'&%P8G>3q _uVx1+K\244D5QN!Jj<[OpM\"]HYzo@CIW07R?6Eb",
    "\\|Pl3$:1JaX&@[-veH,)Yh2IWE*Bwb}N84j+=x\"65Fgu]k\2440"
    "ZDqMT7OnA_Q.o~Kr fCi!cSt><Us'z9myp(%RdG?#V`L^{/;",
    "I{lpZ\",JDvuO\\V%Tq6Q7o5-`y;@fm1'9G:n!$.Xkb8Aj+g>)"
    "<#i/RL34ztF?P_e]UN(&}EY2B d^[h=xW\244w~s0CMSKcH|ar*",
    "1@;zG),fKI*(Ak\\Sc\"3<s5-i{uXbxUq.VhCPJjnF$d^~7HgB"
    "\244%mpNRZWOT8=wa`Me/lor9}yD':0vE?# _|!+>Q426tL[]&Y",
    ")LrQ'utgk;4l^DASn.b%aY`#KPUhZ[q~d_]\244e\"|><iB27,\\!"
    "w$N(oCc/1&{@zR?36yVvH*O-9+EfWs}0J58Gmx FpTjM:=IX",
    "v8%H9?E+O@{_d(rbY.o$hUuy-t`*Wei~l7}1,cC;X\"FVm]'0"
    "/)sAxQfJD&N =aBnM\\[4TI5q^#K6<wRGjp:zL|S2Pg!Z\244>k3",
};

constexpr rowcipher::ByteTable kForward = rowcipher::Forward(kRowText);
constexpr rowcipher::ByteTable kInverse = rowcipher::Inverse(kRowText);

} // namespace

QHxSimpleCrypt::QHxSimpleCrypt()
{
    rowcipher::FillRows(m_rows, kRowText);
}

QHxSimpleCrypt::~QHxSimpleCrypt() {}

void QHxSimpleCrypt::Encrypt(const char* plain, char* out, unsigned int len)
{
    rowcipher::Apply(kForward, plain, out, len);
}

void QHxSimpleCrypt::Decrypt(const char* scrambled, char* out, int len)
{
    // A len of 0 or less writes nothing.
    if (len > 0)
        rowcipher::Apply(kInverse, scrambled, out, static_cast<unsigned int>(len));
}
