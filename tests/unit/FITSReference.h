// tests/unit/FITSReference.h: FITS files made and read by astropy, and the
// fitsverify check, as independent references for the FITS tests.
#pragma once

#include <map>
#include <string>
#include <vector>

// What astropy sees in a FITS file's primary HDU.
struct FITSDescription {
    bool ok = false;                         // the script ran
    std::string output;                      // its whole output (for failure messages)
    std::map<std::string, std::string> keys; // BITPIX, NAXIS, BZERO, CREATAPP, CHANNEL, <KEY>_COMMENT, SHAPE, HDUS
    std::vector<double> data;                // scaled values, C order (row 0 first)
};

FITSDescription DescribeFITS(const std::string& path);

// Writes values (C order) as a primary image of numpy type dtype and shape
// ("480x640", numpy order; "none" for a header-only file); blank, when not
// empty, is the BLANK keyword's value.
bool WriteFITSWithAstropy(const std::string& dtype, const std::string& shape, const std::vector<double>& values,
                          const std::string& path, const std::string& blank = std::string());

// True when fitsverify finds no error and no warning; its report in *report.
bool FitsverifyClean(const std::string& path, std::string* report);
