// imaging/ProcessorFeatures.h: what the processor the program runs on offers,
// for the loops that have a vector path besides their portable one.
#pragma once

// True when the processor runs AVX2 instructions (false off x86). Any thread.
bool ProcessorHasAvx2();
