// imaging/ProcessorFeatures.cpp: the processor's vector instruction sets,
// asked once.
#include "imaging/ProcessorFeatures.h"

bool ProcessorHasAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool hasAvx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return hasAvx2;
#else
    return false;
#endif
}

bool ProcessorHasAvx512()
{
#if defined(__x86_64__) || defined(__i386__)
    // The library checks that the system saves the 512-bit registers too.
    static const bool hasAvx512 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
               __builtin_cpu_supports("avx512vl") != 0;
    }();
    return hasAvx512;
#else
    return false;
#endif
}
