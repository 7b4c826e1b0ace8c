// fuzz/raw.cpp: the Open Raw command on a stack document, with one of a few
// fixed geometries chosen by the first byte; the rest of the input is the
// file. Geometries are small, so that the fuzzer finds files of their
// lengths, and include the refused sample sizes.
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "files/RawStack.h"
#include "fuzz/FuzzInput.h"
#include "tests/unit/FakeStackDocument.h"

namespace {

const RawImportParams kGeometries[] = {
    {4, 4, 1, false, true},  {3, 5, 2, false, true}, {5, 3, 2, true, false}, {2, 2, 4, false, true},
    {2, 3, 4, true, false},  {1, 1, 1, false, false}, {7, 1, 2, true, true},  {4, 4, 3, false, true},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const RawImportParams& params = kGeometries[data[0] % std::size(kGeometries)];
    FakeStackDocument doc;
    // Every other input finds a document with clips of another size.
    if (data[0] & 0x80) {
        doc.clips = 1;
        doc.imageDim = MakeRect(0, 0, 4, 4);
    }
    (void)OpenRAWFile(doc, WriteInputFile(data + 1, size - 1, "stack.raw"), params);
    return 0;
}
