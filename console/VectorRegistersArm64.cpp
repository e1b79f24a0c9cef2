// arm64: v0-31 are the only vector registers every arm64 processor has. Writing one with a
// NEON instruction also zeroes the rest of the SVE register it is part of, where there is SVE.
#include "VectorRegisters.h"

namespace hxconsole
{

void ClearVectorRegisters()
{
    // v8-15 are in part callee-saved: the compiler saves and restores the caller's (low) halves
    // around this, which hold nothing of ours.
    asm volatile("movi v0.2d, #0\n\tmovi v1.2d, #0\n\tmovi v2.2d, #0\n\tmovi v3.2d, #0\n\t"
                 "movi v4.2d, #0\n\tmovi v5.2d, #0\n\tmovi v6.2d, #0\n\tmovi v7.2d, #0\n\t"
                 "movi v8.2d, #0\n\tmovi v9.2d, #0\n\tmovi v10.2d, #0\n\tmovi v11.2d, #0\n\t"
                 "movi v12.2d, #0\n\tmovi v13.2d, #0\n\tmovi v14.2d, #0\n\tmovi v15.2d, #0\n\t"
                 "movi v16.2d, #0\n\tmovi v17.2d, #0\n\tmovi v18.2d, #0\n\tmovi v19.2d, #0\n\t"
                 "movi v20.2d, #0\n\tmovi v21.2d, #0\n\tmovi v22.2d, #0\n\tmovi v23.2d, #0\n\t"
                 "movi v24.2d, #0\n\tmovi v25.2d, #0\n\tmovi v26.2d, #0\n\tmovi v27.2d, #0\n\t"
                 "movi v28.2d, #0\n\tmovi v29.2d, #0\n\tmovi v30.2d, #0\n\tmovi v31.2d, #0" ::
                     : "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11",
                       "v12", "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v20", "v21", "v22",
                       "v23", "v24", "v25", "v26", "v27", "v28", "v29", "v30", "v31");
}

} // namespace hxconsole
