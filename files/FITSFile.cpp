// files/FITSFile.cpp: CFITSIO calls for the stack's FITS files.
#include "files/FITSFile.h"

#include <atomic>
#include <memory>
#include <new>
#include <strings.h>
#include <unistd.h>

#include <fitsio.h>

#include "files/CompressedFITS.h"
#include "files/ReplacingSave.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/RegularFile.h"

const char* const kFITSCreatorKeyword = "CREATAPP";
const char* const kFITSCreatorValue = "Velmora";
const char* const kFITSChannelKeyword = "CHANNEL";

// CFITSIO's TINT and TUINT are the 32-bit element types here; TLONG and TULONG
// are 64-bit on this platform and would overrun the int32 buffers.
static_assert(sizeof(int) == sizeof(int32_t) && sizeof(unsigned int) == sizeof(uint32_t));

namespace {

std::atomic<int> sFailWriteCountdown{0};

bool TakeInjectedWriteFailure()
{
    int n = sFailWriteCountdown.load();
    while (n > 0) {
        if (sFailWriteCountdown.compare_exchange_weak(n, n - 1))
            return n == 1;
    }
    return false;
}

// Closes a file left open by an early return; its status is its own, so a
// close after an error still runs.
struct FITSCloser {
    void operator()(fitsfile* file) const
    {
        int status = 0;
        ffclos(file, &status);
        ffcmsg(); // drop the messages CFITSIO stacked for the failure
    }
};
using FITSHandle = std::unique_ptr<fitsfile, FITSCloser>;

// Closes the file for good and reports whether everything succeeded.
bool CloseChecked(FITSHandle& handle, int& status)
{
    fitsfile* file = handle.release();
    ffclos(file, &status);
    if (status != 0) {
        ffcmsg();
        return false;
    }
    return true;
}

} // namespace

FITSReadResult ReadFITSImage(const std::string& name, FITSImage& image)
{
    // CFITSIO reads standard input for "-" and "stdin..." names, which would
    // wait forever in a program started from the desktop: such names are files
    // in the current folder like any other.
    std::string path = name;
    if (path == "-" || strncasecmp(path.c_str(), "stdin", 5) == 0)
        path.insert(0, "./");
    // Only a regular file, opened without waiting on a pipe; CFITSIO then
    // takes the name literally (no "(copy)" outputs, "[ext]" selections or
    // filters). A gzip file is inflated here, checked and bounded first.
    const FileDescriptor fd(OpenRegularFileForReading(path.c_str()));
    if (fd.Get() < 0)
        return FITSReadResult::failed;
    // Per pixel the read holds an int32 value and an undefined flag.
    std::vector<char> inflated;
    switch (InflateFITSPrimary(fd.Get(), kMaxFITSSide, sizeof(int32_t) + 1, FreeMem(), inflated)) {
    case CompressedFITSResult::notCompressed:
    case CompressedFITSResult::ok:
        break;
    case CompressedFITSResult::failed:
        return FITSReadResult::failed;
    case CompressedFITSResult::outOfMemory:
        return FITSReadResult::outOfMemory;
    }
    int status = 0;
    fitsfile* raw = nullptr;
    if (inflated.empty()) {
        fits_open_diskfile(&raw, path.c_str(), READONLY, &status);
    } else {
        void* memory = inflated.data();
        std::size_t size = inflated.size();
        fits_open_memfile(&raw, "inflated.fits", READONLY, &memory, &size, 0, nullptr, &status);
    }
    if (status != 0) {
        ffcmsg();
        return FITSReadResult::failed;
    }
    FITSHandle file(raw);

    int naxis = 0;
    ffgidm(file.get(), &naxis, &status);
    if (status != 0 || naxis < 2)
        return FITSReadResult::failed;
    long axes[2] = {0, 0};
    int found = 0;
    ffgknj(file.get(), "NAXIS", 1, 2, axes, &found, &status);
    if (status != 0 || found < 2)
        return FITSReadResult::failed;
    if (axes[0] < 1 || axes[0] > kMaxFITSSide || axes[1] < 1 || axes[1] > kMaxFITSSide)
        return FITSReadResult::failed;
    const int width = static_cast<int>(axes[0]);
    const int height = static_cast<int>(axes[1]);
    const LONGLONG count = static_cast<LONGLONG>(width) * height;

    // Read the last value first: a data unit shorter than the header claims
    // fails here, before a buffer of the claimed size exists.
    int nullValue = 0;
    int anyNull = 0;
    int last = 0;
    ffgpv(file.get(), TINT, count, 1, &nullValue, &last, &anyNull, &status);
    if (status != 0)
        return FITSReadResult::failed;

    std::vector<int32_t> pixels;
    std::vector<char> undefined;
    try {
        pixels.resize(static_cast<std::size_t>(count));
        undefined.resize(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
        return FITSReadResult::outOfMemory;
    }
    // Undefined pixels (NaN in float images, the BLANK value in integer ones)
    // become 0. Asked for a null value of 0, CFITSIO would skip that check and
    // turn NaN into INT32_MIN, which the minimum shift then spreads over the
    // whole plane.
    ffgpf(file.get(), TINT, 1, count, pixels.data(), undefined.data(), &anyNull, &status);
    if (status != 0 || !CloseChecked(file, status))
        return FITSReadResult::failed;
    if (anyNull) {
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (undefined[i])
                pixels[i] = 0;
        }
    }

    image.width = width;
    image.height = height;
    image.pixels = std::move(pixels);
    return FITSReadResult::ok;
}

bool WriteFITSPlane(const std::filesystem::path& target, const int32_t* plane, int width, int height, int bits,
                    const char* channelName)
{
    if (!plane || width < 1 || height < 1 || (bits != kFITSBits16 && bits != kFITSBits32))
        return false;
    PendingReplacement save(target);
    int status = 0;
    fitsfile* raw = nullptr;
    // The disk-file form takes the name literally: no "!", brackets or
    // compression suffixes are interpreted.
    fits_create_diskfile(&raw, save.TempPath().c_str(), &status);
    if (status != 0) {
        ffcmsg();
        return false;
    }
    FITSHandle file(raw);

    long axes[2] = {width, height};
    ffcrim(file.get(), bits == kFITSBits16 ? USHORT_IMG : ULONG_IMG, 2, axes, &status);
    // CFITSIO reads the values and never writes to them.
    ffppr(file.get(), TUINT, 1, static_cast<LONGLONG>(width) * height,
          const_cast<void*>(static_cast<const void*>(plane)), &status);
    if (status == 0 && TakeInjectedWriteFailure())
        status = WRITE_ERROR;
    ffpkys(file.get(), kFITSCreatorKeyword, kFITSCreatorValue, "", &status);
    ffpkys(file.get(), kFITSChannelKeyword, channelName, "", &status);
    if (status != 0)
        return false;
    if (!CloseChecked(file, status))
        return false;
    return save.Commit();
}

void FailFITSWriteForTesting(int n)
{
    sFailWriteCountdown.store(n);
}
