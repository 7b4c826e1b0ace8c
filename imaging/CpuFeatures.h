// imaging/CpuFeatures.h: what the processor offers the vector loops, asked
// once per process.
#pragma once

// True when the processor runs AVX2 instructions. Any thread.
bool CpuHasAvx2();
