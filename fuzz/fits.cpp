// fuzz/fits.cpp: the Open FITS command on a stack document: the bytes become
// a file, read as a FITS image into a plane, stretched when its size differs
// from the stack's. A gzip stream goes through the same door.
#include <cstddef>
#include <cstdint>

#include "files/FITSStack.h"
#include "fuzz/FuzzInput.h"
#include "tests/unit/FakeStackDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FakeStackDocument doc;
    doc.acceptWrongSize = true;
    // Half the inputs open into an existing stack of 9 × 7, the others into
    // an empty document that takes the file's size.
    if (size > 0 && (data[size - 1] & 1)) {
        doc.imageDim = MakeRect(0, 0, 7, 9);
        doc.MakeStack(9, 7);
    }
    OpenFITSFile(doc, WriteInputFile(data, size, "image.fit").string(), kGreenChannel);
    return 0;
}
