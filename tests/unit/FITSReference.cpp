// tests/unit/FITSReference.cpp: astropy and fitsverify behind small calls.
#include "FITSReference.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <sys/wait.h>

#include "tests/support/PythonReference.h"

FITSDescription DescribeFITS(const std::string& path)
{
    FITSDescription d;
    const std::string data = ReferenceScratchDir() + "/data.f8";
    d.ok = RunPythonScript("fits_describe.py", {path, data}, &d.output);
    if (!d.ok)
        return d;
    std::istringstream lines(d.output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            d.keys[line.substr(0, eq)] = line.substr(eq + 1);
    }
    d.data = ReadDoubles(data);
    return d;
}

bool WriteFITSWithAstropy(const std::string& dtype, const std::string& shape, const std::vector<double>& values,
                          const std::string& path, const std::string& blank)
{
    const std::string in = ReferenceScratchDir() + "/values.f8";
    WriteDoubles(in, values);
    std::vector<std::string> args = {dtype, shape, in, path};
    if (!blank.empty())
        args.push_back(blank);
    std::string output;
    return RunPythonScript("fits_write.py", args, &output);
}

bool FitsverifyClean(const std::string& path, std::string* report)
{
    report->clear();
    FILE* pipe = popen(("fitsverify -q '" + path + "' 2>&1").c_str(), "r");
    if (!pipe)
        return false;
    std::array<char, 1024> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        report->append(buffer.data(), n);
    const int status = pclose(pipe);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           report->find("verification OK") != std::string::npos;
}
