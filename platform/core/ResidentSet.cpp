// platform/core/ResidentSet.cpp: the resident set from /proc/self.
#include "platform/core/ResidentSet.h"

#include <cstdio>
#include <cstring>
#include <fstream>

int64_t ProcessStatusBytes(const char* field)
{
    FILE* file = std::fopen("/proc/self/status", "re");
    if (!file)
        return -1;
    char line[256];
    long long kilobytes = -1;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, file))
        if (std::strncmp(line, field, length) == 0 && line[length] == ':')
            std::sscanf(line + length + 1, "%lld", &kilobytes);
    std::fclose(file);
    return kilobytes < 0 ? -1 : static_cast<int64_t>(kilobytes) * 1024;
}

bool ResetPeakResidentSet()
{
    // "5" clears the peak to the present resident set.
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}
