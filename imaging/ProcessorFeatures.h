// imaging/ProcessorFeatures.h: what the processor the program runs on offers,
// for the loops that have a vector path besides their portable one.
#pragma once

// True when the processor runs AVX2 instructions (false off x86). Any thread.
bool ProcessorHasAvx2();

// True when the processor (and the system) runs the AVX-512 instructions of
// the F, BW and VL sets (false off x86). Any thread.
bool ProcessorHasAvx512();

// Marks a function built for those AVX-512 sets with 512-bit vectors, to be
// called only where ProcessorHasAvx512() holds.
#if defined(__clang__)
#define VELMORA_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl"), min_vector_width(512)))
#else
#define VELMORA_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,prefer-vector-width=512")))
#endif
