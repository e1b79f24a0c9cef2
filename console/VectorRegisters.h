// VectorRegisters: zeroing the processor's vector registers, into which the C library's string
// and memory functions load what they work on, and where it stays until something else goes
// there. One file per processor, chosen in CMakeLists.txt. Internal to the library; not
// installed.
#ifndef HXCONSOLE_VECTORREGISTERS_H
#define HXCONSOLE_VECTORREGISTERS_H

namespace hxconsole
{

// Zeroes the vector registers of the thread that calls it, at their full width: on x86-64
// xmm0-15 (ymm0-15 whole where the processor has AVX; there vzeroall also clears zmm0-15), and
// where it has AVX-512 zmm16-31 and the mask registers k0-7 too; on arm64 v0-31, but for the
// low halves of v8-15, which it keeps for its caller as every function does. On any other
// processor it does nothing.
void ClearVectorRegisters();

} // namespace hxconsole

#endif
