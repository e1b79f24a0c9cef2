// Processors without a file of their own: their vector registers, if any, are left as they are.
#include "VectorRegisters.h"

namespace hxconsole
{

void ClearVectorRegisters() {}

} // namespace hxconsole
