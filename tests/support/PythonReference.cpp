// tests/support/PythonReference.cpp: running reference scripts with Debian's python3.
#include "tests/support/PythonReference.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

}  // namespace

std::string ReferenceScratchDir()
{
    // mkdtemp gives a new, empty folder every time; process ids repeat
    // between test runs, so names made from them could meet old folders.
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-ref-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return std::string();
    return pattern;
}

bool RunPython(const std::string& code, const std::vector<std::string>& args, std::string* output)
{
    const std::string dir = ReferenceScratchDir();
    const std::string script = dir + "/script.py";
    {
        std::ofstream out(script);
        out << code;
    }
    return RunPythonScript(script, args, output);
}

bool RunPythonScript(const std::string& name, const std::vector<std::string>& args, std::string* output)
{
    const std::string path = name.find('/') == std::string::npos ? std::string(VELMORA_TEST_SCRIPTS) + "/" + name : name;
    std::string command = Quote(VELMORA_REFERENCE_PYTHON) + " " + Quote(path);
    for (const std::string& a : args) {
        command += ' ';
        command += Quote(a);
    }
    command += " 2>&1";
    output->clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        *output = "cannot start " + command;
        return false;
    }
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output->append(buffer.data(), n);
    const int status = pclose(pipe);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WriteDoubles(const std::string& path, const std::vector<double>& values)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(values.data()), static_cast<std::streamsize>(values.size() * sizeof(double)));
}

std::vector<double> ReadDoubles(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff bytes = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    std::vector<double> values(static_cast<std::size_t>(bytes) / sizeof(double));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(values.size() * sizeof(double)));
    return values;
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
