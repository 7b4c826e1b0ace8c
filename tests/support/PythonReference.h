// tests/support/PythonReference.h: independent reference results from Debian's
// python3 with numpy, scipy and astropy. A test writes its inputs to files in
// a scratch folder, runs a script, and reads the results back.
#pragma once

#include <string>
#include <vector>

// A new, empty scratch folder under the system temporary folder (left in
// place afterwards, for a look at what a failed test wrote); empty on failure.
std::string ReferenceScratchDir();

// Runs python code (the text of a script) with args; the script's standard
// output is returned in *output. Returns false (and the error text in
// *output) when the interpreter is missing or the script fails.
bool RunPython(const std::string& code, const std::vector<std::string>& args, std::string* output);

// Runs tests/reference/<name> with args, like RunPython.
bool RunPythonScript(const std::string& name, const std::vector<std::string>& args, std::string* output);

// Little-endian float64 files for exchanging arrays (numpy.fromfile / tofile).
void WriteDoubles(const std::string& path, const std::vector<double>& values);
std::vector<double> ReadDoubles(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> ReadBytes(const std::string& path);
