// x86-64: glibc picks its string functions by processor. The SSE ones use xmm0-15; where AVX2
// is present they load 32 bytes at a time into ymm registers, whose upper halves SSE
// instructions leave alone; the AVX-512 (evex) ones use ymm16-31, out of reach of vzeroall, and
// the mask registers for what their comparisons found. Each width is cleared only where the
// processor and the kernel support it (__builtin_cpu_supports asks both).
#include "VectorRegisters.h"

namespace hxconsole
{

namespace
{

void ClearXmm()
{
    asm volatile("pxor %%xmm0, %%xmm0\n\tpxor %%xmm1, %%xmm1\n\tpxor %%xmm2, %%xmm2\n\t"
                 "pxor %%xmm3, %%xmm3\n\tpxor %%xmm4, %%xmm4\n\tpxor %%xmm5, %%xmm5\n\t"
                 "pxor %%xmm6, %%xmm6\n\tpxor %%xmm7, %%xmm7\n\tpxor %%xmm8, %%xmm8\n\t"
                 "pxor %%xmm9, %%xmm9\n\tpxor %%xmm10, %%xmm10\n\tpxor %%xmm11, %%xmm11\n\t"
                 "pxor %%xmm12, %%xmm12\n\tpxor %%xmm13, %%xmm13\n\tpxor %%xmm14, %%xmm14\n\t"
                 "pxor %%xmm15, %%xmm15" ::
                     : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                       "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
}

// vzeroall clears ymm0-15 whole, and with AVX-512 zmm0-15 whole as well.
void ClearYmm()
{
    asm volatile("vzeroall" ::
                     : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                       "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
}

// What AVX-512 adds beyond what vzeroall reaches. An EVEX instruction on an xmm register zeroes
// the rest of its zmm register, but needs AVX512VL; the zmm form needs AVX512F alone.
__attribute__((target("avx512f"))) void ClearAvx512Only()
{
    asm volatile("vpxord %%zmm16, %%zmm16, %%zmm16\n\tvpxord %%zmm17, %%zmm17, %%zmm17\n\t"
                 "vpxord %%zmm18, %%zmm18, %%zmm18\n\tvpxord %%zmm19, %%zmm19, %%zmm19\n\t"
                 "vpxord %%zmm20, %%zmm20, %%zmm20\n\tvpxord %%zmm21, %%zmm21, %%zmm21\n\t"
                 "vpxord %%zmm22, %%zmm22, %%zmm22\n\tvpxord %%zmm23, %%zmm23, %%zmm23\n\t"
                 "vpxord %%zmm24, %%zmm24, %%zmm24\n\tvpxord %%zmm25, %%zmm25, %%zmm25\n\t"
                 "vpxord %%zmm26, %%zmm26, %%zmm26\n\tvpxord %%zmm27, %%zmm27, %%zmm27\n\t"
                 "vpxord %%zmm28, %%zmm28, %%zmm28\n\tvpxord %%zmm29, %%zmm29, %%zmm29\n\t"
                 "vpxord %%zmm30, %%zmm30, %%zmm30\n\tvpxord %%zmm31, %%zmm31, %%zmm31\n\t"
                 // kxorw zeroes the whole mask register, the bits above its 16 too.
                 "kxorw %%k0, %%k0, %%k0\n\tkxorw %%k1, %%k1, %%k1\n\tkxorw %%k2, %%k2, %%k2\n\t"
                 "kxorw %%k3, %%k3, %%k3\n\tkxorw %%k4, %%k4, %%k4\n\tkxorw %%k5, %%k5, %%k5\n\t"
                 "kxorw %%k6, %%k6, %%k6\n\tkxorw %%k7, %%k7, %%k7" ::
                     : "xmm16", "xmm17", "xmm18", "xmm19", "xmm20", "xmm21", "xmm22", "xmm23",
                       "xmm24", "xmm25", "xmm26", "xmm27", "xmm28", "xmm29", "xmm30", "xmm31", "k0",
                       "k1", "k2", "k3", "k4", "k5", "k6", "k7");
}

} // namespace

void ClearVectorRegisters()
{
    if (__builtin_cpu_supports("avx512f"))
        ClearAvx512Only();
    if (__builtin_cpu_supports("avx"))
        ClearYmm();
    else
        ClearXmm();
}

} // namespace hxconsole
