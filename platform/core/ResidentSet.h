// platform/core/ResidentSet.h: this process's resident memory as the kernel
// counts it, for measuring a memory budget from inside the process.
#pragma once

#include <cstdint>

// A field of /proc/self/status in bytes: "VmRSS" (the resident set now) or
// "VmHWM" (its peak). -1 when unreadable. Any thread.
int64_t ProcessStatusBytes(const char* field);

// Starts a new peak ("VmHWM") from the present resident set; false where the
// kernel refuses.
bool ResetPeakResidentSet();
